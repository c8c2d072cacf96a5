#include "HelperConsole.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>

HelperConsole::HelperConsole(const char *programDir, const char *settingsDir, const QString &name)
    : m_instance(QStringLiteral("kavo-%1-%2").arg(name).arg(QCoreApplication::applicationPid()))
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLocal8Bit(settingsDir));
    m_window = std::make_unique<MainWindow>(QString::fromLocal8Bit(programDir));
    m_window->setStationPorts({0, 0});
}

bool HelperConsole::start()
{
    const Result<ConsoleApp::Started> started = m_window->start(m_instance);
    if (ConsoleApp::runs(started))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(started.failure().text()));
    return false;
}
