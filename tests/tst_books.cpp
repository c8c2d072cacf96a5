#include "CafeOverview.h"
#include "RawDatabase.h"
#include "StationSessionRig.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"
#include "UsageRecordFill.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

namespace {
QString systemUser()
{
    const passwd *user = getpwuid(geteuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QString();
}

// The dated columns of an exported record: start, stop, operator, number.
QVariantList dating(const QVariantList &row)
{
    return row.mid(5, 4);
}
}

// The café's books: every record dated, months that know their year, files made
// before records were dated taken on unchanged. The test runs in Europe/Berlin.
class BooksTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    // The takings of `days` days from `first` on, per day and station.
    QList<QList<qint64>> daysFrom(const QDate &first, int days)
    {
        const Result<DailyTakings> takings
            = m_database->takings().takings(first, first.addDays(days - 1));
        return takings.hasValue() ? takings->perDay : QList<QList<qint64>>();
    }
    bool recordDated(int station, const QDateTime &stop, const QString &fee)
    {
        return writtenNow(m_database->recorder().recordPeriod(datedPeriod(station, stop, fee)));
    }

private slots:
    void init() { QVERIFY(makeDatabase()); }
    void cleanup() { dropDatabase(); }

    // A period's start and stop carry the date and the offset each had on the wall
    // clock, so that a daylight-saving change, a new year or a stepped clock dates
    // it as the café saw it.
    void recordsAreDatedAcrossClockChanges_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<qint64>("stepMs");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("until");
        QTest::addColumn<qint64>("month");
        const auto local = [](int y, int m, int d, int h, int n) {
            return QDateTime(QDate(y, m, d), QTime(h, n));
        };
        QTest::newRow("summer time begins")
            << local(2026, 3, 29, 1, 50) << qint64(0) << "2026-03-29T01:50:00+01:00"
            << "2026-03-29T03:10:00+02:00" << qint64(3);
        QTest::newRow("summer time ends")
            << local(2026, 10, 25, 1, 50) << qint64(0) << "2026-10-25T01:50:00+02:00"
            << "2026-10-25T02:10:00+02:00" << qint64(10);
        QTest::newRow("new year") << local(2026, 12, 31, 23, 50) << qint64(0)
                                  << "2026-12-31T23:50:00+01:00"
                                  << "2027-01-01T00:10:00+01:00" << qint64(1);
        QTest::newRow("clock stepped")
            << local(2026, 4, 2, 14, 0) << qint64(3'600'000) << "2026-04-02T14:00:00+02:00"
            << "2026-04-02T15:20:00+02:00" << qint64(4);
    }
    void recordsAreDatedAcrossClockChanges()
    {
        QFETCH(QDateTime, start);
        QFETCH(qint64, stepMs);
        StationSessionRig rig(start);
        QCOMPARE(rig.error(), QString());
        for (int period = 0; period < 2; ++period) {
            rig.session().start(0);
            rig.clock().advanceMs(600'000);
            rig.clock().setNow(rig.clock().now().addMSecs(stepMs));
            rig.clock().advanceMs(600'000);
            rig.session().stop();
            rig.clock().setNow(start); // the second period as the first
        }
        const QList<QVariantList> rows = rig.records();
        QCOMPARE(rows.size(), 2);
        QTEST(rows[0][4].toLongLong(), "month");
        QTEST(rows[0][5].toString(), "from");
        QTEST(rows[0][6].toString(), "until");
        QCOMPARE(dating(rows[0]).mid(2), QVariantList({systemUser(), qint64(1)}));
        QCOMPARE(dating(rows[1]), QVariantList({rows[0][5], rows[0][6], systemUser(), qint64(2)}));
    }

    // Undated records and dated ones side by side: the undated are listed by their
    // month number "ohne Jahr", the dated by month and year, and March of one year
    // is not March of another.
    void monthsKnowTheirYear()
    {
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 3, 5), QStringLiteral("0,50 €")));
        QVERIFY(recordOn(1, QDate(2004, 11, 5), QStringLiteral("0,70 €")));
        QVERIFY(
            recordDated(1, QDateTime(QDate(2026, 3, 31), QTime(23, 55)), QStringLiteral("2,00 €")));
        QVERIFY(
            recordDated(1, QDateTime(QDate(2025, 3, 1), QTime(0, 5)), QStringLiteral("1,00 €")));
        QVERIFY(
            recordDated(1, QDateTime(QDate(2026, 4, 1), QTime(0, 5)), QStringLiteral("4,00 €")));
        QVERIFY(recordDated(1, QDateTime(QDate(2025, 12, 31), QTime(23, 59)),
                            QStringLiteral("8,00 €")));
        UsageStatistics &statistics = m_database->statistics();
        QCOMPARE(statistics.listMonths(1),
                 QStringList({"3 (ohne Jahr)", "11 (ohne Jahr)", "03.2025", "12.2025", "03.2026",
                              "04.2026"}));
        QCOMPARE(statistics.sumMonthFees(1, QStringLiteral("03.2026")), 20000);
        QCOMPARE(statistics.sumMonthFees(1, QStringLiteral("03.2025")), 10000);
        QCOMPARE(statistics.sumMonthMinutes(1, QStringLiteral("03.2025")), 10);
        QCOMPARE(statistics.sumMonthFees(1, QStringLiteral("3 (ohne Jahr)")), 5000);
        QCOMPARE(statistics.sumMonthMinutes(1, QStringLiteral("11 (ohne Jahr)")), 10);
        for (const char *text : {"3", "03.26", "3.2026", "13 (ohne Jahr)", "05.2026"})
            QVERIFY2(!statistics.sumMonthFees(1, QString::fromLatin1(text)), text);
        QCOMPARE(statistics.sumAllFees(1), 5000 + 7000 + 20000 + 10000 + 40000 + 80000);
        QVERIFY(statistics.listMonths(2).isEmpty());
    }

    // Today's takings over every station and the periods running, in one line that
    // follows starts, stops and the change of the day.
    void overviewCountsTodayAndTheRunningPeriods()
    {
        StationSessionRig rig(QDateTime(QDate(2026, 3, 28), QTime(23, 40)));
        QCOMPARE(rig.error(), QString());
        CafeOverview overview(rig.database().statistics(), 1);
        overview.watch(rig.session());
        QSignalSpy changed(&overview, &CafeOverview::textChanged);
        overview.refresh();
        QCOMPARE(overview.text(), QStringLiteral("Heute 0,00 € eingenommen, keine Nutzung läuft"));
        rig.session().start(0);
        QTRY_COMPARE(overview.text(), QStringLiteral("Heute 0,00 € eingenommen, 1 Nutzung läuft"));
        rig.clock().advanceMs(600'000);
        rig.session().stop();
        QTRY_COMPARE(overview.text(),
                     QStringLiteral("Heute 1,00 € eingenommen, keine Nutzung läuft"));
        QCOMPARE(changed.size(), 3);
        rig.clock().advanceMs(900'000);
        overview.refresh();
        QCOMPARE(overview.text(), QStringLiteral("Heute 0,00 € eingenommen, keine Nutzung läuft"));
        QCOMPARE(CafeOverview::lineFor(1234500, 3),
                 QStringLiteral("Heute 123,45 € eingenommen, 3 Nutzungen laufen"));
    }

    // A file made before records were dated gets the new columns at its first open,
    // every value as it was; a console of the older kind, which names its columns,
    // still writes to it, undated.
    void undatedFileIsTakenOnUnchanged()
    {
        const QString old = m_dir->filePath(QStringLiteral("alt.mde"));
        QVERIFY(makeUndatedUsageFile(old, 2));
        RawDatabase raw(old);
        QVERIFY(
            raw.exec("INSERT INTO client1 VALUES ('14:00:00', '14:10:30', '00:10:30', 10500, 5);"
                     "UPDATE client1stat SET Nutzungszeit = 10, Entgeld = 10500;"));
        QVERIFY(!m_database->open(old));
        QCOMPARE(
            m_database->statistics().exportStation(1)->rows,
            QList<QVariantList>({{"14:00:00", "14:10:30", "00:10:30", 1.05, qint64(5), QVariant(),
                                  QVariant(), QVariant(), QVariant(), QVariant(), QVariant()}}));
        QCOMPARE(m_database->recorder().readTotalFees(1), 10500);
        QVERIFY(
            recordDated(2, QDateTime(QDate(2026, 3, 2), QTime(9, 0)), QStringLiteral("1,00 €")));
        QVERIFY(raw.exec("INSERT INTO client2 (client2start, client2ende, client2dauer,"
                         " client2kosten, client2datum) VALUES ('9:00:00', '9:10:00', '00:10:00',"
                         " 10000, 3)"));
        QCOMPARE(m_database->statistics().listMonths(2), QStringList({"3 (ohne Jahr)", "03.2026"}));
        QCOMPARE(m_database->statistics().listMonths(1), QStringList({"5 (ohne Jahr)"}));
        QCOMPARE(raw.value("SELECT client2nummer FROM client2 WHERE client2von IS NOT NULL"), 1);
        QCOMPARE(raw.value("SELECT count(*) FROM client2"), 2);
    }

    // The sums of every day and station follow each write to the records, also one
    // in plain SQL as the database shell or a console of an earlier kind makes it,
    // which they never refuse; a fee plain SQL can't read leaves its day to the
    // records, an undated record and a stop no day finds stay out, a void counts.
    void daySumsFollowEveryWrite()
    {
        QVERIFY(!m_database->open(m_path));
        const QDate day(2026, 3, 2);
        QVERIFY(recordDated(1, QDateTime(day, QTime(9, 0)), QStringLiteral("1,00 €")));
        RawDatabase raw(m_path);
        QVERIFY(raw.exec("INSERT INTO client1 (client1kosten, client1bis) VALUES"
                         " (5000, '2026-03-02T10:00:00+01:00'), ('2,5', '2026-03-03T10:00:00'),"
                         " (700, '2026-03-02~'), (x'00', 20260302), (900, NULL)"));
        QCOMPARE(daysFrom(day, 3), QList<QList<qint64>>({{15000, 0}, {25000, 0}, {0, 0}}));
        QCOMPARE(raw.value("SELECT Summe FROM Tagessummen WHERE Tag = '2026-03-02'"), 15000);
        QVERIFY(raw.exec("UPDATE client1 SET client1kosten = 7000 WHERE client1kosten = 5000;"
                         "UPDATE client1 SET client1bis = '2026-03-04T00:00:00+01:00'"
                         " WHERE client1kosten = 7000;"
                         "DELETE FROM client1 WHERE client1kosten = '2,5'"));
        QCOMPARE(daysFrom(day, 3), QList<QList<qint64>>({{10000, 0}, {0, 0}, {7000, 0}}));
        QCOMPARE(raw.value("SELECT Unsicher FROM Tagessummen WHERE Tag = '2026-03-03'"), 0);

        QVERIFY(!m_database->setOwnerPin(QStringLiteral("4711")));
        QVERIFY(recordDated(2, QDateTime(day, QTime(11, 0)), QStringLiteral("2,00 €")));
        const qint64 number = raw.value("SELECT max(client2nummer) FROM client2").toLongLong();
        ManualClock nextMorning(QDateTime(day.addDays(1), QTime(8, 0)));
        const ScopedClock voidedThen(nextMorning);
        QVERIFY(!m_database->recorder().voidRecord(2, number, QStringLiteral("Fehlbuchung")));
        QCOMPARE(daysFrom(day, 2), QList<QList<qint64>>({{10000, 20000}, {0, -20000}}));
    }

    // A file of the former kind, without the day sums, gets them at its first open,
    // counted from its records with every form of fee, and the triggers that keep
    // them from then on; so does one whose table was dropped by hand.
    void formerFileGetsItsDaySums()
    {
        QVERIFY(!m_database->open(m_path));
        const QDate day(2026, 3, 2);
        QVERIFY(recordDated(1, QDateTime(day, QTime(9, 0)), QStringLiteral("1,00 €")));
        QVERIFY(recordDated(2, QDateTime(day.addDays(1), QTime(9, 0)), QStringLiteral("2,00 €")));
        RawDatabase raw(m_path);
        // The table dropped and station 1's triggers with it; station 2 keeps its own.
        QVERIFY(raw.exec("DROP TABLE Tagessummen; DROP TRIGGER client1summe_neu;"
                         " DROP TRIGGER client1summe_weg; DROP TRIGGER client1summe_um;"
                         "INSERT INTO client1 (client1kosten, client1bis) VALUES"
                         " ('1,50', '2026-03-02T10:00:00'), (1.25, '2026-03-04T10:00:00'),"
                         " (3000, '2026-03-04T11:00:00'), (900, NULL)"));
        QVERIFY(!m_database->open(m_path));
        QCOMPARE(daysFrom(day, 3), QList<QList<qint64>>({{25000, 0}, {0, 20000}, {15500, 0}}));
        QCOMPARE(raw.value("SELECT count(*) FROM Tagessummen WHERE Unsicher > 0"), 2);
        QVERIFY(raw.exec("INSERT INTO client2 (client2kosten, client2bis) VALUES"
                         " (500, '2026-03-03T12:00:00')"));
        QCOMPARE(raw.value("SELECT Summe FROM Tagessummen WHERE Station = 2"), 20500);
    }

    // The migration of a big file is one transaction: a console killed at any moment
    // of it leaves the file as it was, and the next start completes it.
    void migrationSurvivesAKillAtAnyMoment()
    {
        const QString old = m_dir->filePath(QStringLiteral("gross.mde"));
        constexpr int records = 100'000;
        QVERIFY(makeUndatedUsageFile(old, 2));
        QVERIFY(fillUsageRecords(old, 2, records));
        const QByteArray sums
            = "SELECT sum(client1kosten) + (SELECT sum(client2kosten) FROM client2)"
              " FROM client1";
        const QVariant before = RawDatabase(old).value(sums);
        const QString helper = QStringLiteral(KAVO_TEST_HELPERS_DIR "/opening_database");

        // The kills fall anywhere within the time a whole open of the file takes.
        const QString copy = m_dir->filePath(QStringLiteral("kopie.mde"));
        QVERIFY(QFile::copy(old, copy));
        QElapsedTimer whole;
        whole.start();
        QCOMPARE(QProcess::execute(helper, {copy}), 0);
        const int wholeMs = int(whole.elapsed());
        qInfo("a whole open with the migration of %d records took %d ms", 2 * records, wholeMs);
        for (int kill = 0; kill < 8; ++kill) {
            QProcess opening;
            opening.start(helper, {old});
            QVERIFY(opening.waitForStarted());
            QTest::qWait(int(QRandomGenerator::global()->bounded(std::min(wholeMs, 1000))));
            opening.kill();
            opening.waitForFinished();
            RawDatabase raw(old);
            QCOMPARE(raw.value("SELECT count(*) FROM client1"), records);
            QCOMPARE(raw.value("SELECT count(*) FROM client2"), records);
            QCOMPARE(raw.value(sums), before);
            // The columns of both stations and the triggers of their day sums, or none.
            const int dated
                = raw.value(
                         "SELECT count(*) FROM sqlite_master WHERE name IN ('client1', 'client2')"
                         " AND sql LIKE '%nummer%'")
                      .toInt();
            QVERIFY(dated == 0 || dated == 2);
            QCOMPARE(raw.value("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"),
                     dated * 3);
        }
        QCOMPARE(QProcess::execute(helper, {old}), 0);
        RawDatabase raw(old);
        QCOMPARE(raw.value("SELECT count(*) FROM client2 WHERE client2bis IS NULL"), records);
        QCOMPARE(raw.value(sums), before);
        QCOMPARE(raw.value("SELECT count(*) FROM sqlite_master WHERE name = 'client2tag'"), 1);
    }
};

QTEST_GUILESS_MAIN(BooksTest)
#include "tst_books.moc"
