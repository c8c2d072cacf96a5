// Times the first open of a file made before records were dated, which adds the
// columns that date them and the index of the stops in one transaction:
//   bench_migration [<records per station> [<folder>]]
// with 2 stations of a million records each by default. The same file is then
// opened again after its mark is removed (the whole page check, no migration); the
// difference is the migration's share.

#include "BenchCommandLine.h"
#include "ProcessorTime.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {
// Opens and closes the database; the milliseconds the open took, or -1, and its
// processor time in `processor`.
double timedOpen(const QString &path, double &processor)
{
    const double processorBefore = processorMs();
    QElapsedTimer timer;
    timer.start();
    UsageDatabase database;
    if (const Failure failure = database.open(path)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return -1;
    }
    processor = processorMs() - processorBefore;
    return double(timer.nsecsElapsed()) / 1e6;
}
}

int main(int argc, char *argv[])
{
    BenchCommandLine command(argc, argv, 1000000);
    if (!command.isValid())
        return 2;
    const QString path = command.newFilePath().valueOr(QString());
    const int records = command.records();
    if (path.isEmpty() || !makeUndatedUsageFile(path, 2) || !fillUsageRecords(path, 2, records)) {
        std::fprintf(stderr, "Die Testdatenbank liess sich nicht anlegen.\n");
        return 1;
    }
    double migratingProcessor = 0;
    double checkingProcessor = 0;
    const double migrating = timedOpen(path, migratingProcessor);
    QFile::remove(UsageDatabase::checkedMarkPathFor(path));
    const double checking = timedOpen(path, checkingProcessor);
    if (migrating < 0 || checking < 0)
        return 1;
    std::printf("2 x %d undated records: first open with the migration %.0f ms (%.0f ms of"
                " processor time), open with the same page check alone %.0f ms (%.0f ms),"
                " migration about %.0f ms (%.0f ms)\n",
                records, migrating, migratingProcessor, checking, checkingProcessor,
                migrating - checking, migratingProcessor - checkingProcessor);
    return 0;
}
