#pragma once

#include "MainWindow.h"
#include "SingleInstance.h"

#include <QList>
#include <QTemporaryDir>

#include <memory>

class StationWindow;

// A program directory with a Kavo.ini of the demo tariffs and a fresh usage
// database, an isolated settings store, and a console started from it under a private
// single-instance name.
class ConsoleFixture
{
public:
    explicit ConsoleFixture(const QString &statisticsSwitch = QStringLiteral("1"));

    QString programDir() const { return m_programDir.path(); }
    QString iniPath() const;
    QString databasePath() const;
    void writeIni(const QString &section, const QString &key, const QString &value) const;

    // Kavo.ini asks for `count` stations from the next start on, and the database
    // has their tables.
    void useStations(int count) const;
    // The console gets ports for `count` stations at least, whether it serves them
    // or not.
    void reservePorts(qsizetype count) { addFreePorts(count); }

    // Starts a fresh console window; the previous one, if any, is dropped first.
    // True when it runs.
    bool start();
    Result<ConsoleApp::Started> startWithReason();
    MainWindow &window() { return *m_window; }
    // Drops the console window, if any, closing its database.
    void closeWindow() { m_window.reset(); }

    // A real station window in the same program directory, its Client.ini pointing
    // at this console on loopback, once it has announced itself and gone idle on
    // the console's answer (so that no later start runs together with that answer).
    // Given a port, it connects there instead of to the console's port.
    std::unique_ptr<StationWindow> createStation(int station, quint16 viaPort = 0) const;

    // The usage records the console has stored for the station, in stored order.
    QList<QVariantList> records(int station);

    // The port the console listens on for the station: free loopback ports, one for
    // each of stations 1 and 2 from the start, for each station Kavo.ini asks for
    // from the console's start on.
    quint16 port(int station) const { return m_ports[station - 1]; }

private:
    void addFreePorts(qsizetype count);

    QTemporaryDir m_programDir;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<MainWindow> m_window;
    QList<quint16> m_ports;
};
