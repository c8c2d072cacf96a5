// Times a day's closing over the dated records:
//   bench_closing [<records per station> [<folder>]]
// with 16 stations of 250,000 records each by default, dated over five years. The
// figure is the best of five closings of a day in the middle. A folder keeps the
// filled file for the next run.

#include "BenchCommandLine.h"
#include "ProcessorTime.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    constexpr int stations = 16;
    BenchCommandLine command(argc, argv, 250000);
    if (!command.isValid())
        return 2;
    const int records = command.records();
    // With a folder, the filled file stays there for the next run of the same size.
    const QString path = keptFiveYearsFile(command.keptFolder(), stations, records);
    const QDate day = fiveYearsFirstDay.addDays(fiveYearsDays / 2);
    UsageDatabase database;
    if (path.isEmpty() || database.open(path, stations)) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen.\n");
        return 1;
    }
    double best = -1;
    double bestProcessor = -1;
    qint64 periods = 0;
    for (int round = 0; round < 5; ++round) {
        const double processorBefore = processorMs();
        QElapsedTimer timer;
        timer.start();
        const std::optional<Closing> closing = database.closings().day(day);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        const double processor = processorMs() - processorBefore;
        if (!closing)
            return 1;
        periods = closing->figures.total.periods;
        best = best < 0 ? ms : std::min(best, ms);
        bestProcessor = bestProcessor < 0 ? processor : std::min(bestProcessor, processor);
    }
    std::printf("%d x %d records over five years: a day's closing (%lld records) %.1f ms,"
                " %.1f ms of processor time\n",
                stations, records, static_cast<long long>(periods), best, bestProcessor);
    return 0;
}
