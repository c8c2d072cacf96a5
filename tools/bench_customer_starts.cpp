// The real console and the real station on loopback: a customer presses Start at
// the idle station again and again (default 200 times, or the number given). After
// each press the program waits until both ends are quiet, then counts the periods
// left open at either end and the records the presses left.

#include "BenchConsole.h"
#include "DaytimeClock.h"
#include "DaytimeRequest.h"
#include "IniFile.h"
#include "MessageDialog.h"
#include "StationSession.h"
#include "StationWindow.h"
#include "UsageDatabase.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {
// Both ends count as settled once the station's window has not changed for this long.
constexpr qint64 quietMs = 1500;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int presses = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    BenchConsole bench;
    // The station's clock request goes nowhere and changes no clock.
    DaytimeRequest::setServer(QStringLiteral("127.0.0.1"), 0);
    DaytimeClock::setClockWriter([](qint64) { return false; });
    MessageDialog::setHandler([](const MessageDialog::Request &) { return QMessageBox::Ok; });
    if (!bench.start())
        return 1;
    if (const Failure failure = IniFile::write(
            QDir(bench.programDir()).filePath(QStringLiteral("Client.ini")),
            QStringLiteral("Server"), QStringLiteral("IP"), QStringLiteral("127.0.0.1"))) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    MainWindow &console = bench.window();
    StationWindow station(1, bench.programDir(), bench.stationPort());
    auto *start = station.findChild<QPushButton *>(QStringLiteral("cmdStart"));
    auto *stop = station.findChild<QPushButton *>(QStringLiteral("cmdStop"));
    auto *interval = station.findChild<QLineEdit *>(QStringLiteral("Text3"));

    int pressed = 0;
    int leftOpen = 0;
    QString lastLook;
    QElapsedTimer unchanged;
    unchanged.start();
    QElapsedTimer total;
    total.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString look = station.windowTitle() + QString::number(start->isEnabled())
            + QString::number(stop->isEnabled())
            + QString::number(console.session(1).periodRunning());
        if (look != lastLook) {
            lastLook = look;
            unchanged.restart();
            return;
        }
        if (unchanged.elapsed() < quietMs || !interval->text().isEmpty())
            return;
        if (pressed > 0 && (console.session(1).periodRunning() || stop->isEnabled()))
            ++leftOpen;
        if (pressed == presses || !start->isEnabled()) {
            app.quit();
            return;
        }
        ++pressed;
        start->click();
        unchanged.restart();
    });
    watch.start(20);
    app.exec();

    const std::optional<XlsSheetData> table = console.database().statistics().exportStation(1);
    int records = 0;
    int shortRecords = 0;
    for (const QVariantList &row : table ? table->rows : QList<QVariantList>()) {
        ++records;
        const QString duration = row.value(2).toString();
        if ((duration == QStringLiteral("00:00:00") || duration == QStringLiteral("00:00:01"))
            && row.value(3).toDouble() == 0.0)
            ++shortRecords;
    }
    std::printf("%d customer Starts at an idle station in %.1f s: %d left a period open, %d "
                "records (%d of 0-1 s "
                "at 0,00 EUR)\n",
                pressed, total.elapsed() / 1000.0, leftOpen, records, shortRecords);
    return leftOpen == 0 && pressed == presses ? 0 : 1;
}
