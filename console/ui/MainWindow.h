#pragma once

#include "ConsoleConfig.h"
#include "Failure.h"
#include "StationPanel.h"
#include "StatisticsBlock.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class DatabaseLock;
class SingleInstance;
class StationController;
class StationSession;
class StatisticsPanel;
class UsageDatabase;
class UsageLedger;

// frmMain: the console's window with both station panels, the statistics block,
// the menu and the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(const QString &programDir, QWidget *parent = nullptr);
    ~MainWindow() override;

    enum class StartOutcome { Running, AlreadyRunning, Failed };
    struct StartResult
    {
        StartOutcome outcome;
        Failure failure; // the text to show when the start failed
    };

    // The ports the stations connect to; tests move them off the café's ports.
    void setStationPorts(quint16 first, quint16 second)
    {
        m_stationPorts[0] = first;
        m_stationPorts[1] = second;
    }

    // The start-up sequence.
    StartResult start(SingleInstance &instance);

    StationPanel &panel(int station) { return m_panels[station - 1]; }
    StatisticsBlock &statistics() { return m_statistics; }
    StationSession &session(int station) { return *m_sessions[station - 1]; }
    StationController &controller(int station) { return *m_controllers[station - 1]; }
    UsageDatabase &database() { return *m_database; }
    UsageLedger &ledger() { return *m_ledger; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    void createStatusBar();
    void updateStatusClock();
    Failure restoreGeometryFromSettings();
    void storeGeometryInSettings();
    void clearPeriodFields();
    void showCompanyName();
    void setStatisticsVisible(bool visible);
    void bringToFront();
    void createStationControllers();
    Failure recoverPeriods(const QString &databasePath);
    void resumeOpenPeriods();
    void reportMissingTotals();
    void reportProblem(const QString &text);
    void exportExcel();
    void openWorkbook();

    QString m_programDir;
    ConsoleConfig m_config;
    StationPanel m_panels[2];
    StatisticsBlock m_statistics;
    std::unique_ptr<DatabaseLock> m_lock;
    std::unique_ptr<UsageDatabase> m_database;
    std::unique_ptr<UsageLedger> m_ledger;
    std::unique_ptr<StatisticsPanel> m_statisticsPanel;
    std::unique_ptr<StationSession> m_sessions[2];
    std::unique_ptr<StationController> m_controllers[2];
    quint16 m_stationPorts[2];
    QAction *m_exportAction = nullptr;
    QAction *m_statusBarAction = nullptr;
    QLabel *m_statusDate = nullptr;
    QLabel *m_statusTime = nullptr;
};
