// Times the console's start to a usable window:
//   bench_console_start [<stations> [<records per station> [<runs>]]]
// with 16 stations of 250,000 records each by default. The real window starts
// offscreen in a temporary program folder, on ports off the café's; a start counts
// from the window's construction until it is shown and its event loop has run a
// zero timer. Each run times a first start (the database changed since its last
// close, so that every page is checked) and, after its close, a normal start; the
// medians of the runs, wall-clock and processor time, are printed.

#include "ConsoleFixture.h"
#include "ProcessorTime.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Milliseconds from the start until the shown window's event loop answers, or a
// negative figure when the console refused to start; its processor time is added
// to `processor`.
double timedStart(ConsoleFixture &console, std::vector<double> &processor)
{
    const double processorBefore = processorMs();
    QElapsedTimer timer;
    timer.start();
    const Result<ConsoleApp::Started> started = console.startWithReason();
    if (!ConsoleApp::runs(started)) {
        std::fprintf(stderr, "%s\n", qPrintable(started.failure().text()));
        return -1;
    }
    console.window().show();
    double answered = -1;
    QTimer::singleShot(0, [&] {
        answered = milliseconds(timer);
        QCoreApplication::exit();
    });
    QCoreApplication::exec();
    processor.push_back(processorMs() - processorBefore);
    return answered;
}

double timedClose(ConsoleFixture &console)
{
    QElapsedTimer timer;
    timer.start();
    console.closeWindow();
    return milliseconds(timer);
}

void printTimes(const char *what, const std::vector<double> &times)
{
    std::printf("%s: median %.0f ms (", what, median(times));
    for (size_t i = 0; i < times.size(); ++i)
        std::printf("%s%.0f", i ? ", " : "", times[i]);
    std::printf(")\n");
}
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int stations = argc > 1 ? std::atoi(argv[1]) : 16;
    const int recordsPerStation = argc > 2 ? std::atoi(argv[2]) : 250000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    if (stations < 1 || stations > 32 || recordsPerStation < 0 || runs < 1) {
        std::fprintf(stderr, "bench_console_start [<stations> [<records per station> [<runs>]]]\n");
        return 2;
    }
    ConsoleFixture console;
    console.useStations(stations);
    QElapsedTimer timer;
    timer.start();
    if (!fillUsageRecords(console.databasePath(), stations, recordsPerStation)) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht fuellen.\n");
        return 1;
    }
    std::printf("%d stations, %d records each, written in %.0f ms\n", stations, recordsPerStation,
                milliseconds(timer));

    std::vector<double> firstStarts, firstCloses, starts, closes, firstProcessor, processor;
    for (int run = 0; run < runs; ++run) {
        // As after a change from outside: the next start checks every page.
        QFile::remove(UsageDatabase::checkedMarkPathFor(console.databasePath()));
        firstStarts.push_back(timedStart(console, firstProcessor));
        firstCloses.push_back(timedClose(console));
        starts.push_back(timedStart(console, processor));
        closes.push_back(timedClose(console));
        if (firstStarts.back() < 0 || starts.back() < 0)
            return 1;
    }
    printTimes("first start (every page checked) to a usable window", firstStarts);
    printTimes("  its processor time", firstProcessor);
    printTimes("  its close", firstCloses);
    printTimes("normal start to a usable window", starts);
    printTimes("  its processor time", processor);
    printTimes("  its close", closes);
    return 0;
}
