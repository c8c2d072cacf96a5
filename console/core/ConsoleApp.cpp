#include "ConsoleApp.h"

#include "CafeOverview.h"
#include "Clock.h"
#include "DatabaseLock.h"
#include "PeriodMove.h"
#include "Protocol.h"
#include "RecoveredPeriods.h"
#include "SingleInstance.h"
#include "StationSession.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

ConsoleApp::ConsoleApp(const QString &programDir, QObject *parent)
    : QObject(parent)
    , m_programDir(programDir)
    , m_lock(std::make_unique<DatabaseLock>())
    , m_database(std::make_unique<UsageDatabase>())
{
}

ConsoleApp::~ConsoleApp() = default;

Result<ConsoleApp::Started> ConsoleApp::start(SingleInstance &instance)
{
    m_config = ConsoleConfig::read(m_programDir);
    if (!instance.claim())
        return Started::AlreadyRunning;
    connect(&instance, &SingleInstance::activationRequested, this,
            &ConsoleApp::activationRequested);
    reportStationSettingProblems();

    const QString databasePath = UsageDatabase::pathFor(m_programDir, m_config.dbName);
    // The lock comes first: nothing of the database is touched while another console holds it.
    if (Failure failure = Failure::ofFirst({
            [&] { return UsageDatabase::checkName(m_config.dbName); },
            [&] { return m_lock->acquire(databasePath); },
            [&] { return m_database->open(databasePath, m_config.stationCount()); },
            [&] { return recoverPeriods(databasePath); },
            [&] { return m_front.signIn(); },
        }))
        return failure;
    createSessions();
    if (Failure failure = m_front.showStations())
        return failure;
    for (auto &session : m_sessions)
        session->listen();
    resumeOpenPeriods();
    offerUnservedPeriods();
    m_overview->refresh();
    reportMissingTotals();
    return Started::Running;
}

Tariffs ConsoleApp::tariffs() const
{
    return {m_config.tariffBase, m_config.tariffOver30, m_config.tariffOver60,
            m_config.capsFeesByLongerPeriods()};
}

quint16 ConsoleApp::stationPort(int station) const
{
    return station <= m_stationPorts.size() ? m_stationPorts[station - 1] : Protocol::port(station);
}

// A station count that can't be used is told once; the console serves two stations.
// Then the stations' addresses that can't be used, together.
void ConsoleApp::reportStationSettingProblems()
{
    const QString problem = m_config.stationCountProblem();
    if (!problem.isEmpty())
        emit warning(problem);
    const QStringList addressProblems
        = m_config.stationAddressProblems() + m_config.stationKeyProblems();
    if (!addressProblems.isEmpty())
        emit warning(addressProblems.join(u'\n'));
}

// Pending records of an earlier run are written here, before anything else.
Failure ConsoleApp::recoverPeriods(const QString &databasePath)
{
    m_ledger = std::make_unique<UsageLedger>(*m_database,
                                             UsageLedger::sideFilePathFor(databasePath), tariffs());
    connect(m_ledger.get(), &UsageLedger::problem, this, &ConsoleApp::problem);
    return m_ledger->recover();
}

void ConsoleApp::createSessions()
{
    for (int station = 1; station <= m_config.stationCount(); ++station) {
        auto session
            = std::make_unique<StationSession>(station, stationPort(station), *m_ledger, tariffs());
        session->setAllowedAddress(m_config.stationAddressText(station));
        session->setKeyText(m_config.stationKeyText(station));
        session->setSendsPrice(m_config.sendsPriceTo(station));
        connect(session.get(), &StationSession::problem, this, &ConsoleApp::problem);
        connect(session.get(), &StationSession::notice, this, &ConsoleApp::notice);
        connect(session.get(), &StationSession::noticeOver, this, &ConsoleApp::noticeOver);
        // Told quietly: a stranger trying again and again must not pile up messages.
        connect(session.get(), &StationSession::refusalsChanged, this, &ConsoleApp::notice);
        m_sessions.push_back(std::move(session));
    }
    m_overview = std::make_unique<CafeOverview>(m_database->statistics(), stationCount());
    for (auto &session : m_sessions)
        m_overview->watch(*session);
}

void ConsoleApp::setOnDuty(const OnDuty &onDuty)
{
    for (auto &session : m_sessions)
        session->setOnDuty(onDuty);
}

// Every period left open is shown; one that began long ago or in the future goes
// on only if the operator wants it to, or is ended and billed now.
void ConsoleApp::resumeOpenPeriods()
{
    QStringList resumed;
    for (auto &session : m_sessions) {
        const std::optional<OpenPeriod> period = m_ledger->openPeriod(session->station());
        if (!period)
            continue;
        session->resumePeriod(*period);
        const QDateTime now = Clock::current().now();
        if (RecoveredPeriods::needsChoice(*period, now)
            && !m_front.ask({RecoveredPeriods::question(*period, now), {}, {}})) {
            session->stop();
            continue;
        }
        resumed.append(RecoveredPeriods::description(*period));
    }
    if (!resumed.isEmpty())
        emit information(RecoveredPeriods::resumedNotice(resumed));
}

// Periods left open on stations above those served are billed now or left open,
// as the operator chooses, for a console that serves their stations again.
void ConsoleApp::offerUnservedPeriods()
{
    const QList<OpenPeriod> periods = m_ledger->unservedPeriods();
    if (periods.isEmpty())
        return;
    const QDateTime now = Clock::current().now();
    if (!m_front.ask({RecoveredPeriods::unservedQuestion(periods, stationCount(), tariffs(), now),
                      QStringLiteral("Jetzt abrechnen"), QStringLiteral("Später")}))
        return;
    for (const OpenPeriod &period : periods)
        m_ledger->finish(RecoveredPeriods::stoppedAt(period, tariffs(), now));
}

void ConsoleApp::reportMissingTotals()
{
    for (int station : m_database->recorder().stationsWithoutTotals()) {
        emit warning(
            QStringLiteral("In der Tabelle client%1stat fehlt die Zeile mit den Summen. Die"
                           " Nutzungen von Station %1 werden gespeichert, ihre Summen nicht"
                           " fortgeschrieben.")
                .arg(station));
    }
    for (int station : m_database->recorder().stationsWithUnreadableTotals())
        emit warning(UsageLedger::unreadableTotalsText(station));
}

QList<int> ConsoleApp::moveTargets(const StationSession &from) const
{
    QList<int> targets;
    for (const auto &other : m_sessions) {
        if (other.get() != &from && other->takesMovedPeriod())
            targets.append(other->station());
    }
    return targets;
}

Failure ConsoleApp::movePeriod(StationSession &from, int toStation)
{
    if (toStation < 1 || toStation > stationCount())
        return Failure::none();
    PeriodMove move(from, session(toStation), *m_ledger);
    return move.run();
}

QList<RunningFigure> ConsoleApp::runningFigures() const
{
    QList<RunningFigure> figures;
    for (const auto &session : m_sessions) {
        if (const std::optional<RunningFigure> figure = session->runningFigure())
            figures.append(*figure);
    }
    return figures;
}
