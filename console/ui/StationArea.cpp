#include "StationArea.h"

#include "ConsoleApp.h"
#include "StationSession.h"
#include "Twips.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace {
StationArea twoStationArea(QWidget *window, ConsoleApp &app)
{
    StationArea area;
    area.widget = new QWidget(window);
    for (const auto &session : app.sessions()) {
        auto *view = new StationView(area.widget, *session, app, StationView::Place::Column);
        Twips::place(view, (session->station() - 1) * StationPanel::width, 0, StationPanel::width,
                     StationView::height);
        area.views.push_back(view);
    }
    // The panels come first, then the statistics, which keeps the order of the Tab key.
    for (StationView *view : area.views)
        view->addStatistics();
    area.fullSize = QSize(Twips::toPixels(StationArea::twoStationWidth),
                          Twips::toPixels(StationView::height));
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

StationArea gridArea(QWidget *window, ConsoleApp &app)
{
    const int stationCount = app.stationCount();
    StationArea area;
    auto *scroll = new QScrollArea(window);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *grid = new QWidget(scroll);
    grid->setObjectName(QStringLiteral("grdStationen"));
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QSize cellSize(Twips::toPixels(StationPanel::width),
                         Twips::toPixels(StationView::height));
    const int columns = columnsOnScreen(window, stationCount);
    for (const auto &session : app.sessions()) {
        auto *cell = new StationView(grid, *session, app, StationView::Place::Cell);
        cell->addStatistics();
        cell->setFixedSize(cellSize);
        const int index = session->station() - 1;
        layout->addWidget(cell, index / columns, index % columns);
        area.views.push_back(cell);
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

StationArea StationArea::create(QWidget *window, ConsoleApp &app)
{
    StationArea area
        = app.stationCount() <= 2 ? twoStationArea(window, app) : gridArea(window, app);
    area.widget->setObjectName(QStringLiteral("centralWidget"));
    return area;
}
