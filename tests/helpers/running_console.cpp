// A real console window that starts a period on both panels, station 1 open-ended
// and station 2 for 15 minutes, prints the two start times and waits to be killed.
// Arguments: the program directory and the settings folder.

#include "HelperConsole.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    HelperConsole console(argv[1], argv[2], QStringLiteral("running"));
    if (!console.start())
        return 1;
    MainWindow &window = console.window();
    for (int station : {1, 2}) {
        StationPanel &panel = window.panel(station);
        panel.withoutStation->click();
        if (station == 2)
            panel.intervals[2]->setChecked(true);
        panel.start->click();
    }
    std::printf("%s %s\n", qPrintable(window.panel(1).startTime->text()),
                qPrintable(window.panel(2).startTime->text()));
    std::fflush(stdout);
    return app.exec();
}
