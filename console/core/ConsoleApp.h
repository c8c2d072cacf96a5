#pragma once

#include "Billing.h"
#include "Closings.h"
#include "ConsoleConfig.h"
#include "Failure.h"
#include "Result.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class CafeOverview;
class DatabaseLock;
class SingleInstance;
class StationSession;
class UsageDatabase;
class UsageLedger;
struct OnDuty;

// The console without its window: its start-up (Kavo.ini, the one console per
// database, the usage database, the records an earlier run left pending), one
// session per station listening on its port, and the periods left open resumed or
// billed. The window only shows it: what the console must ask or tell the operator
// goes out to whoever shows it, through the front's callbacks and the signals.
class ConsoleApp : public QObject
{
    Q_OBJECT

public:
    enum class Started { Running, AlreadyRunning };

    // A question the operator answers with yes or no; the captions, where given,
    // replace those of the two buttons.
    struct Question
    {
        QString text;
        QString yesCaption;
        QString noCaption;
    };

    // What the start-up needs of whoever shows the console, in the order it asks.
    struct Front
    {
        // Once the database is open: who is on duty. A failure ends the start.
        std::function<Failure()> signIn = [] { return Failure::none(); };
        // Once the sessions are made, before they listen: their views. A failure
        // ends the start.
        std::function<Failure()> showStations = [] { return Failure::none(); };
        // The operator's answer: true for yes.
        std::function<bool(const Question &)> ask = [](const Question &) { return true; };
    };

    explicit ConsoleApp(const QString &programDir, QObject *parent = nullptr);
    ~ConsoleApp() override;

    void setFront(Front front) { m_front = std::move(front); }
    // The ports stations 1, 2, ... connect to, in their order; tests move them off
    // the café's ports. A station the list does not reach keeps its own port.
    void setStationPorts(QList<quint16> ports) { m_stationPorts = std::move(ports); }

    // The start-up sequence: running, or another console runs already, or why the
    // console cannot run.
    Result<Started> start(SingleInstance &instance);
    static bool runs(const Result<Started> &started)
    {
        return started.hasValue() && started.value() == Started::Running;
    }

    const QString &programDir() const { return m_programDir; }
    const ConsoleConfig &config() const { return m_config; }
    Tariffs tariffs() const;

    // Known once start() has made them.
    int stationCount() const { return int(m_sessions.size()); }
    const std::vector<std::unique_ptr<StationSession>> &sessions() const { return m_sessions; }
    StationSession &session(int station) { return *m_sessions[station - 1]; }
    UsageDatabase &database() { return *m_database; }
    UsageLedger &ledger() { return *m_ledger; }
    CafeOverview &overview() { return *m_overview; }

    void setOnDuty(const OnDuty &onDuty);

    // Platz wechseln: the stations free to take the running period of `from`, and
    // the move there.
    QList<int> moveTargets(const StationSession &from) const;
    Failure movePeriod(StationSession &from, int toStation);

    // The periods running now, as a closing lists them.
    QList<RunningFigure> runningFigures() const;

signals:
    // A second console was started on this machine: the first is to come forward.
    void activationRequested();
    // Told during the start-up, before it goes on.
    void warning(const QString &text);
    void information(const QString &text);
    // Something gone wrong while the console runs, to be told once the stop or
    // start at hand is complete.
    void problem(const QString &text);
    // Something the operator should know of while it lasts, and its end.
    void notice(const QString &text);
    void noticeOver(const QString &text);

private:
    quint16 stationPort(int station) const;
    void reportStationSettingProblems();
    Failure recoverPeriods(const QString &databasePath);
    void createSessions();
    void resumeOpenPeriods();
    void offerUnservedPeriods();
    void reportMissingTotals();

    QString m_programDir;
    ConsoleConfig m_config;
    Front m_front;
    QList<quint16> m_stationPorts;
    // In this order, so that the sessions go before the ledger they bill through,
    // and the ledger before its database.
    std::unique_ptr<DatabaseLock> m_lock;
    std::unique_ptr<UsageDatabase> m_database;
    std::unique_ptr<UsageLedger> m_ledger;
    std::vector<std::unique_ptr<StationSession>> m_sessions;
    std::unique_ptr<CafeOverview> m_overview;
};
