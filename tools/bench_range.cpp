// Times the takings over a range of days as the window "Einnahmen" reads them:
//   bench_range [<stations> [<records per station> [<folder>]]]
// with 16 stations of 250,000 records each by default, their stops spread over the
// five years 2022 to 2026; the range is the year 2025, read with the sums of every
// day and station and turned into the chart's values, twice: the second read finds
// what it can in the engine's page cache. Wall-clock and processor time.

#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
// The processor time of this process so far, which a busy machine does not stretch.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}
}

int main(int argc, char *argv[])
{
    const int stations = argc > 1 ? std::atoi(argv[1]) : 16;
    const int records = argc > 2 ? std::atoi(argv[2]) : 250000;
    if (stations < 1 || stations > 32 || records < 1) {
        std::fprintf(stderr, "bench_range [<stations> [<records per station> [<folder>]]]\n");
        return 2;
    }
    const QTemporaryDir dir(benchFolderTemplate(argc > 3 ? argv[3] : nullptr));
    const QString path = UsageDatabase::pathFor(dir.path(), QStringLiteral("bench"));
    const QDate firstDay(2022, 1, 1);
    if (!dir.isValid() || UsageDatabase::create(path, stations)
        || !fillDatedUsageRecords(path, stations, records, firstDay,
                                  int(firstDay.daysTo(QDate(2027, 1, 1))))) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen.\n");
        return 1;
    }
    UsageDatabase database;
    if (const Failure failure = database.open(path, stations)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    for (const char *read : {"first", "second"}) {
        const double cpuBefore = cpuMs();
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
                    stations, records, read, qlonglong(takings->dayCount()), qlonglong(values),
                    double(takings->total()) / 10000.0, double(timer.nsecsElapsed()) / 1e6,
                    cpuMs() - cpuBefore);
    }
    return 0;
}
