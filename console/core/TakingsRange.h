#pragma once

#include "Failure.h"
#include "Result.h"
#include "SqlConnection.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// The takings of every day from a first to a last day, per station.
struct DailyTakings
{
    QDate first;
    QDate last;
    // Fees in ten-thousandths of a euro: perDay[day - first][station - 1].
    QList<QList<qint64>> perDay;
    // Records written before records were dated: they belong to no day.
    qint64 undatedRecords = 0;

    qsizetype dayCount() const { return perDay.size(); }
    QDate day(qsizetype index) const { return first.addDays(index); }
    // The takings of the day at `index` of one station, or of all with station 0.
    qint64 amount(qsizetype index, int station = 0) const;
    // The takings of the whole range of one station, or of all with station 0.
    qint64 total(int station = 0) const;
    // The takings of every day in euros, for a chart: of one station, or of all with 0.
    QList<double> euros(int station = 0) const;
};

// One record of the range as the export lists it.
struct TakingsRecord
{
    int station = 0;
    qint64 number = 0; // 0 when the record has none
    QDateTime begin;
    QDateTime end;
    QString duration; // 00:10:30
    qint64 minutes = 0;
    qint64 feeUnits = 0;
    QString operatorName;
    int originStation = 0; // the station a moved period began on; 0: none
    qint64 pausedSeconds = 0;
};

// The takings over a range of days by the day of each record's stop (clientNbis):
// the sums from the day sums (Tagessummen), the records themselves through the index
// clientNtag. Records without a date lie in no range; their number is told beside
// the sums.
class TakingsRange
{
public:
    TakingsRange(const SqlConnection &db, const int &stations);

    int stationCount() const { return m_stations; }

    // The first and the last day of the month of `day`.
    static QDate monthStart(const QDate &day);
    static QDate monthEnd(const QDate &day);

    // Every day from `first` to `last` (both local days, `first` not after `last`).
    Result<DailyTakings> takings(const QDate &first, const QDate &last) const;

    // Every record of every station stopped from `first` to `last`, by its stop.
    Result<QList<TakingsRecord>> records(const QDate &first, const QDate &last) const;

private:
    Failure addStation(int station, DailyTakings &takings) const;
    Result<qint64> countUndated() const;

    const SqlConnection &m_db;
    const int &m_stations;
};
