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
#include <QTest>

ConsoleFixture::ConsoleFixture(const QString &statisticsSwitch)
    : m_ports{freeLoopbackPort(), freeLoopbackPort()}
{
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

MainWindow::StartResult ConsoleFixture::startWithReason()
{
    m_window.reset();
    m_instance = std::make_unique<SingleInstance>(QStringLiteral("kavo-test-%1-%2")
                                                      .arg(QCoreApplication::applicationPid())
                                                      .arg(quintptr(this)));
    m_window = std::make_unique<MainWindow>(programDir());
    m_window->setStationPorts(m_ports[0], m_ports[1]);
    return m_window->start(*m_instance);
}

std::unique_ptr<StationWindow> ConsoleFixture::createStation(int station) const
{
    const Failure written = IniFile::write(
        QDir(programDir()).filePath(QStringLiteral("Client.ini")), QStringLiteral("Server"),
        QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    if (written)
        qWarning("%s", qPrintable(written.text()));
    auto window = std::make_unique<StationWindow>(station, programDir(), port(station));
    auto *interval = window->findChild<QLineEdit *>(QStringLiteral("Text3"));
    // The announcement's answer empties the interval field.
    QDeadlineTimer deadline(5000);
    while (!interval->text().isEmpty() && !deadline.hasExpired())
        QTest::qWait(5);
    return window;
}

QList<QVariantList> ConsoleFixture::records(int station)
{
    const std::optional<XlsSheetData> table = m_window->database().exportStation(station);
    return table ? table->rows : QList<QVariantList>();
}
