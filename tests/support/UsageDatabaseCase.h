#pragma once

#include "ManualClock.h"
#include "ScopedClock.h"
#include "UsageDatabase.h"

#include <QDate>
#include <QTemporaryDir>

#include <memory>

// What the test programs of the usage database's parts share: a fresh database
// file for every case, opened by the test or made open, and the clock at
// 12.05.2004 14:00, installed for the whole run.
class UsageDatabaseCase
{
protected:
    UsageDatabaseCase() { installClock(); }
    void installClock() { m_clockGuard = std::make_unique<ScopedClock>(m_clock); }
    void removeClock() { m_clockGuard.reset(); }
    // Called from the test's init and cleanup.
    bool makeDatabase();
    bool makeOpenDatabase() { return makeDatabase() && !m_database->open(m_path); }
    void dropDatabase() { m_database.reset(); }

    // Records a period of 630 s (10 minutes) stopped on `day`.
    bool recordOn(int station, const QDate &day, const QString &fee);
    Result<RecordedPeriod> record(int station, const UsageRecord &usage, qint64 seconds,
                                  int month = 5);

    ManualClock m_clock{QDateTime(QDate(2004, 5, 12), QTime(14, 0))};
    std::unique_ptr<ScopedClock> m_clockGuard;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<UsageDatabase> m_database;
};

// A record of 14:00:00 to 14:10:30 with the fee.
UsageRecord recordWithFee(const QString &fee);
// A stopped period of 10 minutes whose stop is `stop`, local time.
StoppedPeriod datedPeriod(int station, const QDateTime &stop, const QString &fee);

// The bytes of a file; empty when it can't be read.
QByteArray contents(const QString &path);
