#pragma once

#include "StationPanel.h"
#include "StatisticsBlock.h"

#include <QWidget>

class ConsoleApp;
class QAction;
class StationSession;
struct UsageTotals;

// One station on the console's window, bound to its session alone: its panel, where
// the operator's clicks and typing go to the session and what the session shows
// appears, and its statistics cell below, which follows the session's totals.
// In the two-station window it is a column, in the grid a cell (fraClient1, ...).
class StationView : public QWidget
{
    Q_OBJECT

public:
    enum class Place { Column, Cell };

    // Builds the panel; `app` moves the session's period to another station and
    // reads the sums of the statistics.
    StationView(QWidget *parent, StationSession &session, ConsoleApp &app, Place place);

    // Builds the statistics cell below the panel with the totals so far. Apart from
    // the panel, so that the Tab key runs through every panel first.
    void addStatistics();

    StationPanel &panel() { return m_panel; }
    StatisticsBlock &statistics() { return m_statistics; }

    void fillMonthList();
    void setStatisticsVisible(bool visible);

    // Twips from the panel's top to its statistics, and from the view's top to its
    // bottom.
    static constexpr int statisticsTop = 2640;
    static constexpr int height = statisticsTop + StatisticsBlock::height;

private:
    void connectControls();
    void connectDisplay();
    void showInterval(int minutes);
    void offerMoveTargets();
    void moveTo(int station);
    void pauseOrResume();
    void showTotals(const UsageTotals &totals);
    void showMonthFees();

    StationSession &m_session;
    ConsoleApp &m_app;
    StationPanel m_panel;
    StatisticsBlock m_statistics;
    QAction *m_pauseAction = nullptr; // in the context menu
};
