// Times the usage database:
//   bench_database [<stations> [<records per station> [<folder>]]]
// with 2 stations of a million records each by default: (a) opening (with its
// integrity check and trial write) plus everything start-up reads, (b) one month's
// fees, (c) the start of a period and (d) its stop's record and totals, each durable
// on disk. The database is made in a temporary folder inside `folder` (default: the
// system's temporary folder) and removed at the end.

#include "BenchCommandLine.h"
#include "TextFormats.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QTime>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int repeats = 20;

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void printMedian(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%s, durable: median %.1f ms, slowest %.1f ms of %d\n", what,
                times[times.size() / 2], times.back(), int(times.size()));
}
}

int main(int argc, char *argv[])
{
    BenchCommandLine command(argc, argv, 2, 1000000);
    if (!command.isValid())
        return 2;
    const int stations = command.stations();
    const int recordsPerStation = command.records();
    const Result<QString> newPath = command.newFilePath();
    const QString path = newPath.valueOr(QString());
    QElapsedTimer timer;
    timer.start();
    const Failure created
        = newPath.hasValue() ? UsageDatabase::create(path, stations) : newPath.failure();
    if (created || !fillUsageRecords(path, stations, recordsPerStation)) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen. %s\n",
                     qPrintable(created.text()));
        return 1;
    }
    std::printf("%d stations, %d records each, written in %.0f ms\n", stations, recordsPerStation,
                milliseconds(timer));

    QElapsedTimer step;
    {
        // Written around the database: the first start checks every page, and so
        // does the close, for the next start.
        auto first = std::make_unique<UsageDatabase>();
        step.start();
        const Failure opened = first->open(path, stations);
        const double opening = milliseconds(step);
        step.restart();
        first.reset();
        std::printf("(a0) open of a file changed elsewhere: %.1f ms, its close: %.1f ms%s\n",
                    opening, milliseconds(step), opened ? " (refused)" : "");
    }

    UsageDatabase database;
    timer.restart();
    step.start();
    const Failure opened = database.open(path, stations);
    const double opening = milliseconds(step);
    step.restart();
    for (int station = 1; station <= stations; ++station)
        database.statistics().sumAllFees(station);
    const double sums = milliseconds(step);
    step.restart();
    for (int station = 1; station <= stations; ++station) {
        database.recorder().readTotalMinutes(station);
        database.statistics().listMonths(station);
    }
    const double lists = milliseconds(step);
    std::printf("(a) start-up: open, all-time sums, minutes, month lists: %.1f ms"
                " (open %.1f, sums %.1f, minutes and months %.1f)\n",
                milliseconds(timer), opening, sums, lists);
    if (opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.text()));
        return 1;
    }

    timer.restart();
    const std::optional<qint64> may = database.statistics().sumMonthFees(1, QStringLiteral("5"));
    std::printf("(b) fees of one month: %.1f ms (%s)\n", milliseconds(timer),
                qPrintable(TextFormats::money(may.value_or(0))));

    std::vector<double> starts;
    std::vector<double> stops;
    const UsageRecord record{QStringLiteral("14:00:00"), QStringLiteral("14:10:30"),
                             QStringLiteral("00:10:30"), QStringLiteral("1,05 €")};
    for (int i = 0; i < repeats; ++i) {
        const OpenPeriod period{QUuid::createUuid().toString(QUuid::WithoutBraces), 1,
                                QDateTime(QDate(2026, 5, 4), QTime(14, 0)), record.start, 10};
        timer.restart();
        const bool started = !database.periods().saveOpenPeriod(period);
        starts.push_back(milliseconds(timer));
        timer.restart();
        const bool stopped = database.recorder()
                                 .recordPeriod({period, record, 630, 5, {}, {}, std::nullopt})
                                 .hasValue();
        stops.push_back(milliseconds(timer));
        if (!started || !stopped) {
            std::fprintf(stderr, "Der Datensatz wurde nicht gespeichert.\n");
            return 1;
        }
    }
    printMedian("(c) the start of a period", starts);
    printMedian("(d) its stop's record and totals", stops);
    return 0;
}
