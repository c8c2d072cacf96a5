// A real console window that starts a 15-minute period on station 1 and then moves
// it to station 2 ("move") or gives it 15 minutes more ("extend"), taking only the
// given number of the operation's steps before it kills itself (SIGKILL).
// Arguments: the program directory, the settings folder, the operation and the
// number of steps.

#include "HelperConsole.h"
#include "PeriodMove.h"
#include "StationSession.h"

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {
// The extension's steps: the new end on disk and the stop sent, then the minutes
// left sent after their spacing.
void extend(StationSession &session, int steps)
{
    if (steps >= 1)
        session.extend(15);
    if (steps >= 2) {
        QEventLoop wait;
        QTimer::singleShot(300, &wait, &QEventLoop::quit);
        wait.exec();
    }
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 5)
        return 2;
    HelperConsole console(argv[1], argv[2], QStringLiteral("moving"));
    if (!console.start())
        return 1;
    MainWindow &window = console.window();
    for (int station : {1, 2})
        window.panel(station).withoutStation->click();
    window.panel(1).intervals[2]->setChecked(true);
    window.panel(1).start->click();
    const int steps = QByteArray(argv[4]).toInt();
    if (QByteArray(argv[3]) == "move") {
        PeriodMove move(window.session(1), window.session(2), window.ledger());
        for (int step = 0; step < steps; ++step) {
            if (const Failure failure = move.step()) {
                std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
                return 1;
            }
        }
    } else {
        extend(window.session(1), steps);
    }
    std::fflush(stdout);
    std::raise(SIGKILL);
    return 0;
}
