#pragma once

#include "DatabaseSoundness.h"
#include "Failure.h"
#include "Result.h"
#include "SqlConnection.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// A started usage period, kept on disk until its record is written.
struct OpenPeriod
{
    QString id; // unique for every period
    int station = 1;
    QDateTime begin;         // the wall clock at the real start
    QString startText;       // the start box as the start filled it
    int intervalMinutes = 0; // 0: open-ended

    // The beginning as kept on disk, with its offset from UTC, so that a clock
    // change between start and stop does not alter the length.
    QString beginText() const
    {
        return begin.toOffsetFromUtc(begin.offsetFromUtc()).toString(Qt::ISODateWithMs);
    }
};

// The console's table Perioden: the periods started and not yet recorded, and those
// recorded whose copy may still be pending elsewhere (marked Abgerechnet = 1).
class OpenPeriodStore
{
public:
    OpenPeriodStore(const SqlConnection &db, const int &stations,
                    const DatabaseSoundness &soundness);

    // Keeps a started period on disk until the recorder takes it.
    Failure saveOpenPeriod(const OpenPeriod &period);
    QList<OpenPeriod> openPeriods();
    // Open rows whose station or beginning can't be read, each as its texts:
    // Periode, Station, Beginn, Startzeit, Intervall.
    QList<QStringList> unreadableOpenPeriods();
    // Removes the open row (by its texts from unreadableOpenPeriods, or by id).
    bool removeUnreadableOpenPeriod(const QStringList &row);
    bool discardOpenPeriod(const QString &periodId);

    QStringList recordedPeriods();
    bool forgetRecorded(const QString &periodId);

    // Within the recorder's transaction: whether the period was recorded before, and
    // its end as recorded, kept with a mark (`keepMarker`) or removed.
    Result<bool> wasRecorded(const QString &periodId);
    Failure closePeriod(const OpenPeriod &period, bool keepMarker);

private:
    bool hasStation(int station) const { return station >= 1 && station <= m_stations; }
    Failure stillInPlace() const { return m_soundness.stillInPlace(); }

    const SqlConnection &m_db;
    const int &m_stations;
    const DatabaseSoundness &m_soundness;
};
