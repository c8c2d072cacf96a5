#pragma once

#include <QWidget>

// "Client1 PC Info", "Client2 PC Info", ...: the network facts of one station PC, asked
// for once when the window opens. Closing the window deletes it.
class PcInfoWindow : public QWidget
{
    Q_OBJECT

public:
    // Opens the station's window, or only raises it when it is already open.
    static PcInfoWindow *showOrRaise(int station, QWidget *parent);

private:
    PcInfoWindow(int station, QWidget *parent);
};
