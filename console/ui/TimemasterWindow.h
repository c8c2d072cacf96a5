#pragma once

#include <QWidget>

// "Timemaster": sets this PC's clock from the time server. It asks as soon as it
// opens and again on its button, and closes itself once the server answered or
// could not be reached. Closing the window deletes it.
class TimemasterWindow : public QWidget
{
    Q_OBJECT

public:
    // Opens the window, which starts a request, or only raises it when it is open.
    static TimemasterWindow *showOrRaise(QWidget *parent);

private:
    explicit TimemasterWindow(QWidget *parent);
    void reportFailure();
};
