#include "ChainCheck.h"
#include "Closings.h"
#include "RawDatabase.h"
#include "RecordChain.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {
const QDate day(2004, 5, 12);
}

// The book's chain: records, counter-records and closings sealed in the order of
// their numbers, and every change made around the console found and named. The
// test runs in Europe/Berlin.
class RecordChainTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    void recordAt(int station, int minute, const QString &fee)
    {
        StoppedPeriod stopped = stoppedPeriod(station, recordWithFee(fee), 630, day.month());
        stopped.stopMoment = QDateTime(day, QTime(15, minute));
        stopped.startMoment = stopped.stopMoment.addSecs(-630);
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(stopped)));
    }
    // Four records over two stations, a void and a closing, then a check at start
    // that finds nothing and notes how far it got.
    void writeBook()
    {
        QVERIFY(recordOn(1, day, QStringLiteral("9,00 €"))); // before the book: not chained
        QVERIFY(!m_database->setOwnerPin(QStringLiteral("4711")));
        recordAt(1, 1, QStringLiteral("1,00 €"));
        recordAt(2, 2, QStringLiteral("2,00 €"));
        std::optional<Closing> shift
            = m_database->closings().shift(QDateTime(day, QTime(15, 3)), QStringLiteral("anna"));
        QVERIFY(!m_database->closings().save(*shift));
        recordAt(1, 4, QStringLiteral("3,00 €"));
        recordAt(2, 5, QStringLiteral("4,00 €"));
        QVERIFY(!m_database->recorder().voidRecord(2, 5, QStringLiteral("Fehlbuchung")));
        QCOMPARE(check(ChainCheck::Whole), QStringList());
    }
    QStringList check(ChainCheck::Scope scope, bool keep = false)
    {
        const std::unique_ptr<ChainCheck> check = m_database->chainCheck(scope);
        check->run();
        if (keep)
            (void)check->keep();
        return check->findings();
    }
    // Closes the file, changes it as a shell would, opens it again.
    void around(const QByteArray &sql)
    {
        m_database.reset();
        QVERIFY(RawDatabase(m_path).exec(sql));
        m_database = std::make_unique<UsageDatabase>();
        QVERIFY(!m_database->open(m_path));
    }

private slots:
    void init()
    {
        QVERIFY(makeOpenDatabase());
        writeBook();
    }
    void cleanup() { dropDatabase(); }

    // The check at start goes on from where the last one got to; the whole check
    // from the first entry. Each names what was done around the console.
    void changesAroundTheConsoleFound_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QStringList>("findings");
        const auto totals = [](const char *station, const char *stored, const char *records) {
            return QStringLiteral("Station %1: Die Summen (client%1stat) stimmen nicht mehr mit"
                                  " den Belegen überein: %2 statt %3.")
                .arg(QLatin1String(station), QString::fromUtf8(stored), QString::fromUtf8(records));
        };
        QTest::newRow("deleted")
            << QByteArray("DELETE FROM client1 WHERE client1nummer = 4")
            << QStringList{
                   QStringLiteral("Beleg Nr. 4 fehlt: er wurde außerhalb von Kavo gelöscht."),
                   totals("1", "30 Minuten und 13,00 €", "20 Minuten und 10,00 €")};
        QTest::newRow("last deleted")
            << QByteArray("DELETE FROM client2 WHERE client2nummer = 6")
            << QStringList{
                   QStringLiteral("Beleg Nr. 6 fehlt: er wurde außerhalb von Kavo gelöscht."),
                   totals("2", "10 Minuten und 2,00 €", "20 Minuten und 6,00 €")};
        QTest::newRow("fee changed")
            << QByteArray("UPDATE client2 SET client2kosten = 0 WHERE client2nummer = 3")
            << QStringList{
                   QStringLiteral("Station 2: Beleg Nr. 3 wurde außerhalb von Kavo geändert."),
                   totals("2", "10 Minuten und 2,00 €", "10 Minuten und 0,00 €")};
        QTest::newRow("pause written in")
            << QByteArray("UPDATE client2 SET client2pause = 600 WHERE client2nummer = 3")
            << QStringList{
                   QStringLiteral("Station 2: Beleg Nr. 3 wurde außerhalb von Kavo geändert.")};
        QTest::newRow("inserted")
            << QByteArray("INSERT INTO client1 (client1start, client1ende, client1dauer,"
                          " client1kosten) VALUES ('16:00:00', '16:30:00', '00:30:00', 50000)")
            << QStringList{QStringLiteral("Station 1: Ein Beleg (ohne Nummer, 16:00:00 bis"
                                          " 16:30:00, 5,00 €) wurde außerhalb von Kavo"
                                          " eingefügt."),
                           totals("1", "30 Minuten und 13,00 €", "60 Minuten und 18,00 €")};
        QTest::newRow("closing changed")
            << QByteArray("UPDATE Abschluesse SET Bediener = 'bert'")
            << QStringList{QStringLiteral("Abschluss Nr. 1 wurde außerhalb von Kavo geändert.")};
        QTest::newRow("totals zeroed")
            << QByteArray("UPDATE client2stat SET Entgeld = 0, Nutzungszeit = 0")
            << QStringList{totals("2", "0 Minuten und 0,00 €", "10 Minuten und 2,00 €")};
    }
    void changesAroundTheConsoleFound()
    {
        QFETCH(QByteArray, sql);
        QFETCH(QStringList, findings);
        QCOMPARE(check(ChainCheck::SinceLastCheck, true), QStringList());
        around(sql);
        QCOMPARE(check(ChainCheck::Whole), findings);
    }

    // A record's hash covers what the file holds, in a form fixed once for all files
    // kept so far: each field as a separator, its type's letter and its text.
    void hashCoversTheStoredFields()
    {
        m_database.reset();
        RawDatabase raw(m_path);
        QStringList fields;
        for (const QString &field : RecordChain::hashedRecordFields(1).split(QStringLiteral(", ")))
            fields.append(QStringLiteral("char(31) || upper(substr(typeof(%1), 1, 1))"
                                         " || ifnull(%1, '')")
                              .arg(field));
        const QByteArray where = " FROM client1 WHERE client1nummer = 2";
        const QByteArray stored = raw.text("SELECT client1kette" + where).toLatin1();
        const QByteArray bytes = "B1"
            + raw.text("SELECT " + fields.join(QStringLiteral(" || ")).toUtf8() + where).toUtf8();
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(), stored);
    }

    // The check at start reads only what came since the last; a record changed
    // before that point is found by the whole check, a new one by both.
    void checkAtStartGoesOnFromTheLast()
    {
        QCOMPARE(check(ChainCheck::SinceLastCheck, true), QStringList());
        around("UPDATE client1 SET client1kosten = 0 WHERE client1nummer = 2");
        recordAt(1, 20, QStringLiteral("1,00 €"));
        const std::unique_ptr<ChainCheck> sinceLast
            = m_database->chainCheck(ChainCheck::SinceLastCheck);
        sinceLast->run();
        QCOMPARE(sinceLast->checked(), 1);
        QVERIFY(sinceLast->findings().isEmpty());
        const QStringList expected{
            QStringLiteral("Station 1: Beleg Nr. 2 wurde außerhalb von Kavo geändert."),
            QStringLiteral("Station 1: Die Summen (client1stat) stimmen nicht mehr mit den"
                           " Belegen überein: 40 Minuten und 14,00 € statt 40 Minuten und"
                           " 13,00 €.")};
        QCOMPARE(check(ChainCheck::Whole), expected);
    }

    // The whole check reads on while the console writes, and a record written
    // meanwhile is left to the next check; a check let go mid-way stops its readers.
    void wholeCheckBesideTheConsole()
    {
        around("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
               " INSERT INTO client2 (client2start, client2ende, client2dauer, client2kosten)"
               " SELECT '16:00:00', '16:10:00', '00:10:00', 10000 FROM n");
        QVERIFY(m_database->chainCheck(ChainCheck::Whole)->step(1));
        const std::unique_ptr<ChainCheck> check = m_database->chainCheck(ChainCheck::Whole);
        QVERIFY(check->step(1));
        StoppedPeriod stopped = stoppedPeriod(1, recordWithFee(QStringLiteral("1,00 €")), 630, 5);
        stopped.stopMoment = QDateTime(day, QTime(17, 0));
        stopped.startMoment = stopped.stopMoment.addSecs(-630);
        QTRY_VERIFY_WITH_TIMEOUT(writtenNow(m_database->recorder().recordPeriod(stopped)), 1000);
        check->run();
        QCOMPARE(check->checked(), 5005);
        const QStringList &findings = check->findings();
        QCOMPARE(findings.size(), 5001);
        QCOMPARE(findings.count(QStringLiteral("Station 2: Ein Beleg (ohne Nummer, 16:00:00 bis"
                                               " 16:10:00, 1,00 €) wurde außerhalb von Kavo"
                                               " eingefügt.")),
                 5000);
        QCOMPARE(findings.last(),
                 QStringLiteral("Station 2: Die Summen (client2stat) stimmen nicht mehr mit den"
                                " Belegen überein: 10 Minuten und 2,00 € statt 50010 Minuten und"
                                " 5.002,00 €."));
    }

    // The real shell of the encrypted file deletes, inserts and changes records
    // between two runs of the console.
    void changesWithTheSqlcipherShell()
    {
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
        if (shell.isEmpty())
            QSKIP("sqlcipher is not installed");
        m_database.reset();
        QProcess process;
        process.start(shell, {m_path});
        process.write("PRAGMA key = 'qrtdb52';"
                      "DELETE FROM client1 WHERE client1nummer = 2;"
                      "UPDATE client2 SET client2kosten = 10000 WHERE client2nummer = 5;"
                      "INSERT INTO client1 (client1start, client1nummer) VALUES ('17:00:00', 9);");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished());
        m_database = std::make_unique<UsageDatabase>();
        QVERIFY(!m_database->open(m_path));
        const QStringList expected{
            QStringLiteral("Beleg Nr. 2 fehlt: er wurde außerhalb von Kavo gelöscht."),
            QStringLiteral("Station 2: Beleg Nr. 5 wurde außerhalb von Kavo geändert."),
            QStringLiteral("Station 1: Ein Beleg (Nr. 9, 17:00:00 bis , 0,00 €) wurde außerhalb"
                           " von Kavo eingefügt."),
            QStringLiteral("Station 1: Die Summen (client1stat) stimmen nicht mehr mit den"
                           " Belegen überein: 30 Minuten und 13,00 € statt 20 Minuten und"
                           " 12,00 €."),
            QStringLiteral("Station 2: Die Summen (client2stat) stimmen nicht mehr mit den"
                           " Belegen überein: 10 Minuten und 2,00 € statt 10 Minuten und"
                           " -1,00 €.")};
        QCOMPARE(check(ChainCheck::Whole), expected);
    }
};

QTEST_GUILESS_MAIN(RecordChainTest)
#include "tst_recordchain.moc"
