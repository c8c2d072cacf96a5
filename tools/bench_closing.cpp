// Times a day's closing over the dated records:
//   bench_closing [<records per station> [<folder>]]
// with 16 stations of 250,000 records each by default, dated over five years. The
// figure is the best of five closings of a day in the middle.

#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    constexpr int stations = 16;
    constexpr int days = 5 * 365;
    const QDate first(2020, 1, 1);
    const int records = argc > 1 ? std::atoi(argv[1]) : 250000;
    if (records < 1) {
        std::fprintf(stderr, "bench_closing [<records per station> [<folder>]]\n");
        return 2;
    }
    const QTemporaryDir dir(benchFolderTemplate(argc > 2 ? argv[2] : nullptr));
    const QString path = UsageDatabase::pathFor(dir.path(), QStringLiteral("bench"));
    UsageDatabase database;
    if (!dir.isValid() || UsageDatabase::create(path, stations)
        || !fillDatedUsageRecords(path, stations, records, first, days)
        || database.open(path, stations)) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen.\n");
        return 1;
    }
    double best = -1;
    qint64 periods = 0;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<Closing> closing = database.closings().day(first.addDays(days / 2));
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!closing)
            return 1;
        periods = closing->figures.total.periods;
        best = best < 0 ? ms : std::min(best, ms);
    }
    std::printf("%d x %d records over five years: a day's closing (%lld records) %.1f ms\n",
                stations, records, static_cast<long long>(periods), best);
    return 0;
}
