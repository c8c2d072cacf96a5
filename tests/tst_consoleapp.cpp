#include "ConsoleAppRig.h"
#include "StationSession.h"
#include "StoreFaults.h"
#include "UsageLedger.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

class ConsoleAppTest : public QObject
{
    Q_OBJECT

private slots:
    // Periods left open are shown with their start; one begun over 12 hours ago or
    // in the future goes on only when the operator says so, else it is billed now.
    // A station whose period was billed so stays inactive until it connects or
    // "Ohne Client" is pressed: its session does not listen before the choice.
    void oldOrFutureOpenPeriodsWaitForTheOperatorsChoice()
    {
        ConsoleAppRig rig(QDateTime(QDate(2026, 6, 4), QTime(12, 0)));
        rig.leaveOpen(QStringLiteral("old"), 1, QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        rig.leaveOpen(QStringLiteral("fresh"), 2, QDateTime(QDate(2026, 6, 4), QTime(11, 0)));
        rig.answerWith(false);
        std::unique_ptr<QSignalSpy> startEnabled, controlsEnabled;
        rig.whenShown([&] {
            startEnabled = std::make_unique<QSignalSpy>(&rig.session(1),
                                                        &StationSession::startEnabledChanged);
            controlsEnabled = std::make_unique<QSignalSpy>(&rig.session(1),
                                                           &StationSession::controlsEnabledChanged);
        });
        QVERIFY(rig.start());
        QCOMPARE(rig.questions().size(), 1);
        QVERIFY2(
            rig.questions()[0].text.contains(QStringLiteral("Station 1: seit 01.06.2026 12:00:00")),
            qPrintable(rig.questions()[0].text));
        QCOMPARE(rig.told().size(), 1);
        QVERIFY2(rig.told()[0].contains(QStringLiteral("Station 2: seit 04.06.2026 11:00:00")),
                 qPrintable(rig.told()[0]));
        QVERIFY(!rig.session(1).periodRunning());
        QCOMPARE(rig.records(1).value(0).mid(0, 3),
                 QVariantList({"12:00:00", "12:00:00", "72:00:00"}));
        QVERIFY(rig.session(2).periodRunning());
        QCOMPARE(startEnabled->last().first().toBool(), false);
        QCOMPARE(controlsEnabled->value(controlsEnabled->size() - 1).value(0).toBool(), false);
        rig.session(1).enableWithoutStation();
        QCOMPARE(controlsEnabled->last().first().toBool(), true);

        rig.start(); // closes the file for the next period left open
        rig.leaveOpen(QStringLiteral("future"), 1, QDateTime(QDate(2026, 6, 4), QTime(13, 0)));
        rig.answerWith(true);
        QVERIFY(rig.start());
        QVERIFY(rig.questions().value(0).text.contains(QStringLiteral("Zukunft")));
        QVERIFY(rig.session(1).periodRunning());
    }

    void periodsOfStationsNoLongerServedAreBilledOnce_data()
    {
        QTest::addColumn<bool>("billedNow");
        QTest::newRow("Jetzt abrechnen") << true;
        QTest::newRow("Später") << false;
    }
    // Fewer stations served while periods run above them: the operator is asked once
    // with what each costs; billed now or resumed once they are served again, each
    // period is billed once and none is set aside.
    void periodsOfStationsNoLongerServedAreBilledOnce()
    {
        QFETCH(bool, billedNow);
        ConsoleAppRig rig;
        rig.files().useStations(6);
        QVERIFY(rig.start());
        for (int station : {5, 6}) {
            rig.session(station).enableWithoutStation();
            rig.session(station).start(0);
        }
        rig.clock().advanceMs(600'000);
        rig.files().writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationCount,
                             QStringLiteral("4"));
        rig.answerWith(billedNow);
        QVERIFY(rig.start());
        QCOMPARE(rig.questions().size(), 1);
        const ConsoleApp::Question asked = rig.questions().first();
        QCOMPARE(asked.yesCaption, QStringLiteral("Jetzt abrechnen"));
        QCOMPARE(asked.noCaption, QStringLiteral("Später"));
        for (int station : {5, 6}) {
            const QString line
                = QStringLiteral("- Station %1: seit 01.06.2026 12:00:00, bisher 00:10:00,"
                                 " jetzt 1,00 €")
                      .arg(station);
            QVERIFY2(asked.text.contains(line), qPrintable(asked.text));
            QCOMPARE(rig.records(station).size(), billedNow ? 1 : 0);
        }

        rig.clock().advanceMs(600'000);
        rig.files().useStations(6);
        QVERIFY(rig.start());
        for (int station : {5, 6}) {
            QCOMPARE(rig.session(station).periodRunning(), !billedNow);
            rig.session(station).enableWithoutStation();
            rig.session(station).stop();
            QCOMPARE(rig.records(station).size(), 1);
            QCOMPARE(rig.records(station).first().mid(1, 2),
                     billedNow ? QVariantList({"12:10:00", "00:10:00"})
                               : QVariantList({"12:20:00", "00:20:00"}));
        }
        QVERIFY(rig.start());
        QCOMPARE(rig.records(5).size(), 1);
        QVERIFY(rig.questions().isEmpty());
        QVERIFY(!QFile::exists(
            QDir(rig.files().programDir()).filePath(QStringLiteral("kavo.abgelegt"))));
    }

    // Each session tells its own totals, once its record is written, and only its own.
    void aSessionTellsItsOwnTotals()
    {
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        QSignalSpy first(&rig.session(1), &StationSession::totalsChanged);
        QSignalSpy second(&rig.session(2), &StationSession::totalsChanged);
        rig.session(1).enableWithoutStation();
        rig.session(1).start(0);
        rig.clock().advanceMs(600'000);
        rig.session(1).stop();
        QCOMPARE(first.size(), 1);
        const auto totals = first.first().first().value<UsageTotals>();
        QCOMPARE(totals.minutes, 10);
        QCOMPARE(totals.feeUnits, 1'0000);
        QCOMPARE(second.size(), 0);
    }

    // A record the disk had no room for is written by the next run, once.
    void pendingRecordsAreWrittenAtTheNextStartOnce()
    {
        StoreFaults faults;
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        QSignalSpy problems(&rig.app(), &ConsoleApp::problem);
        rig.session(2).enableWithoutStation();
        rig.session(2).start(0);
        rig.clock().advanceMs(120'000);
        faults.set(StoreFaults::Fault::DiskFull);
        rig.session(2).stop();
        QCOMPARE(problems.size(), 1);
        const QString sideFile = UsageLedger::sideFilePathFor(rig.files().databasePath());
        QVERIFY(QFile::exists(sideFile));

        // The console ends before the disk has room again; the next run writes the record.
        faults.set(StoreFaults::Fault::None);
        QVERIFY(rig.start());
        QCOMPARE(rig.records(2).size(), 1);
        QCOMPARE(rig.records(2).first().mid(0, 4),
                 QVariantList({"12:00:00", "12:02:00", "00:02:00", 0.2}));
        QVERIFY(!QFile::exists(sideFile));
        QVERIFY(!rig.session(2).periodRunning());
        QVERIFY(rig.start());
        QCOMPARE(rig.records(2).size(), 1);
        QCOMPARE(rig.app().database().recorder().readTotalMinutes(2), std::optional<qint64>(2));
    }

    // A station's missing totals row is told once at start; its records are kept,
    // and no totals are told for it.
    void missingTotalsRowIsToldOnceAndCostsNoRecord()
    {
        ConsoleAppRig rig;
        {
            sqlite3 *raw = nullptr;
            sqlite3_open_v2(rig.files().databasePath().toUtf8().constData(), &raw,
                            SQLITE_OPEN_READWRITE, nullptr);
            QCOMPARE(sqlite3_exec(raw, "PRAGMA key = 'qrtdb52'; DELETE FROM client1stat;", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(raw);
        }
        QVERIFY(rig.start());
        QCOMPARE(rig.told().size(), 1);
        QVERIFY(rig.told().first().contains(QStringLiteral("client1stat")));
        QSignalSpy problems(&rig.app(), &ConsoleApp::problem);
        QSignalSpy totals(&rig.session(1), &StationSession::totalsChanged);
        rig.session(1).enableWithoutStation();
        rig.runPeriod(1, 600);
        rig.runPeriod(1, 600);
        QCOMPARE(rig.records(1).size(), 2);
        QCOMPARE(problems.size(), 0);
        QCOMPARE(totals.size(), 0);
    }

    // A database that is missing, no database, or named with a directory ends the
    // start with why; a missing one is not made.
    void aDatabaseThatCannotServeEndsTheStart()
    {
        {
            ConsoleAppRig rig;
            QVERIFY(QFile::remove(rig.files().databasePath()));
            QVERIFY(!rig.start());
            QVERIFY(!rig.failure().text().isEmpty());
            QVERIFY(!QFile::exists(rig.files().databasePath()));
        }
        {
            ConsoleAppRig rig;
            QFile file(rig.files().databasePath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray(4096, 'k'));
            file.close();
            QVERIFY(!rig.start());
            QVERIFY(!rig.failure().text().isEmpty());
        }
        for (const char *name : {"../andere/kavo", "/tmp/kavo", "unter/kavo", "..", "C:\\kavo"}) {
            ConsoleAppRig rig;
            rig.files().writeIni(QStringLiteral("DB"), QStringLiteral("DB Name"),
                                 QString::fromLatin1(name));
            QVERIFY(!rig.start());
            QVERIFY2(rig.failure().text().contains(QStringLiteral("DB Name")),
                     qPrintable(rig.failure().text()));
        }
    }
};

QTEST_GUILESS_MAIN(ConsoleAppTest)
#include "tst_consoleapp.moc"
