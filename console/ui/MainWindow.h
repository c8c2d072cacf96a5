#pragma once

#include "Billing.h"
#include "ConsoleConfig.h"
#include "Failure.h"
#include "StationArea.h"

#include <QList>
#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class CafeOverview;
class DatabaseLock;
class OperatorDesk;
class SingleInstance;
class StationController;
class StationSession;
class StatisticsPanel;
class UsageDatabase;
class UsageLedger;

// frmMain: the console's window with a panel and statistics for each station, the
// menu and the status bar.
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

    // The ports stations 1, 2, ... connect to, in their order; tests move them off
    // the café's ports. A station the list does not reach keeps its own port.
    void setStationPorts(QList<quint16> ports) { m_stationPorts = std::move(ports); }

    // The start-up sequence.
    StartResult start(SingleInstance &instance);

    // The stations Kavo.ini asks for, as known once start() has read it.
    int stationCount() const { return int(m_area.panels.size()); }
    StationPanel &panel(int station) { return m_area.panels[station - 1]; }
    StatisticsBlock &statistics() { return m_area.statistics; }
    StationSession &session(int station) { return *m_sessions[station - 1]; }
    StationController &controller(int station) { return *m_controllers[station - 1]; }
    UsageDatabase &database() { return *m_database; }
    UsageLedger &ledger() { return *m_ledger; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createStationArea();
    quint16 stationPort(int station) const;
    void reportStationSettingProblems();
    void createMenus();
    void createStatusBar();
    void updateStatusClock();
    Failure restoreGeometryFromSettings();
    double fallbackGeometry(int key) const;
    QSize gridWindowSize() const;
    void storeGeometryInSettings();
    void clearPeriodFields();
    void showCompanyName();
    void setStatisticsVisible(bool visible);
    void bringToFront();
    void createStationControllers();
    Failure recoverPeriods(const QString &databasePath);
    void resumeOpenPeriods();
    void offerUnservedPeriods();
    Tariffs tariffs() const;
    void reportMissingTotals();
    Failure signIn();
    void reportProblem(const QString &text);
    void exportExcel();
    void openWorkbook();

    QString m_programDir;
    ConsoleConfig m_config;
    StationArea m_area;
    std::unique_ptr<DatabaseLock> m_lock;
    std::unique_ptr<UsageDatabase> m_database;
    std::unique_ptr<UsageLedger> m_ledger;
    std::unique_ptr<StatisticsPanel> m_statisticsPanel;
    std::unique_ptr<CafeOverview> m_overview;
    std::vector<std::unique_ptr<StationSession>> m_sessions;
    std::vector<std::unique_ptr<StationController>> m_controllers;
    QList<quint16> m_stationPorts;
    OperatorDesk *m_desk = nullptr; // once the database is open
    QAction *m_exportAction = nullptr;
    QAction *m_statusBarAction = nullptr;
    QLabel *m_statusOverview = nullptr;
    QLabel *m_statusDate = nullptr;
    QLabel *m_statusTime = nullptr;
};
