#pragma once

#include "ConsoleApp.h"
#include "StationArea.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>

class QAction;
class QLabel;
class OperatorDesk;

// frmMain: the console's window with a panel and statistics for each station, the
// menu and the status bar. It shows the console (ConsoleApp) and answers its
// questions.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(const QString &programDir, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The ports stations 1, 2, ... connect to, in their order; tests move them off
    // the café's ports. A station the list does not reach keeps its own port.
    void setStationPorts(QList<quint16> ports) { m_app.setStationPorts(std::move(ports)); }

    // The start-up sequence, shown: running, or another console runs already, or
    // why the console cannot run.
    Result<ConsoleApp::Started> start(SingleInstance &instance);

    ConsoleApp &app() { return m_app; }
    // The stations Kavo.ini asks for, as known once start() has made them.
    int stationCount() const { return m_app.stationCount(); }
    StationView &view(int station) { return *m_area.views[station - 1]; }
    StationPanel &panel(int station) { return view(station).panel(); }
    StationSession &session(int station) { return m_app.session(station); }
    UsageDatabase &database() { return m_app.database(); }
    UsageLedger &ledger() { return m_app.ledger(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void answerConsole();
    Failure showStations();
    void createMenus();
    void createStatusBar();
    void updateStatusClock();
    Failure restoreGeometryFromSettings();
    double fallbackGeometry(int key) const;
    QSize gridWindowSize() const;
    void storeGeometryInSettings();
    void setStatisticsVisible(bool visible);
    void bringToFront();
    Failure signIn();
    void tell(const QString &text, QMessageBox::Icon icon);
    void reportProblem(const QString &text);
    void exportExcel();
    void openWorkbook();

    ConsoleApp m_app;
    StationArea m_area;
    OperatorDesk *m_desk = nullptr; // once the database is open
    QAction *m_exportAction = nullptr;
    QAction *m_statusBarAction = nullptr;
    QLabel *m_statusOverview = nullptr;
    QLabel *m_statusDate = nullptr;
    QLabel *m_statusTime = nullptr;
};
