#pragma once

#include "StationView.h"

#include <QSize>

#include <memory>
#include <vector>

class ConsoleApp;
class QWidget;

// The part of the main window that shows the stations, a view each. One or two
// stations: their panels side by side with the statistics below, as the window has
// always been. More: a grid of cells, each a station's panel with its own statistics
// below it, as many across as the screen takes, in an area that scrolls when the
// window is smaller than the grid.
struct StationArea
{
    QWidget *widget = nullptr; // the main window's central widget
    std::vector<StationView *> views;
    // Pixels that show every station at once.
    QSize fullSize;

    // True for the grid of more than two stations.
    bool isGrid() const { return views.size() > 2; }

    // Twips across the two-station window.
    static constexpr int twoStationWidth = 2 * StationPanel::width;

    // A view for each of the app's sessions.
    static StationArea create(QWidget *window, ConsoleApp &app);
};
