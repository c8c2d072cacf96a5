#pragma once

#include "ManualClock.h"
#include "ScopedClock.h"
#include "StationSession.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

#include <QTemporaryDir>

#include <optional>

// Station 1's session with no station linked, as a panel used "Ohne Client" runs
// it, on a fresh usage database of its own billed at the demo tariffs, under a
// test clock that moves only when told. Given a port, it listens there once the
// test calls listen() on the session.
class StationSessionRig
{
public:
    explicit StationSessionRig(const QDateTime &start, quint16 port = 0);
    // On the system clock, for a station program that runs in real time.
    explicit StationSessionRig(quint16 port);

    // Why the database or its ledger could not be made ready; empty when they are.
    QString error() const { return m_error; }

    ManualClock &clock() { return *m_clock; }
    StationSession &session() { return m_session; }
    UsageDatabase &database() { return m_database; }
    UsageLedger &ledger() { return m_ledger; }
    // The usage records stored for the station, in stored order.
    QList<QVariantList> records();

private:
    void prepare();

    QTemporaryDir m_dir;
    std::optional<ManualClock> m_clock;
    std::optional<ScopedClock> m_clockGuard;
    UsageDatabase m_database;
    UsageLedger m_ledger;
    StationSession m_session;
    QString m_error;
};
