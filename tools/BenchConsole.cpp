#include "BenchConsole.h"

#include "ConsoleConfig.h"
#include "IniFile.h"
#include "UsageDatabase.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTcpServer>

#include <cstdio>

namespace {
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
}

BenchConsole::BenchConsole()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

bool BenchConsole::start()
{
    if (const Failure failure = Failure::ofFirst({
            [&] {
                return IniFile::write(ConsoleConfig::iniPath(programDir()), QStringLiteral("DB"),
                                      QStringLiteral("DB Name"), QStringLiteral("bench"));
            },
            [&] {
                return UsageDatabase::create(
                    UsageDatabase::pathFor(programDir(), QStringLiteral("bench")));
            },
        })) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return false;
    }
    m_port = freePort();
    m_window = std::make_unique<MainWindow>(programDir());
    m_window->setStationPorts({m_port, freePort()});
    m_instance = std::make_unique<SingleInstance>(
        QStringLiteral("kavo-bench-%1").arg(QCoreApplication::applicationPid()));
    const Result<ConsoleApp::Started> started = m_window->start(*m_instance);
    if (!ConsoleApp::runs(started)) {
        std::fprintf(stderr, "start failed: %s\n", qPrintable(started.failure().text()));
        return false;
    }
    return true;
}
