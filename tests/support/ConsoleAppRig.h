#pragma once

#include "ConsoleApp.h"
#include "ConsoleFixture.h"
#include "ManualClock.h"
#include "ScopedClock.h"
#include "SessionProbe.h"
#include "SingleInstance.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>

// The console without a window, on the program directory of a ConsoleFixture,
// under a test clock standing at `now` (1 June 2026, 12:00 unless told). Its
// questions are recorded and answered as the test says, and so are its warnings and
// notices at start-up.
class ConsoleAppRig
{
public:
    explicit ConsoleAppRig(const QDateTime &now = QDateTime(QDate(2026, 6, 1), QTime(12, 0)));

    ConsoleFixture &files() { return m_files; }
    ManualClock &clock() { return m_clock; }

    // Starts a fresh console; the previous one, if any, is dropped first. True when
    // it runs; else failure() says why.
    bool start();
    const Failure &failure() const { return m_failure; }
    ConsoleApp &app() { return *m_app; }
    StationSession &session(int station) { return m_app->session(station); }
    // What the station's panel would show, from before its session listens.
    SessionProbe &shown(int station) { return *m_probes[station - 1]; }
    // A period on the station's session from start to stop, `seconds` long.
    void runPeriod(int station, qint64 seconds);

    void answerWith(bool yes) { m_answer = yes; }
    const QList<ConsoleApp::Question> &questions() const { return m_questions; }
    // The warnings and notices of the last start, in their order.
    const QStringList &told() const { return m_told; }
    // What went wrong while the consoles of this rig ran, in their order.
    const QStringList &problems() const { return m_problems; }
    // The notices that last now, as the status bar has them.
    const QStringList &notices() const { return m_notices; }
    // The notice the status bar shows now; empty when none lasts.
    QString lastNotice() const { return m_notices.value(m_notices.size() - 1); }
    // Runs as the console shows its stations, before they listen.
    void whenShown(std::function<void()> action) { m_whenShown = std::move(action); }

    // The usage records stored for the station, in stored order.
    QList<QVariantList> records(int station);
    // A period an earlier run left open on the station, begun at `begin`.
    void leaveOpen(const QString &id, int station, const QDateTime &begin) const;

private:
    ManualClock m_clock;
    ScopedClock m_guard;
    ConsoleFixture m_files;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<ConsoleApp> m_app; // goes before the clock its timers run on
    QList<SessionProbe *> m_probes;    // each owned by its session
    bool m_answer = true;
    QList<ConsoleApp::Question> m_questions;
    QStringList m_told;
    QStringList m_problems;
    QStringList m_notices;
    Failure m_failure;
    std::function<void()> m_whenShown;
};
