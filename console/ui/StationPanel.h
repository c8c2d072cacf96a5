#pragma once

#include <QColor>
#include <QList>
#include <QRect>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QWidget;

// The controls of one station's panel in the main window, named as the operator's
// documentation names them (cmdStart1, tfDauer2, ...; cmdStart7 for station 7).
struct StationPanel
{
    int station = 1;
    QLabel *heading = nullptr;             // Label5 / Label6
    QPushButton *pcInfo = nullptr;         // cmdPCInfo1
    QList<QRadioButton *> intervals;       // opt1_5, opt1_10, opt1_15, opt1_30
    QButtonGroup *intervalGroup = nullptr; // at most one option selected
    QPushButton *start = nullptr;          // cmdStart1
    QLineEdit *startTime = nullptr;        // tfstart1
    QPushButton *stop = nullptr;           // cmdStop1
    QLineEdit *stopTime = nullptr;         // tfstop1
    QLineEdit *duration = nullptr;         // tfDauer1
    QLineEdit *fee = nullptr;              // tfKosten1
    QLabel *runningTime = nullptr;         // Label17 / Label18
    QRect runningTimePlace;                // where the label sits as built
    QPushButton *withoutStation = nullptr; // Command1 / Command2
    // Verlängern, on while a timed period runs: its menu adds minutes (the
    // action's data) or makes the period open-ended (0).
    QPushButton *extend = nullptr; // cmdVerlaengern1
    QMenu *extendMenu = nullptr;   // mnuVerlaengern1
    // Platz wechseln, on while a period runs: its menu, filled as it opens, names
    // the stations free to take the period (the action's data: the station).
    QPushButton *move = nullptr; // cmdWechseln1
    QMenu *moveMenu = nullptr;   // mnuWechseln1
    // Pause, "Weiter" while the period is paused.
    QPushButton *pause = nullptr; // cmdPause1
    // The three on the panel's heading and running time, by the right mouse button.
    QMenu *contextMenu = nullptr; // mnuNutzung1

    // The minutes of the interval options, in their order.
    static constexpr int intervalMinutes[] = {5, 10, 15, 30};

    // Builds the panel's controls at the top left of `column`, its column of the
    // two-station window: station 1 on the left, station 2 on the right.
    static StationPanel create(QWidget *column, int station);
    // Builds the panel's controls at the top left of a cell of their own.
    static StationPanel createInCell(QWidget *cell, int station);

    // Twips across one panel, its margins included.
    static constexpr int width = 4920;

    // The controls that are enabled only while the panel is active, in order.
    QList<QWidget *> stationControls() const;

    // Heading colours are 24-bit numbers with red in the low byte.
    static constexpr int red = 255;
    static constexpr int green = 65280;
    static constexpr int amber = 33023; // a running period in alarm: 255, 128, 0
    void setHeadingColour(int colourNumber) const;
    int headingColour() const;
    // An alarm's text is long: the running-time label then spans the panel, centred
    // on amber; otherwise it is back in its place.
    void showAlarmOnRunningTime(bool alarm) const;

    // The minutes of the selected interval option, 0 when none is selected.
    int selectedInterval() const;
    void clearIntervals() const;

    // Pause's caption: "Weiter" while the period is paused.
    void showPaused(bool paused) const;
};
