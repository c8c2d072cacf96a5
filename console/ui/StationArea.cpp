#include "StationArea.h"

#include "Twips.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace {
constexpr int cellHeight = StationArea::statisticsTop + StatisticsBlock::height;

StationArea twoStationArea(QWidget *window, int stationCount)
{
    StationArea area;
    area.widget = new QWidget(window);
    // The panels come first, then the statistics, which keeps the order of the
    // Tab key.
    for (int station = 1; station <= stationCount; ++station)
        area.panels.push_back(StationPanel::create(area.widget, station));
    for (int station = 1; station <= stationCount; ++station)
        area.statistics.addStation(area.widget, (station - 1) * StationPanel::width,
                                   StationArea::statisticsTop);
    area.fullSize
        = QSize(Twips::toPixels(StationArea::twoStationWidth), Twips::toPixels(cellHeight));
    area.widget->setMinimumSize(area.fullSize);
    return area;
}

// As many cells across as fit on the primary screen beside a vertical scroll bar,
// at least one.
int columnsOnScreen(const QWidget *window, int stationCount)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::min(stationCount, 2);
    const int spare = screen->availableGeometry().width()
        - window->style()->pixelMetric(QStyle::PM_ScrollBarExtent)
        - 4 * window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return std::clamp(spare / Twips::toPixels(StationPanel::width), 1, stationCount);
}

StationArea gridArea(QWidget *window, int stationCount)
{
    StationArea area;
    auto *scroll = new QScrollArea(window);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *grid = new QWidget(scroll);
    grid->setObjectName(QStringLiteral("grdStationen"));
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QSize cellSize(Twips::toPixels(StationPanel::width), Twips::toPixels(cellHeight));
    const int columns = columnsOnScreen(window, stationCount);
    for (int station = 1; station <= stationCount; ++station) {
        auto *cell = new QWidget(grid);
        cell->setObjectName(QStringLiteral("fraClient%1").arg(station));
        cell->setFixedSize(cellSize);
        area.panels.push_back(StationPanel::createInCell(cell, station));
        area.statistics.addStation(cell, 0, StationArea::statisticsTop);
        layout->addWidget(cell, (station - 1) / columns, (station - 1) % columns);
    }
    scroll->setWidget(grid);
    const int rows = (stationCount + columns - 1) / columns;
    area.fullSize = QSize(columns * cellSize.width(), rows * cellSize.height());
    // At least one whole cell stays in view, beside both scroll bars.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    scroll->setMinimumSize(cellSize + QSize(bar, bar));
    area.widget = scroll;
    return area;
}
}

StationArea StationArea::create(QWidget *window, int stationCount)
{
    StationArea area
        = stationCount <= 2 ? twoStationArea(window, stationCount) : gridArea(window, stationCount);
    area.widget->setObjectName(QStringLiteral("centralWidget"));
    return area;
}
