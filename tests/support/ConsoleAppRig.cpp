#include "ConsoleAppRig.h"

#include "StationSession.h"
#include "TextFormats.h"
#include "UsageDatabase.h"

#include <QCoreApplication>
#include <QTest>

ConsoleAppRig::ConsoleAppRig(const QDateTime &now)
    : m_clock(now)
    , m_guard(m_clock)
{
}

bool ConsoleAppRig::start()
{
    m_app.reset();
    m_probes.clear(); // gone with their sessions
    m_instance = std::make_unique<SingleInstance>(QStringLiteral("kavo-app-%1-%2")
                                                      .arg(QCoreApplication::applicationPid())
                                                      .arg(quintptr(this)));
    const int stations = ConsoleConfig::read(m_files.programDir()).stationCount();
    m_files.reservePorts(stations);
    m_app = std::make_unique<ConsoleApp>(m_files.programDir());
    QList<quint16> ports;
    for (int station = 1; station <= stations; ++station)
        ports.append(m_files.port(station));
    m_app->setStationPorts(ports);
    m_questions.clear();
    m_told.clear();
    m_notices.clear();
    ConsoleApp::Front front;
    front.ask = [this](const ConsoleApp::Question &question) {
        m_questions.append(question);
        return m_answer;
    };
    front.showStations = [this] {
        for (const auto &session : m_app->sessions())
            m_probes.append(new SessionProbe(*session));
        if (m_whenShown)
            m_whenShown();
        return Failure::none();
    };
    m_app->setFront(front);
    const auto tell = [this](const QString &text) { m_told.append(text); };
    QObject::connect(m_app.get(), &ConsoleApp::warning, tell);
    QObject::connect(m_app.get(), &ConsoleApp::information, tell);
    QObject::connect(m_app.get(), &ConsoleApp::problem,
                     [this](const QString &text) { m_problems.append(text); });
    QObject::connect(m_app.get(), &ConsoleApp::notice,
                     [this](const QString &text) { m_notices.append(text); });
    QObject::connect(m_app.get(), &ConsoleApp::noticeOver,
                     [this](const QString &text) { m_notices.removeAll(text); });
    const Result<ConsoleApp::Started> started = m_app->start(*m_instance);
    m_failure = started.failure();
    return ConsoleApp::runs(started);
}

void ConsoleAppRig::runPeriod(int station, qint64 seconds)
{
    session(station).start(0);
    m_clock.advanceMs(seconds * 1000);
    session(station).stop();
}

void ConsoleAppRig::leaveOpen(const QString &id, int station, const QDateTime &begin) const
{
    UsageDatabase database;
    QVERIFY(!database.open(m_files.databasePath()));
    QVERIFY(!database.periods().saveOpenPeriod(
        {id, station, begin, TextFormats::timeOfDay(begin.time()), 0}));
}

QList<QVariantList> ConsoleAppRig::records(int station)
{
    const std::optional<XlsSheetData> table = m_app->database().statistics().exportStation(station);
    return table ? table->rows : QList<QVariantList>();
}
