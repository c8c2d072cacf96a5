// Kills a real console at random moments while it runs periods on both stations
// and another process takes and releases the database's write lock, then checks
// the file: every started period is one record, the totals are the sums of the
// records, and every fee is what the tariffs give for its duration.
// Usage: soak_console_kills [kills]   (default 200)

#include "Billing.h"
#include "Clock.h"
#include "ConsoleConfig.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "ManualClock.h"
#include "MessageDialog.h"
#include "ScopedClock.h"
#include "SingleInstance.h"
#include "StationSession.h"
#include "TextFormats.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

namespace {
const Tariffs tariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

sqlite3 *openRaw(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA key = 'qrtdb52'", nullptr, nullptr, nullptr);
    return db;
}

// The console: starts and stops periods on both stations under a clock that moves
// minutes per period, printing each start, until killed. With `finish` it only
// recovers, stops whatever runs and ends.
int runConsole(const QString &programDir, const QString &settingsDir, int day, bool finish)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir);
    MessageDialog::setHandler([](const MessageDialog::Request &request) {
        std::fprintf(stderr, "message: %s\n",
                     qPrintable(QString(request.text).replace(QLatin1Char('\n'), ' ')));
        return QMessageBox::Yes;
    });
    // Each run starts on a day and at a second of its own, so that records carry
    // texts of their own and a record written twice shows.
    ManualClock clock(QDateTime(QDate(2026, 5, 4).addDays(day), QTime(9, 0).addSecs(day * 61)));
    ScopedClock guard(clock);
    MainWindow window(programDir);
    window.setStationPorts({0, 0});
    SingleInstance instance(QStringLiteral("kavo-soak-%1").arg(QCoreApplication::applicationPid()));
    const Result<ConsoleApp::Started> started = window.start(instance);
    if (!ConsoleApp::runs(started)) {
        std::fprintf(stderr, "refused: %s\n", qPrintable(started.failure().text()));
        return 1;
    }
    for (int station : {1, 2})
        window.panel(station).withoutStation->click();
    if (finish) {
        for (int station : {1, 2}) {
            if (window.session(station).periodRunning())
                window.panel(station).stop->click();
        }
        return int(window.ledger().pendingCount());
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, [&] {
        const int station = QRandomGenerator::global()->bounded(1, 3);
        StationPanel &panel = window.panel(station);
        if (window.session(station).periodRunning()) {
            panel.stop->click();
            return;
        }
        panel.start->click();
        std::printf("started\n");
        std::fflush(stdout);
        clock.advanceMs(QRandomGenerator::global()->bounded(1, 3000) * 1000);
    });
    loop.start(QRandomGenerator::global()->bounded(0, 3));
    return QApplication::exec();
}

// Another program on the file: holds the write lock for up to 2.5 s at a time.
int runLocker(const QString &databasePath)
{
    sqlite3 *db = openRaw(databasePath);
    for (;;) {
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
            QThread::msleep(QRandomGenerator::global()->bounded(10, 2500));
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        QThread::msleep(QRandomGenerator::global()->bounded(10, 1500));
    }
}

qint64 secondsOf(const QString &duration)
{
    const QStringList parts = duration.split(QLatin1Char(':'));
    return parts.size() == 3
        ? parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60 + parts[2].toLongLong()
        : -1;
}

QList<QStringList> rows(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    QList<QStringList> result;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            row.append(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(statement, column))));
        result.append(row);
    }
    sqlite3_finalize(statement);
    return result;
}

// Checks the file; prints what is wrong and returns the number of faults.
int check(const QString &databasePath, qint64 started, int kills, qint64 *records)
{
    sqlite3 *db = openRaw(databasePath);
    int faults = 0;
    *records = 0;
    for (int station : {1, 2}) {
        const QList<QStringList> stored
            = rows(db,
                   QStringLiteral("SELECT client%1start, client%1ende, client%1dauer,"
                                  " client%1kosten FROM client%1")
                       .arg(station));
        qint64 fees = 0;
        qint64 minutes = 0;
        QSet<QString> seen;
        for (const QStringList &row : stored) {
            const qint64 seconds = secondsOf(row[2]);
            const qint64 expected
                = *TextFormats::parseMoney(Billing::bill(seconds, tariffs).feeText);
            if (row[3].toLongLong() != expected) {
                std::printf("station %d: fee %s for %s, tariff says %lld\n", station,
                            qPrintable(row[3]), qPrintable(row[2]), expected);
                ++faults;
            }
            if (seen.contains(row.join(QLatin1Char('|')))) {
                std::printf("station %d: record %s twice\n", station,
                            qPrintable(row.join(QLatin1Char('|'))));
                ++faults;
            }
            seen.insert(row.join(QLatin1Char('|')));
            fees += row[3].toLongLong();
            minutes += Billing::wholeMinutes(seconds);
        }
        const QList<QStringList> totals = rows(
            db, QStringLiteral("SELECT Nutzungszeit, Entgeld FROM client%1stat").arg(station));
        if (totals.size() != 1 || totals[0][0].toLongLong() != minutes
            || totals[0][1].toLongLong() != fees) {
            std::printf("station %d: totals do not match the records\n", station);
            ++faults;
        }
        *records += stored.size();
    }
    const qint64 open
        = rows(db, QStringLiteral("SELECT count(*) FROM Perioden")).value(0).value(0).toLongLong();
    sqlite3_close(db);
    if (open != 0) {
        std::printf("%lld periods left in Perioden\n", open);
        ++faults;
    }
    // A start made durable but killed before it was printed adds at most one per station and kill.
    if (*records < started || *records > started + 2 * kills) {
        std::printf("%lld records for %lld printed starts\n", *records, started);
        ++faults;
    }
    return faults;
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--console")
        || arguments.value(1) == QLatin1String("--finish"))
        return runConsole(arguments.value(2), arguments.value(3), arguments.value(4).toInt(),
                          arguments.value(1) == QLatin1String("--finish"));
    if (arguments.value(1) == QLatin1String("--locker"))
        return runLocker(arguments.value(2));

    const int kills = arguments.size() > 1 ? arguments[1].toInt() : 200;
    QTemporaryDir programDir;
    QTemporaryDir settingsDir;
    const QString iniPath = ConsoleConfig::iniPath(programDir.path());
    using namespace ConsoleKeys;
    const QString databasePath = UsageDatabase::pathFor(programDir.path(), QStringLiteral("kavo"));
    if (const Failure failure = Failure::ofFirst({
            [&] { return IniFile::write(iniPath, feeSection, tariffBase, tariffs.base); },
            [&] { return IniFile::write(iniPath, feeSection, tariffOver30, tariffs.over30); },
            [&] { return IniFile::write(iniPath, feeSection, tariffOver60, tariffs.over60); },
            [&] { return IniFile::write(iniPath, dbSection, dbName, QStringLiteral("kavo")); },
            [&] { return UsageDatabase::create(databasePath); },
        })) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 2;
    }

    QProcess locker;
    locker.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--locker"), databasePath});
    locker.waitForStarted();
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 started = 0;
    int refusedStarts = 0;
    int messages = 0;
    for (int round = 0; round < kills;) {
        QProcess console;
        console.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--console"), programDir.path(), settingsDir.path(),
                       QString::number(round)});
        console.waitForStarted();
        const bool ready = console.waitForReadyRead(15000) && console.canReadLine();
        if (ready) {
            QThread::msleep(QRandomGenerator::global()->bounded(1, 400));
            console.kill();
            ++round;
        }
        console.waitForFinished();
        const QString output = QString::fromUtf8(console.readAllStandardOutput());
        const QString said = QString::fromUtf8(console.readAllStandardError());
        started += output.count(QStringLiteral("started"));
        messages += said.count(QStringLiteral("message: "));
        refusedStarts += said.contains(QStringLiteral("refused: ")) ? 1 : 0;
    }
    locker.kill();
    locker.waitForFinished();
    QProcess final;
    final.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--finish"), programDir.path(), settingsDir.path(),
                 QString::number(kills)});
    final.waitForFinished(60000);
    qint64 records = 0;
    const int faults = check(databasePath, started, kills, &records);
    const bool sideFileLeft
        = QFile::exists(QDir(programDir.path()).filePath(QStringLiteral("kavo.nachtrag")));
    std::printf("%d kills in %.0f s, %d starts refused while locked, %d messages shown, %lld "
                "periods started "
                "(printed), %lld records, side file left: %s, final run pending %d, faults %d\n",
                kills, elapsed.elapsed() / 1000.0, refusedStarts, messages, started, records,
                sideFileLeft ? "yes" : "no", final.exitCode(), faults);
    return faults == 0 && !sideFileLeft && final.exitCode() == 0 ? 0 : 1;
}
