#pragma once

#include "DatabaseSoundness.h"
#include "Failure.h"
#include "SqlConnection.h"
#include "XlsWriter.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The figures of the usage records: all-time sums of fees, the months and their
// sums, and each station's records for a workbook. Sums the console computes are
// also left in small result tables of its own (EntgeldN, MonatN).
class UsageStatistics
{
public:
    UsageStatistics(const SqlConnection &db, const int &stations,
                    const DatabaseSoundness &soundness);

    // Sum of all fees of the station, left in the table EntgeldN (column EntgeldN).
    // Summed over the records once, then kept up to date by every record written;
    // a file as its last close left it has the sums in those tables already.
    std::optional<qint64> sumAllFees(int station);
    // A record written: its fee joins the station's sum, where that is known.
    void addFee(int station, qint64 feeUnits);

    // The months that occur in the station's records, ascending, as texts.
    QStringList listMonths(int station);

    // Sum of the fees of the records whose month reads exactly `monthText`, left
    // in the table MonatN (column KostenN).
    std::optional<qint64> sumMonthFees(int station, const QString &monthText);

    // Sum of the fees of the records stopped on the day (by the wall clock of the stop).
    std::optional<qint64> sumDayFees(int station, const QDate &day);

    // Whole minutes of the records whose month reads exactly `monthText`.
    std::optional<qint64> sumMonthMinutes(int station, const QString &monthText);

    // All rows of the station's table in stored order, under the table's own column
    // names, ready for a workbook: texts stay texts, the month is an integer and the
    // fee a number of euros. Nothing when the table can't be read.
    std::optional<XlsSheetData> exportStation(int station);

    // The sums as this run kept them, left in the result tables for the next start.
    // Gives the number of stations whose sums it left.
    int keepFeeSums();
    void forget() { m_allFees.clear(); }

private:
    Failure readFeeSum(int station);
    Failure replaceResultTable(const QString &table, const QString &select,
                               const QStringList &parameters = {});

    const SqlConnection &m_db;
    const int &m_stations;
    const DatabaseSoundness &m_soundness;
    // The all-time sums of fees by station as far as read or summed; none: no fees yet.
    QMap<int, std::optional<qint64>> m_allFees;
};
