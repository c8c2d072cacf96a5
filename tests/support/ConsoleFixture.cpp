#include "ConsoleFixture.h"

#include "ConsoleConfig.h"
#include "IniFile.h"
#include "StationWindow.h"
#include "TestSupport.h"
#include "UsageDatabase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QTcpServer>
#include <QTest>

#include <memory>
#include <vector>

ConsoleFixture::ConsoleFixture(const QString &statisticsSwitch)
{
    addFreePorts(2);
    isolateUserSettings(m_settingsDir);
    using namespace ConsoleKeys;
    writeIni(feeSection, tariffBase, QStringLiteral("1,50"));
    writeIni(feeSection, tariffOver30, QStringLiteral("1,20"));
    writeIni(feeSection, tariffOver60, QStringLiteral("1,00"));
    writeIni(dbSection, dbName, QStringLiteral("kavo"));
    writeIni(companySection, companyName, QStringLiteral("Internetcafé Test"));
    if (!statisticsSwitch.isNull())
        writeIni(statisticsSection, statistics, statisticsSwitch);
    const Failure created = UsageDatabase::create(databasePath());
    QVERIFY2(!created, qPrintable(created.text()));
}

// Adds free ports until there are `count`, each unlike the others.
void ConsoleFixture::addFreePorts(qsizetype count)
{
    // Held open until the last is found, so that no port comes twice.
    std::vector<std::unique_ptr<QTcpServer>> probes;
    while (m_ports.size() < count) {
        probes.push_back(std::make_unique<QTcpServer>());
        probes.back()->listen(QHostAddress::Any, 0);
        if (!m_ports.contains(probes.back()->serverPort()))
            m_ports.append(probes.back()->serverPort());
    }
}

void ConsoleFixture::useStations(int count) const
{
    writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationCount, QString::number(count));
    const Result<QList<int>> added = UsageDatabase::addMissingStations(databasePath(), count);
    QVERIFY2(added.hasValue(), qPrintable(added.failure().text()));
}

QString ConsoleFixture::databasePath() const
{
    return UsageDatabase::pathFor(programDir(), QStringLiteral("kavo"));
}

QString ConsoleFixture::iniPath() const
{
    return ConsoleConfig::iniPath(programDir());
}

void ConsoleFixture::writeIni(const QString &section, const QString &key,
                              const QString &value) const
{
    const Failure written = IniFile::write(iniPath(), section, key, value);
    QVERIFY2(!written, qPrintable(written.text()));
}

bool ConsoleFixture::start()
{
    return ConsoleApp::runs(startWithReason());
}

Result<ConsoleApp::Started> ConsoleFixture::startWithReason()
{
    m_window.reset();
    m_instance = std::make_unique<SingleInstance>(QStringLiteral("kavo-test-%1-%2")
                                                      .arg(QCoreApplication::applicationPid())
                                                      .arg(quintptr(this)));
    addFreePorts(ConsoleConfig::read(programDir()).stationCount());
    m_window = std::make_unique<MainWindow>(programDir());
    m_window->setStationPorts(m_ports);
    return m_window->start(*m_instance);
}

std::unique_ptr<StationWindow> ConsoleFixture::createStation(int station, quint16 viaPort) const
{
    const Failure written = IniFile::write(
        QDir(programDir()).filePath(QStringLiteral("Client.ini")), QStringLiteral("Server"),
        QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    if (written)
        qWarning("%s", qPrintable(written.text()));
    auto window
        = std::make_unique<StationWindow>(station, programDir(), viaPort ? viaPort : port(station));
    auto *interval = window->findChild<QLineEdit *>(QStringLiteral("Text3"));
    // The announcement's answer empties the interval field.
    QDeadlineTimer deadline(5000);
    while (!interval->text().isEmpty() && !deadline.hasExpired())
        QTest::qWait(5);
    return window;
}

QList<QVariantList> ConsoleFixture::records(int station)
{
    const std::optional<XlsSheetData> table
        = m_window->database().statistics().exportStation(station);
    return table ? table->rows : QList<QVariantList>();
}
