#include "ConsoleAppRig.h"
#include "FakeStation.h"
#include "IniFile.h"
#include "StationSession.h"
#include "StationWindow.h"
#include "StoreFaults.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <sqlite3.h>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Ways in which the database refuses a record for a while.
enum class Refusal { LockedByAnotherProgram, ReadOnlyDirectory, DiskFull };

// Holds a refusal until lifted.
class RefusedWrites
{
public:
    RefusedWrites(Refusal refusal, StoreFaults &faults, const QString &databasePath)
        : m_refusal(refusal)
        , m_faults(faults)
        , m_sideFile(UsageLedger::sideFilePathFor(databasePath))
    {
        switch (refusal) {
        case Refusal::LockedByAnotherProgram:
            sqlite3_open_v2(databasePath.toUtf8().constData(), &m_other, SQLITE_OPEN_READWRITE,
                            nullptr);
            sqlite3_exec(m_other, "PRAGMA key = 'qrtdb52'; BEGIN EXCLUSIVE;", nullptr, nullptr,
                         nullptr);
            break;
        case Refusal::ReadOnlyDirectory:
            // Nothing new can be made beside the database: no journal, no side file.
            m_faults.set(StoreFaults::Fault::NoNewFiles);
            QDir().mkdir(m_sideFile);
            break;
        case Refusal::DiskFull:
            m_faults.set(StoreFaults::Fault::DiskFull);
            break;
        }
    }
    ~RefusedWrites() { lift(); }

    void lift()
    {
        if (m_other) {
            sqlite3_exec(m_other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(m_other);
            m_other = nullptr;
        }
        m_faults.set(StoreFaults::Fault::None);
        if (m_refusal == Refusal::ReadOnlyDirectory)
            QDir().rmdir(m_sideFile);
    }

    bool sideFileTakesRecords() const { return m_refusal != Refusal::ReadOnlyDirectory; }

private:
    Refusal m_refusal;
    StoreFaults &m_faults;
    QString m_sideFile;
    sqlite3 *m_other = nullptr;
};
}

Q_DECLARE_METATYPE(Refusal)

class ConsoleFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    // A port in use leaves that station alone inactive; it is tried again every few
    // seconds, told once, until it is free.
    void aPortInUseLeavesOnlyThatStationInactiveUntilFree()
    {
        ConsoleAppRig rig;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, rig.files().port(1)));
        QVERIFY(rig.start());
        QVERIFY(rig.told().isEmpty());
        QCOMPARE(rig.notices().size(), 1);
        const QString told = rig.notices().first();
        QVERIFY2(told.contains(QStringLiteral("Port %1 für Station 1").arg(rig.files().port(1))),
                 qPrintable(told));

        FakeStation other;
        QVERIFY(other.connectTo(rig.files().port(2)));
        other.send("Startup2");
        QVERIFY(other.waitForText("Stop2"));
        QVERIFY(rig.session(2).controlsEnabled());
        QVERIFY(!rig.session(1).controlsEnabled());

        rig.clock().advanceMs(5'000);
        rig.clock().settle();
        QCOMPARE(rig.notices(), QStringList{told});
        squatter.close();
        rig.clock().advanceMs(5'000);
        QTRY_VERIFY(rig.notices().isEmpty());
        FakeStation station;
        QVERIFY(station.connectTo(rig.files().port(1)));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QVERIFY(rig.problems().isEmpty());
    }

    void refusedRecordsAreKeptToldAndWrittenOnceInOrder_data()
    {
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("locked by another program") << Refusal::LockedByAnotherProgram;
        QTest::newRow("read-only directory") << Refusal::ReadOnlyDirectory;
        QTest::newRow("disk full") << Refusal::DiskFull;
    }
    void refusedRecordsAreKeptToldAndWrittenOnceInOrder()
    {
        QFETCH(Refusal, refusal);
        StoreFaults faults;
        ConsoleAppRig rig;
        const QStringList &problems = rig.problems();
        QVERIFY(rig.start());
        StationSession &session = rig.session(1);
        UsageLedger &ledger = rig.app().ledger();
        const QString databasePath = rig.files().databasePath();
        const QString sideFile = UsageLedger::sideFilePathFor(databasePath);
        QSignalSpy totals(&session, &StationSession::totalsChanged);
        session.enableWithoutStation();
        session.start(0);
        rig.clock().advanceMs(600'000);
        {
            RefusedWrites refused(refusal, faults, databasePath);
            QElapsedTimer stopping;
            stopping.start();
            session.stop();
            // A locked file is not waited for: the console and the links go on.
            QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
            QCOMPARE(session.feeText(), QStringLiteral("1,00 €"));
            QVERIFY(session.controlsEnabled() && !session.periodRunning()); // Start is on
            QTRY_COMPARE(problems.size(), 1);
            const QString &text = problems.first();
            for (const char *part : {"Station 1", "12:00:00", "12:10:00", "00:10:00", "1,00 €"})
                QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
            if (refusal == Refusal::LockedByAnotherProgram)
                QVERIFY2(
                    text.contains(
                        QStringLiteral("Die Datenbank %1 ist von einem anderen Programm gesperrt")
                            .arg(databasePath)),
                    qPrintable(text));
            QCOMPARE(QFileInfo(sideFile).isFile(), refused.sideFileTakesRecords());
            QCOMPARE(ledger.pendingCount(), 1);

            // A second period while the database still refuses queues behind the first.
            rig.clock().advanceMs(60'000);
            rig.runPeriod(1, 300);
            QCOMPARE(ledger.pendingCount(), 2);
            refused.lift();
            // The retry timer writes both, the older first.
            ledger.setRetryInterval(10);
            QTRY_COMPARE(ledger.pendingCount(), 0);
        }
        const QList<QVariantList> rows = rig.records(1);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].mid(0, 4), QVariantList({"12:00:00", "12:10:00", "00:10:00", 1.0}));
        QCOMPARE(rows[1].mid(0, 4), QVariantList({"12:11:00", "12:16:00", "00:05:00", 0.5}));
        QCOMPARE(totals.last().first().value<UsageTotals>().minutes, 15);
        QVERIFY(!QFile::exists(sideFile));

        // Nothing is written twice, not at the next stop, not at the next start-up.
        rig.runPeriod(1, 60);
        QCOMPARE(rig.records(1).size(), 3);
        QVERIFY(rig.start());
        QCOMPARE(rig.records(1).size(), 3);
        QVERIFY(!rig.session(1).periodRunning());
        QCOMPARE(rig.app().database().recorder().readTotalMinutes(1), std::optional<qint64>(16));
        // Each refused stop was told; a start the directory could not keep as well.
        rig.clock().settle();
        QVERIFY(rig.told().isEmpty());
        QCOMPARE(problems.filter(QStringLiteral("Die Nutzung von")).size(), 2);
        QCOMPARE(problems.filter(QStringLiteral("Der Start um 12:11:00")).size(),
                 refusal == Refusal::ReadOnlyDirectory ? 1 : 0);
        QCOMPARE(problems.size(), refusal == Refusal::ReadOnlyDirectory ? 3 : 2);
    }

    void renamedFileKeepsTheRecordForTheFileUnderItsName()
    {
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        rig.session(1).enableWithoutStation();
        rig.session(1).start(0);
        rig.clock().advanceMs(60'000);
        const QString moved = rig.files().databasePath() + QStringLiteral(".alt");
        QVERIFY(QFile::rename(rig.files().databasePath(), moved));
        rig.session(1).stop();
        QTRY_COMPARE(rig.problems().size(), 1);
        QVERIFY(rig.problems().first().contains(QStringLiteral("umbenannt")));

        // Under its name again, the next start writes the record into it.
        QVERIFY(QFile::rename(moved, rig.files().databasePath()));
        QVERIFY(rig.start());
        QCOMPARE(rig.records(1).size(), 1);
        QVERIFY(!rig.session(1).periodRunning());
    }

    void startUpRefusesAFileThatCannotTakeARecord()
    {
        StoreFaults faults;
        {
            ConsoleAppRig rig;
            faults.set(StoreFaults::Fault::NoNewFiles);
            QVERIFY(!rig.start());
            const QString error = rig.failure().text();
            QVERIFY2(error.contains(QStringLiteral("nimmt keine Datensätze an")),
                     qPrintable(error));
            faults.set(StoreFaults::Fault::None);
            QVERIFY(rig.start());
        }
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        rig.session(1).enableWithoutStation();
        rig.runPeriod(1, 0);
        QVERIFY(rig.start());
        rig.start(); // drops the console, so that the file is closed
        QFile file(rig.files().databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        // A damaged page past the first: the schema still reads.
        QVERIFY(file.size() >= 3 * 1024);
        file.seek(file.size() - 512);
        file.write(QByteArray(64, '\x5a'));
        file.close();
        QVERIFY(!rig.start());
        const QString error = rig.failure().text();
        QVERIFY2(
            error.startsWith(
                QStringLiteral("Die Datenbank %1 ist beschädigt").arg(rig.files().databasePath())),
            qPrintable(error));
    }

    void aDifferentClientTakesOverAnOpenPeriod()
    {
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        StationSession &session = rig.session(1);
        {
            FakeStation station;
            QVERIFY(station.connectTo(rig.files().port(1)));
            QTRY_VERIFY(session.controlsEnabled());
            session.start(0);
            QVERIFY(station.waitForText("420"));
        }
        QTRY_VERIFY(!session.controlsEnabled());
        QVERIFY(session.periodRunning()); // Stop stays on

        FakeStation stranger;
        QVERIFY(stranger.connectTo(rig.files().port(1)));
        QTRY_VERIFY(session.controlsEnabled());
        stranger.send(QByteArray("\x00\xff GET / HTTP/1.0\r\n\r\n", 22));
        QTRY_VERIFY(rig.shown(1).runningTime.contains(QStringLiteral("GET")));
        QVERIFY(session.periodRunning());
        rig.clock().advanceMs(20'000);
        session.stop();
        QVERIFY(stranger.waitForText("Stop1"));
        QCOMPARE(session.durationText(), QStringLiteral("00:00:20"));
        QCOMPARE(rig.records(1).size(), 1);
    }

    // One connection is taken per port: a stranger that connects and says nothing
    // must not keep the real station out for good.
    void aSilentConnectionYieldsToTheRealStation()
    {
        TimeServiceStandIn timeService;
        ConsoleAppRig rig;
        QVERIFY(rig.start());
        StationSession &session = rig.session(1);
        FakeStation silent;
        QVERIFY(silent.connectTo(rig.files().port(1)));
        QTRY_VERIFY(session.controlsEnabled());
        // Only the announcement itself counts, not a chunk that holds it.
        silent.send("xxStartup1yy");
        FakeStation other;
        QVERIFY(other.connectTo(rig.files().port(2)));
        other.send("Startup2");
        QVERIFY(other.waitForText("Stop2"));

        rig.clock().advanceMs(29'000);
        rig.clock().settle();
        QCOMPARE(silent.socket().state(), QAbstractSocket::ConnectedState);
        FakeStation refused;
        refused.connectTo(rig.files().port(1), QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(refused.waitForDisconnect());

        rig.clock().advanceMs(1'000);
        QVERIFY(silent.waitForDisconnect());
        QTRY_VERIFY(!session.controlsEnabled());
        std::unique_ptr<StationWindow> station = rig.files().createStation(1);
        QTRY_COMPARE(rig.shown(1).runningTime, QStringLiteral("Startup1"));
        QVERIFY(session.controlsEnabled());

        // A station that announced itself is kept however quiet it is, and so is
        // the other port's.
        rig.clock().advanceMs(600'000);
        rig.clock().settle();
        QVERIFY(session.controlsEnabled());
        QVERIFY(station->findChild<QPushButton *>(QStringLiteral("cmdStart"))->isEnabled());
        QCOMPARE(other.socket().state(), QAbstractSocket::ConnectedState);
        QVERIFY(rig.session(2).controlsEnabled());
    }

    void garbageConfigurationEndsWithTheDatabaseMessage()
    {
        ConsoleAppRig rig;
        QByteArray garbage(64 * 1024, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) % 256);
        writeFile(rig.files().iniPath(), garbage);
        QVERIFY(!rig.start());
        QVERIFY(!rig.failure().text().isEmpty());
    }

    // The settings at the top of a large file are read from its first megabyte alone.
    void tenMegabyteConfigurationIsReadQuickly()
    {
        ConsoleAppRig rig;
        QFile file(rig.files().iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray settings = file.readAll();
        file.close();
        QByteArray padding;
        for (int line = 0; padding.size() < 10 * 1024 * 1024; ++line)
            padding += "; Kommentarzeile " + QByteArray::number(line) + " " + QByteArray(100, '#')
                + "\r\n";
        writeFile(rig.files().iniPath(), settings + padding);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(rig.start());
        QCOMPARE(rig.app().config().companyName, QStringLiteral("Internetcafé Test"));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(ConsoleFaultsTest)
#include "tst_consolefaults.moc"
