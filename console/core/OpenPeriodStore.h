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
    QDateTime begin;                     // the wall clock at the real start
    QString startText;                   // the start box as the start filled it
    int intervalMinutes = 0;             // 0: open-ended
    int originStation = 0;               // the station it began on, where it moved since; 0: none
    qint64 pausedSeconds = 0;            // the pauses that are over
    QDateTime pausedSince = QDateTime(); // while it is paused; invalid while it runs

    bool paused() const { return pausedSince.isValid(); }

    // The beginning as kept on disk, with its offset from UTC, so that a clock
    // change between start and stop does not alter the length.
    QString beginText() const { return momentText(begin); }
    // The start of the pause as kept on disk; empty while none is.
    QString pausedSinceText() const { return paused() ? momentText(pausedSince) : QString(); }

    static QString momentText(const QDateTime &moment)
    {
        return moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODateWithMs);
    }
};

// The console's table Perioden: the periods started and not yet recorded, and those
// recorded whose copy may still be pending elsewhere (marked Abgerechnet = 1).
class OpenPeriodStore
{
public:
    OpenPeriodStore(const SqlConnection &db, const DatabaseSoundness &soundness);

    // A number a station may have, whether this console serves it or not: its open
    // periods are kept, and its records go into its own tables.
    static constexpr int maxStations = 32;
    static bool isStation(int station) { return station >= 1 && station <= maxStations; }

    // Keeps a started period on disk until the recorder takes it.
    Failure saveOpenPeriod(const OpenPeriod &period);
    // The open period's station, interval, origin and pauses as they are now, in one
    // statement: a period that moves is on one station or the other, never on both.
    Failure updateOpenPeriod(const OpenPeriod &period);
    // The open periods of every station 1 to 32, served or not.
    QList<OpenPeriod> openPeriods();
    // Open rows whose station (1 to 32) or beginning can't be read, each as its texts:
    // Periode, Station, Beginn, Startzeit, Intervall.
    QList<QStringList> unreadableOpenPeriods();
    // Removes the open row (by its texts from unreadableOpenPeriods, or by id).
    Failure removeUnreadableOpenPeriod(const QStringList &row);
    Failure discardOpenPeriod(const QString &periodId);

    QStringList recordedPeriods();
    Failure forgetRecorded(const QString &periodId);

    // Within the recorder's transaction: whether the period was recorded before, and
    // its end as recorded, kept with a mark (`keepMarker`) or removed.
    Result<bool> wasRecorded(const QString &periodId);
    Failure closePeriod(const OpenPeriod &period, bool keepMarker);

private:
    Failure stillInPlace() const { return m_soundness.stillInPlace(); }

    const SqlConnection &m_db;
    const DatabaseSoundness &m_soundness;
};
