// A real console window that runs one "Ohne Client" period after another on
// station 1 as fast as it can, under a clock that moves a few minutes per period,
// until it is killed. After each start it prints the moment the period began.
// Arguments: the program directory, the settings folder and the number of days
// the clock starts after 4 May 2026.

#include "HelperConsole.h"
#include "ManualClock.h"
#include "MessageDialog.h"
#include "ScopedClock.h"

#include <QApplication>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    ManualClock clock(
        QDateTime(QDate(2026, 5, 4).addDays(QByteArray(argv[3]).toInt()), QTime(9, 0)));
    ScopedClock guard(clock);
    // The period the previous run left open began days before: it goes on.
    MessageDialog::setHandler([](const MessageDialog::Request &) { return QMessageBox::Yes; });

    HelperConsole console(argv[1], argv[2], QStringLiteral("stopping"));
    if (!console.start())
        return 1;
    MainWindow &window = console.window();
    StationPanel &panel = window.panel(1);
    panel.withoutStation->click();
    std::printf("ready\n");
    std::fflush(stdout);

    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, [&] {
        const QDateTime begin = clock.now();
        panel.start->click();
        std::printf("started %s\n", qPrintable(begin.toString(Qt::ISODateWithMs)));
        std::fflush(stdout);
        clock.advanceMs(QRandomGenerator::global()->bounded(1, 5400) * 1000);
        panel.stop->click();
    });
    loop.start(0);
    return app.exec();
}
