#pragma once

#include "MainWindow.h"
#include "SingleInstance.h"

#include <QTemporaryDir>

#include <memory>

// The real console window of a benchmark: in a fresh program directory with a fresh
// database "bench" and settings of its own, station 1 on a free port of loopback.
class BenchConsole
{
public:
    BenchConsole();

    // Makes the files and starts the window; false after telling why on stderr.
    bool start();

    MainWindow &window() { return *m_window; }
    QString programDir() const { return m_programDir.path(); }
    quint16 stationPort() const { return m_port; }

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_settingsDir;
    quint16 m_port = 0;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<SingleInstance> m_instance;
};
