// Times the takings over a range of days as the window "Einnahmen" reads them:
//   bench_range [<stations> [<records per station> [<folder>]]]
// with 16 stations of 250,000 records each by default, their stops spread over the
// five years 2022 to 2026; the range is the year 2025, read with the sums of every
// day and station and turned into the chart's values, twice: the second read finds
// what it can in the engine's page cache. Wall-clock and processor time. A folder
// keeps the filled file for the next run.

#include "BenchCommandLine.h"
#include "ProcessorTime.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    BenchCommandLine command(argc, argv, 16, 250000);
    if (!command.isValid())
        return 2;
    // With a folder, the filled file stays there for the next run of the same size.
    const QString path
        = keptFiveYearsFile(command.keptFolder(), command.stations(), command.records());
    if (path.isEmpty()) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen.\n");
        return 1;
    }
    UsageDatabase database;
    const int stations = command.stations();
    if (const Failure failure = database.open(path, stations)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    for (const char *read : {"first", "second"}) {
        const double cpuBefore = processorMs();
        QElapsedTimer timer;
        timer.start();
        const Result<DailyTakings> takings
            = database.takings().takings(QDate(2025, 1, 1), QDate(2025, 12, 31));
        if (!takings.hasValue()) {
            std::fprintf(stderr, "%s\n", qPrintable(takings.failure().text()));
            return 1;
        }
        qsizetype values = takings->euros().size();
        for (int station = 1; station <= stations; ++station)
            values += takings->euros(station).size();
        std::printf("%d stations x %d records over 5 years, %s read of one year (%lld days,"
                    " %lld chart values, %.2f EUR): %.0f ms, %.0f ms of processor time\n",
                    stations, command.records(), read, qlonglong(takings->dayCount()),
                    qlonglong(values), double(takings->total()) / 10000.0,
                    double(timer.nsecsElapsed()) / 1e6, processorMs() - cpuBefore);
    }
    return 0;
}
