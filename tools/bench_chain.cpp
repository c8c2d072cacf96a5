// Times the checks of the book's chain:
//   bench_chain [<records per station> [<folder>]]
// with 16 stations of 250,000 records each by default, dated over five years and
// numbered across the stations, all sealed onto the chain. It times the whole
// check (ChainCheck::Whole, the menu's) three times, then the check a start runs
// over the records of a day (50 a station, written by the console) after the last
// check, for three days.
// Both in wall-clock and processor time. With a folder, the sealed file stays there
// (`kette-16x<records>.mde`) for the next run, which adds its three days to it.

#include "BenchCommandLine.h"
#include "Billing.h"
#include "ChainCheck.h"
#include "ChainHash.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include <sqlite3.h>

namespace {
constexpr int stations = 16;

double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Numbers the filled records across the stations in turn and seals every one onto
// the chain from its first entry, with totals equal to the records.
bool sealAll(sqlite3 *db, int records)
{
    QString statements
        = QStringLiteral(
              "UPDATE Belegnummer SET Letzte = %1;"
              "UPDATE Kettenkopf SET AnfangBeleg = 1, GeprueftBeleg = %1;"
              "UPDATE Kettenstand SET AnfangZeile = 0, AnfangMinuten = 0, AnfangEntgeld = 0;")
              .arg(qint64(records) * stations);
    for (int station = 1; station <= stations; ++station)
        statements += SqlRun::forStation("UPDATE client%1 SET client%1nummer = (rowid - 1) * 16"
                                         " + %1;",
                                         station);
    SqlTransaction transaction(db);
    if (ChainHash::install(db) || SqlRun::exec(db, statements))
        return false;
    std::vector<std::unique_ptr<SqlStatement>> rows;
    std::vector<std::unique_ptr<SqlStatement>> seals;
    for (int station = 1; station <= stations; ++station) {
        rows.push_back(std::make_unique<SqlStatement>(
            db,
            QStringLiteral("SELECT client%1dauer, client%1kosten,"
                           " %2, rowid FROM client%1 ORDER BY rowid")
                .arg(QString::number(station),
                     ChainHash::fieldsOf(RecordChain::hashedRecordFields(station)))));
        seals.push_back(std::make_unique<SqlStatement>(
            db,
            SqlRun::forStation("UPDATE client%1 SET client%1kette = ?1 WHERE rowid = ?2",
                               station)));
    }
    ChainHash hash;
    QByteArray previous;
    std::vector<qint64> minutes(stations + 1), fees(stations + 1);
    for (int record = 0; record < records; ++record) {
        for (int station = 1; station <= stations; ++station) {
            SqlStatement &row = *rows[station - 1];
            SqlStatement &seal = *seals[station - 1];
            if (!row.next())
                return false;
            minutes[station]
                += Billing::wholeMinutes(Billing::durationSeconds(row.text(0).value_or(QString())));
            fees[station] += row.money(1).value_or(0);
            previous
                = hash.of(previous, QByteArray("B") + QByteArray::number(station), row.bytes(2))
                      .toByteArray();
            if (!seal.rewind() || !seal.bind(1, QString::fromLatin1(previous.toHex()))
                || !seal.bind(2, *row.integer(3)) || !seal.run())
                return false;
        }
    }
    rows.clear();
    seals.clear();
    QString totals;
    for (int station = 1; station <= stations; ++station)
        totals += QStringLiteral("UPDATE client%1stat SET Nutzungszeit = %2, Entgeld = %3;"
                                 "UPDATE Kettenstand SET Zeile = %4, Minuten = %2, Entgeld = %3"
                                 " WHERE Station = %1;")
                      .arg(QString::number(station), QString::number(minutes[station]),
                           QString::number(fees[station]), QString::number(records));
    SqlStatement head(db, QStringLiteral("UPDATE Kettenkopf SET Kopf = ?1, GeprueftKopf = ?1"));
    return head.bind(1, QString::fromLatin1(previous.toHex())) && head.run()
        && !SqlRun::exec(db, totals) && transaction.commit();
}

// A new file of `records` records a station, sealed onto the chain.
bool makeSealedFile(const QString &path, int records)
{
    {
        UsageDatabase database;
        if (UsageDatabase::create(path, stations)
            || !fillDatedUsageRecords(path, stations, records, QDate(2020, 1, 1), 5 * 365)
            || database.open(path, stations) || database.setOwnerPin(QStringLiteral("4711")))
            return false;
    }
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const bool sealed
        = !SqlRun::exec(
              db, QStringLiteral("PRAGMA key = '%1'").arg(QLatin1String(UsageDatabase::password)))
        && sealAll(db, records);
    sqlite3_close(db);
    return sealed;
}

// A day's records as the console writes them: 50 a station.
bool recordDay(UsageDatabase &database, int day)
{
    for (int round = 0; round < 50; ++round) {
        for (int station = 1; station <= stations; ++station) {
            StoppedPeriod stopped;
            stopped.period.station = station;
            stopped.period.id = QStringLiteral("bench-%1-%2-%3").arg(day).arg(station).arg(round);
            stopped.record = {QStringLiteral("14:00:00"), QStringLiteral("14:10:30"),
                              QStringLiteral("00:10:30"), QStringLiteral("1,05 €")};
            stopped.durationSeconds = 630;
            stopped.month = 5;
            if (!database.recorder().recordPeriod(stopped).hasValue())
                return false;
        }
    }
    return true;
}

void report(const char *what, double wallMs, double processorMs, const ChainCheck &check)
{
    std::printf("%s: %lld entries, %.0f ms (processor %.0f ms), %lld findings\n", what,
                static_cast<long long>(check.checked()), wallMs, processorMs,
                static_cast<long long>(check.findings().size()));
    for (const QString &finding : check.findings().mid(0, 3))
        std::printf("  %s\n", qPrintable(finding));
}

// Runs a check and reports it.
void timed(const char *what, UsageDatabase &database, ChainCheck::Scope scope)
{
    QElapsedTimer timer;
    timer.start();
    const double cpu = cpuMs();
    const std::unique_ptr<ChainCheck> check = database.chainCheck(scope);
    check->run();
    if (scope == ChainCheck::SinceLastCheck)
        (void)check->keep();
    report(what, double(timer.nsecsElapsed()) / 1e6, cpuMs() - cpu, *check);
}
}

int main(int argc, char *argv[])
{
    BenchCommandLine command(argc, argv, 250000);
    if (!command.isValid())
        return 2;
    const int records = command.records();
    const QString path = keptUsageFile(
        command.keptFolder(), QStringLiteral("kette-%1x%2").arg(stations).arg(records),
        [&](const QString &made) { return makeSealedFile(made, records); });
    UsageDatabase database;
    if (path.isEmpty() || database.open(path, stations)) {
        std::fprintf(stderr, "Die Kette liess sich nicht anlegen.\n");
        return 1;
    }
    {
        // What reading the fields alone costs, beside the check.
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuMs();
        qint64 bytes = 0;
        sqlite3 *reader = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &reader, SQLITE_OPEN_READONLY,
                        nullptr);
        (void)SqlRun::exec(
            reader,
            QStringLiteral("PRAGMA key = '%1'").arg(QLatin1String(UsageDatabase::password)));
        for (int station = 1; station <= stations; ++station) {
            SqlStatement rows(reader,
                              QStringLiteral("SELECT %1, client%2kette FROM client%2")
                                  .arg(RecordChain::hashedRecordFields(station))
                                  .arg(station));
            while (rows.next()) {
                for (int column = 0; column <= RecordChain::hashedRecordFieldCount; ++column)
                    bytes += rows.bytes(column).size();
            }
        }
        sqlite3_close(reader);
        std::printf("reading the fields alone: %lld bytes, %.0f ms (processor %.0f ms)\n",
                    static_cast<long long>(bytes), double(timer.nsecsElapsed()) / 1e6,
                    cpuMs() - cpu);
    }
    for (int run = 1; run <= 3; ++run)
        timed("whole check", database, ChainCheck::Whole);
    timed("check at start, nothing new", database, ChainCheck::SinceLastCheck);
    for (int day = 1; day <= 3; ++day) {
        if (!recordDay(database, day))
            return 1;
        timed("check at start over a day's 800 new records", database, ChainCheck::SinceLastCheck);
    }
    return 0;
}
