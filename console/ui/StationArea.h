#pragma once

#include "StationPanel.h"
#include "StatisticsBlock.h"

#include <QSize>

#include <vector>

class QWidget;

// The part of the main window that shows the stations. One or two stations: their
// panels side by side with the statistics below, as the window has always been.
// More: a grid of cells, each a station's panel with its own statistics below it,
// as many across as the screen takes, in an area that scrolls when the window is
// smaller than the grid.
struct StationArea
{
    QWidget *widget = nullptr; // the main window's central widget
    std::vector<StationPanel> panels;
    StatisticsBlock statistics;
    // Pixels that show every station at once.
    QSize fullSize;

    // True for the grid of more than two stations.
    bool isGrid() const { return panels.size() > 2; }

    // Twips from a panel's top to its statistics, and across the two-station window.
    static constexpr int statisticsTop = 2640;
    static constexpr int twoStationWidth = 2 * StationPanel::width;

    static StationArea create(QWidget *window, int stationCount);
};
