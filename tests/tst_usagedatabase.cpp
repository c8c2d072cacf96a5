#include "RawDatabase.h"
#include "StoreFaults.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"
#include "UsageLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {
const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};
}

// The database as a whole: making and extending files, the open periods and the
// ledger with its side file.
class UsageDatabaseTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeDatabase()); }
    void cleanup() { dropDatabase(); }

    void pathIsProgramDirectoryAndName()
    {
        QCOMPARE(UsageDatabase::pathFor(QStringLiteral("/opt/kavo"), QStringLiteral("zeiten")),
                 QStringLiteral("/opt/kavo/zeiten.mde"));
        QCOMPARE(UsageDatabase::pathFor(QStringLiteral("/opt/kavo"), QString()),
                 QStringLiteral("/opt/kavo/.mde"));
    }

    void openPeriodsAreRecordedOnce()
    {
        QVERIFY(!m_database->open(m_path));
        const UsageRecord usage = recordWithFee(QStringLiteral("1,05 €"));
        const StoppedPeriod first = stoppedPeriod(1, usage, 630, 5);
        const StoppedPeriod second = stoppedPeriod(2, usage, 630, 5);
        QVERIFY(!m_database->periods().saveOpenPeriod(first.period));
        QVERIFY(!m_database->periods().saveOpenPeriod(second.period));
        QCOMPARE(m_database->periods().openPeriods().size(), 2);
        QCOMPARE(m_database->periods().openPeriods().first().begin, first.period.begin);

        // Recorded: the open period ends in the same step.
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(first)));
        QCOMPARE(m_database->periods().openPeriods().size(), 1);
        QVERIFY(m_database->periods().recordedPeriods().isEmpty());
        // Recorded with a mark: a second copy of it is not recorded again.
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(second, true)));
        QCOMPARE(m_database->periods().recordedPeriods(), QStringList({second.period.id}));
        QVERIFY(m_database->recorder().recordPeriod(second, true)->earlier);
        QVERIFY(m_database->periods().openPeriods().isEmpty());
        QVERIFY(!m_database->periods().forgetRecorded(second.period.id));
        QVERIFY(m_database->periods().recordedPeriods().isEmpty());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 1);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client2"), 1);
    }

    // What the side file holds is written once, even when a run wrote it and ended
    // before it could empty the side file.
    void sideFileKeepsPeriodsAcrossRuns()
    {
        StoreFaults faults;
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        QCOMPARE(QFileInfo(sideFile).fileName(), QStringLiteral("kavo.nachtrag"));
        StoppedPeriod stopped;
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QSignalSpy problems(&ledger, &UsageLedger::problem);
            faults.set(StoreFaults::Fault::DiskFull);
            // Started and stopped while the database takes nothing.
            const OpenPeriod period
                = ledger.begin(2, QDateTime(QDate(2004, 5, 12), QTime(14, 0)), 10);
            QVERIFY(QFile::exists(sideFile));
            stopped
                = {period, recordWithFee(QStringLiteral("1,05 €")), 630, 5, {}, {}, std::nullopt};
            ledger.finish(stopped);
            QCOMPARE(problems.size(), 1);
            QCOMPARE(ledger.pendingCount(), 1);
            faults.set(StoreFaults::Fault::None);
        }
        // The run that wrote the record ended before it could empty the side file.
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(stopped, true)));
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QCOMPARE(ledger.pendingCount(), 0);
            QVERIFY(!ledger.openPeriod(2));
        }
        QVERIFY(!QFile::exists(sideFile));
        QVERIFY(m_database->periods().recordedPeriods().isEmpty());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client2"), 1);

        // A start only the side file took is shown again by the next run and billed once.
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            faults.set(StoreFaults::Fault::DiskFull);
            ledger.begin(1, QDateTime(QDate(2004, 5, 12), QTime(15, 0)), 0);
            faults.set(StoreFaults::Fault::None);
        }
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            const std::optional<OpenPeriod> left = ledger.openPeriod(1);
            QVERIFY(left.has_value());
            QCOMPARE(left->startText, QStringLiteral("15:00:00"));
            ledger.finish(
                {*left, recordWithFee(QStringLiteral("0,50 €")), 300, 5, {}, {}, std::nullopt});
            QCOMPARE(ledger.pendingCount(), 0);
        }
        QVERIFY(!QFile::exists(sideFile));
        UsageLedger afterwards(*m_database, sideFile, demoTariffs);
        QVERIFY(!afterwards.recover());
        QVERIFY(!afterwards.openPeriod(1));
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 1);

        // A side file that can't be read is kept as it is under a name of its own, and told.
        QFile garbled(sideFile);
        QVERIFY(garbled.open(QIODevice::WriteOnly));
        garbled.write("{\"perioden\": [");
        garbled.close();
        UsageLedger unreadable(*m_database, sideFile, demoTariffs);
        QSignalSpy told(&unreadable, &UsageLedger::problem);
        QVERIFY(!unreadable.recover());
        QCOMPARE(contents(sideFile + QStringLiteral(".unlesbar")), QByteArray("{\"perioden\": ["));
        QVERIFY(!QFile::exists(sideFile));
        QCOMPARE(told.size(), 1);
        QVERIFY(told[0][0].toString().contains(QStringLiteral("kavo.nachtrag.unlesbar")));
    }

    // Entries that can't be billed as they stand never block the good ones, are never
    // dropped, and are named; a start whose record was written is settled with its marker.
    void unreadableEntriesAreKeptAsideAndTheRestWritten()
    {
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        const StoppedPeriod written
            = stoppedPeriod(2, recordWithFee(QStringLiteral("1,05 €")), 630, 5);
        QVERIFY(!m_database->periods().saveOpenPeriod(written.period));
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(written, true)));
        const auto entry = [](int station, const QString &fee, const QString &seconds,
                              const QString &end = QStringLiteral("14:10:30"),
                              const QString &more = QString()) {
            return QStringLiteral(
                       "{\"periode\": \"%1\", \"station\": %2, \"beginn\": "
                       "\"2004-05-12T14:00:00.000+02:00\","
                       " \"startzeit\": \"14:00:00\", \"intervall\": 0, \"start\": \"14:00:00\","
                       " \"ende\": \"%5\", \"dauer\": \"%6\", \"kosten\": \"%3\","
                       " \"sekunden\": %4, \"monat\": 5%7}")
                .arg(QUuid::createUuid().toString(), QString::number(station), fee, seconds, end,
                     QStringLiteral("00:") + end.mid(3), more);
        };
        const QStringList entries = {
            entry(1, QStringLiteral("1,70 EUR"), "630"), entry(33, QStringLiteral("5,00 €"), "630"),
            entry(1, QStringLiteral("-999,50 €"), "630"), entry(1, QStringLiteral("1,05 €"), "-5"),
            // A second billed as much as 9.999,99 €, and a length of 9e18 seconds.
            entry(1, QStringLiteral("9.999,99 €"), "1", QStringLiteral("14:00:01")),
            entry(1, QStringLiteral("1,05 €"), "9e18"), entry(1, QStringLiteral("1,05 €"), "630"),
            // Written under other tariffs than those in force now.
            entry(1, QStringLiteral("2,10 €"), "630", QStringLiteral("14:10:30"),
                  QStringLiteral(", \"tarife\": [\"3,00\", \"2,00\", \"1,00\"]")),
            QStringLiteral("{\"periode\": \"%1\", \"station\": 2, \"beginn\": \"%2\","
                           " \"startzeit\": \"14:00:00\", \"intervall\": 0}")
                .arg(written.period.id, written.period.beginText())};
        QFile file(sideFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("{\"perioden\": [" + entries.join(QLatin1Char(',')) + "]}").toUtf8());
        file.close();
        QVERIFY(RawDatabase(m_path).exec(
            "INSERT INTO Perioden (Periode, Station, Beginn, Startzeit, Intervall, Abgerechnet)"
            " VALUES ('x', 9, 'gestern', '14:00:00', 0, 0)"));

        UsageLedger ledger(*m_database, sideFile, demoTariffs);
        QSignalSpy told(&ledger, &UsageLedger::problem);
        QVERIFY(!ledger.recover());
        QCOMPARE(ledger.pendingCount(), 0);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM client1"), 2);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client1stat"), 315'00);
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM Perioden"), 0);
        QVERIFY(!QFile::exists(sideFile));
        const QString aside = QFileInfo(m_path).dir().filePath(QStringLiteral("kavo.abgelegt"));
        const QJsonArray kept
            = QJsonDocument::fromJson(contents(aside)).object().value("perioden").toArray();
        QCOMPARE(kept.size(), 7);
        QCOMPARE(kept[4].toObject().value("grund").toString(),
                 QStringLiteral("Betrag passt nicht zu Dauer und Tarif"));
        QCOMPARE(kept[5].toObject().value("grund").toString(),
                 QStringLiteral("Dauer länger als 7 Tage"));
        QCOMPARE(told.size(), 1);
        const QString text = told[0][0].toString();
        QVERIFY2(text.contains(QStringLiteral("kavo.abgelegt"))
                     && text.contains(QStringLiteral("1,70 EUR"))
                     && text.contains(QStringLiteral("Station 9, Beginn gestern")),
                 qPrintable(text));
    }

    // A start neither the database nor the side file took is saved once the
    // database takes it again; of two periods left open on a station only the later
    // goes on, and the earlier is settled for good.
    void heldStartsAreSavedAndOnlyTheLatestPeriodGoesOn()
    {
        StoreFaults faults;
        QVERIFY(!m_database->open(m_path));
        const QString sideFile = UsageLedger::sideFilePathFor(m_path);
        {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            ledger.setRetryInterval(10);
            faults.set(StoreFaults::Fault::DiskFull);
            QVERIFY(QDir().mkdir(sideFile));
            QSignalSpy told(&ledger, &UsageLedger::problem);
            ledger.begin(1, QDateTime(QDate(2004, 5, 12), QTime(13, 0)), 0);
            QCOMPARE(told.size(), 1);
            faults.set(StoreFaults::Fault::None);
            QVERIFY(QDir().rmdir(sideFile));
            QTRY_COMPARE(m_database->periods().openPeriods().size(), 1);
        }
        QVERIFY(!m_database->periods().saveOpenPeriod({QStringLiteral("later"), 1,
                                                       QDateTime(QDate(2004, 5, 12), QTime(14, 0)),
                                                       QStringLiteral("14:00:00"), 0}));
        for (int run = 0; run < 2; ++run) {
            UsageLedger ledger(*m_database, sideFile, demoTariffs);
            QVERIFY(!ledger.recover());
            QCOMPARE(ledger.openPeriod(1).value_or(OpenPeriod()).id, QStringLiteral("later"));
            QCOMPARE(m_database->periods().openPeriods().size(), 1);
        }
        QVERIFY(QFile::exists(QFileInfo(m_path).dir().filePath(QStringLiteral("kavo.abgelegt"))));
    }

    void existingFilesAreNeverOverwritten()
    {
        const QByteArray before = contents(m_path);
        const Failure failure = UsageDatabase::create(m_path);
        QVERIFY(failure);
        QVERIFY(!failure.text().isEmpty());
        QCOMPARE(contents(m_path), before);

        const QString tool = QStringLiteral(KAVO_TOOLS_DIR "/create_usage_db");
        QProcess process;
        process.start(tool, {m_dir->path(), QStringLiteral("neu")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        const QString made = UsageDatabase::pathFor(m_dir->path(), QStringLiteral("neu"));
        QVERIFY(!UsageDatabase().open(made));

        const QByteArray fresh = contents(made);
        process.start(tool, {m_dir->path(), QStringLiteral("neu")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardError().isEmpty());
        QCOMPARE(contents(made), fresh);
    }

    // A database for more stations than two: made at once, or by adding to an
    // existing one the stations it lacks, and refused by a console that serves more.
    void databaseForMoreStations()
    {
        const QString four = m_dir->filePath(QStringLiteral("vier.mde"));
        QVERIFY(!UsageDatabase::create(four, 4));
        const QByteArray tables = "SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                  " AND name GLOB 'client[0-9]*'";
        QCOMPARE(RawDatabase(four).value(tables), 8);
        QCOMPARE(RawDatabase(four).value("SELECT Entgeld FROM client4stat"), 0);

        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,05 €")));
        QVERIFY(recordOn(2, QDate(2004, 6, 3), QStringLiteral("2,10 €")));
        const std::optional<XlsSheetData> before = m_database->statistics().exportStation(1);
        QCOMPARE(m_database->open(m_path, 4).text(),
                 QStringLiteral("Der Datenbank %1 fehlen die Tabellen der Stationen 3 und 4. Sie"
                                " werden angelegt mit: create_usage_db %2 kavo 4")
                     .arg(m_path, m_dir->path()));
        QCOMPARE(UsageDatabase::stationsText({3, 5, 6, 7, 9, 10}),
                 QStringLiteral("Stationen 3, 5 bis 7, 9 und 10"));
        QCOMPARE(UsageDatabase::stationsText({12}), QStringLiteral("Station 12"));

        const QString tool = QStringLiteral(KAVO_TOOLS_DIR "/create_usage_db");
        QProcess process;
        for (const char *wrong : {"0", "33", "drei"}) {
            process.start(tool,
                          {m_dir->path(), QStringLiteral("kavo"), QString::fromLatin1(wrong)});
            QVERIFY(process.waitForFinished());
            QCOMPARE(process.exitCode(), 2);
            QVERIFY(process.readAllStandardError().startsWith("Aufruf: create_usage_db"));
        }
        process.start(tool, {m_dir->path(), QStringLiteral("kavo"), QStringLiteral("4")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(process.readAllStandardOutput().contains("Tabellen der Stationen 3 und 4"),
                 "the tool names what it added");
        QCOMPARE(RawDatabase(m_path).value(tables), 8);

        QVERIFY(!m_database->open(m_path, 4));
        QCOMPARE(m_database->statistics().exportStation(1)->rows, before->rows);
        QCOMPARE(m_database->recorder().readTotalFees(1), 105'00);
        QCOMPARE(m_database->recorder().readTotalFees(2), 210'00);
        QVERIFY(recordOn(3, QDate(2004, 7, 3), QStringLiteral("3,15 €")));
        QCOMPARE(RawDatabase(m_path).value("SELECT client3kosten FROM client3"), 315'00);
        QCOMPARE(RawDatabase(m_path).value("SELECT Entgeld FROM client3stat"), 315'00);
        QCOMPARE(m_database->statistics().listMonths(3),
                 QStringList{QStringLiteral("7 (ohne Jahr)")});
        QCOMPARE(m_database->statistics().sumAllFees(3), 315'00);
        QCOMPARE(m_database->statistics().sumMonthFees(3, QStringLiteral("7 (ohne Jahr)")), 315'00);
        QCOMPARE(m_database->statistics().listMonths(4), QStringList());

        process.start(tool, {m_dir->path(), QStringLiteral("kavo"), QStringLiteral("4")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(UsageDatabaseTest)
#include "tst_usagedatabase.moc"
