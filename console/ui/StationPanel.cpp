#include "StationPanel.h"

#include "Twips.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace {
struct Placement
{
    int left, top, width, height;
};

template<typename Widget>
Widget *make(QWidget *parent, const QString &name, const QString &text, Placement at,
             const QString &toolTip = QString())
{
    auto *widget = new Widget(text, parent);
    widget->setObjectName(name);
    widget->setToolTip(toolTip);
    Twips::place(widget, at.left, at.top, at.width, at.height);
    return widget;
}

QLineEdit *makeBox(QWidget *parent, const QString &name, Placement at)
{
    return make<QLineEdit>(parent, name, QString(), at);
}

QString numbered(const char *prefix, int station)
{
    return QString::fromLatin1(prefix) + QString::number(station);
}

// The labels of stations 1 and 2 keep their names of old; a further station's
// are named for what they say and its number.
QString labelName(int station, const char *first, const char *second, const char *further)
{
    if (station <= 2)
        return QString::fromLatin1(station == 1 ? first : second);
    return numbered(further, station);
}

QLabel *makeHeading(QWidget *parent, int station)
{
    QLabel *heading = make<QLabel>(parent, labelName(station, "Label5", "Label6", "lbClient"),
                                   QStringLiteral("Client %1").arg(station), {120, 240, 4575, 375});
    QFont font(QStringLiteral("MS Sans Serif"), 18, QFont::Bold);
    heading->setFont(font);
    heading->setAlignment(Qt::AlignCenter);
    heading->setAutoFillBackground(true);
    return heading;
}

// The two right-hand options sit a little further right where they are shifted (on
// the two-station window's second panel, and in every cell of the grid).
void makeIntervals(StationPanel &panel, QWidget *parent, bool shiftedOptions)
{
    const Placement places[] = {
        {1200, 720, 735, 255}, {2040, 720, 855, 255}, {2880, 720, 855, 255}, {3720, 720, 855, 255}};
    const int extraShift[] = {0, 0, 120, 120};
    panel.intervalGroup = new QButtonGroup(parent);
    for (int i = 0; i < 4; ++i) {
        const int minutes = StationPanel::intervalMinutes[i];
        const Placement at{places[i].left + (shiftedOptions ? extraShift[i] : 0), places[i].top,
                           places[i].width, places[i].height};
        auto *option
            = make<QRadioButton>(parent, QStringLiteral("opt%1_%2").arg(panel.station).arg(minutes),
                                 QStringLiteral("%1 min").arg(minutes), at,
                                 QStringLiteral("%1 min Timerfunktion").arg(minutes));
        panel.intervals.append(option);
        panel.intervalGroup->addButton(option, minutes);
    }
}

// A button that opens its menu, off until a period runs; the first station's
// caption carries an access key.
QMenu *makeMenuButton(QPushButton *&button, QWidget *parent, int station, const char *name,
                      const char *menuName, const QString &caption, Placement at,
                      const QString &toolTip)
{
    button = make<QPushButton>(parent, numbered(name, station),
                               station == 1 ? QLatin1Char('&') + caption : caption, at, toolTip);
    button->setEnabled(false);
    auto *menu = new QMenu(button);
    menu->setObjectName(numbered(menuName, station));
    button->setMenu(menu);
    return menu;
}

// Beside "Ohne Client", where the panel has room.
void makeExtend(StationPanel &panel, QWidget *parent)
{
    panel.extendMenu = makeMenuButton(
        panel.extend, parent, panel.station, "cmdVerlaengern", "mnuVerlaengern",
        QStringLiteral("Verlängern"), {1320, 2160, 1095, 255},
        QStringLiteral("Gibt der laufenden Nutzung mehr Zeit; sie bleibt eine Nutzung."));
    for (const int minutes : StationPanel::intervalMinutes)
        panel.extendMenu->addAction(QStringLiteral("+%1 min").arg(minutes))->setData(minutes);
    panel.extendMenu->addAction(QStringLiteral("offen"))->setData(0);
}

// Right of Verlängern, in the room left on the panel's lowest row.
void makeMoveAndPause(StationPanel &panel, QWidget *parent)
{
    const int station = panel.station;
    panel.moveMenu = makeMenuButton(
        panel.move, parent, station, "cmdWechseln", "mnuWechseln", QStringLiteral("Platz wechseln"),
        {2520, 2160, 1410, 255},
        QStringLiteral("Setzt die laufende Nutzung an einem freien Kunden-PC fort."));
    panel.pause = make<QPushButton>(parent, numbered("cmdPause", station), QString(),
                                    {4020, 2160, 675, 255},
                                    QStringLiteral("Hält die laufende Nutzung an; die Pause wird"
                                                   " nicht berechnet."));
    panel.pause->setEnabled(false);
    panel.showPaused(false);
}

// The operations on the running period by the right mouse button, on the heading
// and the running time.
void makeContextMenu(StationPanel &panel, QWidget *parent)
{
    panel.contextMenu = new QMenu(parent);
    panel.contextMenu->setObjectName(numbered("mnuNutzung", panel.station));
    for (QWidget *place :
         {static_cast<QWidget *>(panel.heading), static_cast<QWidget *>(panel.runningTime)}) {
        place->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(place, &QWidget::customContextMenuRequested, panel.contextMenu,
                         [menu = panel.contextMenu, place](const QPoint &at) {
                             menu->popup(place->mapToGlobal(at));
                         });
    }
}

StationPanel build(QWidget *parent, int station, bool shiftedOptions)
{
    StationPanel panel;
    panel.station = station;
    // Only station 1's buttons have mnemonics, so that no key reaches two panels.
    const bool first = station == 1;

    panel.heading = makeHeading(parent, station);
    panel.pcInfo = make<QPushButton>(
        parent, numbered("cmdPCInfo", station), QStringLiteral("PC Info"), {120, 720, 975, 255},
        QStringLiteral("Zeigt ein paar Netzwerk / PC Infos des Clienten an."));
    makeIntervals(panel, parent, shiftedOptions);
    panel.start = make<QPushButton>(parent, numbered("cmdStart", station),
                                    first ? QStringLiteral("&Start") : QStringLiteral("Start"),
                                    {120, 1080, 975, 255},
                                    QStringLiteral("Startet den Timer bzw. den Client."));
    panel.startTime = makeBox(parent, numbered("tfstart", station), {1200, 1080, 975, 285});
    panel.stop = make<QPushButton>(parent, numbered("cmdStop", station),
                                   first ? QStringLiteral("S&top") : QStringLiteral("Stop"),
                                   {2400, 1080, 975, 255},
                                   QStringLiteral("Stopt den Timer bzw. den Client."));
    panel.stopTime = makeBox(parent, numbered("tfstop", station), {3480, 1080, 975, 285});
    make<QLabel>(parent, labelName(station, "Label1", "Label2", "lbDauer"), QStringLiteral("Dauer"),
                 {600, 1440, 495, 255});
    panel.duration = makeBox(parent, numbered("tfDauer", station), {1200, 1440, 975, 285});
    make<QLabel>(parent, labelName(station, "Label4", "Label3", "lbKosten"),
                 QStringLiteral("Kosten"), {2880, 1440, 615, 255});
    panel.fee = makeBox(parent, numbered("tfKosten", station), {3480, 1440, 975, 285});
    panel.runningTime
        = make<QLabel>(parent, labelName(station, "Label17", "Label18", "lbTimer"),
                       QStringLiteral("Timer"), {2280, 1680, 735, 255}, QStringLiteral("Timer"));
    panel.runningTimePlace = panel.runningTime->geometry();
    panel.withoutStation = make<QPushButton>(
        parent, numbered("Command", station), QStringLiteral("Ohne Client"), {120, 2160, 1095, 255},
        QStringLiteral("Falls Kavo ohne Client genutzt werden soll, schaltet "
                       "diese Funktion die Steuerung frei."));
    makeExtend(panel, parent);
    makeMoveAndPause(panel, parent);
    makeContextMenu(panel, parent);
    return panel;
}
}

StationPanel StationPanel::create(QWidget *column, int station)
{
    return build(column, station, station != 1);
}

StationPanel StationPanel::createInCell(QWidget *cell, int station)
{
    return build(cell, station, true);
}

QList<QWidget *> StationPanel::stationControls() const
{
    QList<QWidget *> controls{pcInfo, start, stop};
    for (QRadioButton *option : intervals)
        controls.append(option);
    return controls;
}

namespace {
QColor colourOf(int colourNumber)
{
    return QColor(colourNumber & 0xFF, (colourNumber >> 8) & 0xFF, (colourNumber >> 16) & 0xFF);
}
}

void StationPanel::setHeadingColour(int colourNumber) const
{
    QPalette palette = heading->palette();
    palette.setColor(QPalette::Window, colourOf(colourNumber));
    heading->setPalette(palette);
}

void StationPanel::showAlarmOnRunningTime(bool alarm) const
{
    if (alarm) {
        // Just below the duration box, which the label's own place overlaps.
        runningTime->setGeometry(heading->x(), duration->geometry().bottom() + 2, heading->width(),
                                 runningTimePlace.height());
        QPalette palette = runningTime->palette();
        palette.setColor(QPalette::Window, colourOf(amber));
        runningTime->setPalette(palette);
    } else {
        runningTime->setGeometry(runningTimePlace);
    }
    runningTime->setAutoFillBackground(alarm);
    runningTime->setAlignment(alarm ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
}

int StationPanel::headingColour() const
{
    const QColor colour = heading->palette().color(QPalette::Window);
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

int StationPanel::selectedInterval() const
{
    const int id = intervalGroup->checkedId();
    return id > 0 ? id : 0;
}

void StationPanel::showPaused(bool paused) const
{
    const bool first = station == 1;
    if (paused)
        pause->setText(first ? QStringLiteral("W&eiter") : QStringLiteral("Weiter"));
    else
        pause->setText(first ? QStringLiteral("Paus&e") : QStringLiteral("Pause"));
}

void StationPanel::clearIntervals() const
{
    intervalGroup->setExclusive(false);
    for (QRadioButton *option : intervals)
        option->setChecked(false);
    intervalGroup->setExclusive(true);
}
