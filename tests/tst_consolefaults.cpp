#include "ConsoleOnTestClock.h"
#include "FakeStation.h"
#include "IniFile.h"
#include "StationSession.h"
#include "StationWindow.h"
#include "StoreFaults.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
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
    void portsInUseLeaveOnlyThatPanelInactiveUntilFree()
    {
        ConsoleOnTestClock fixture;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, fixture.port(1)));
        QVERIFY(fixture.start());
        QVERIFY(fixture.messages().shown().isEmpty());
        QVERIFY(!fixture.window().panel(1).start->isEnabled());
        const QString told = fixture.window().statusBar()->currentMessage();
        QVERIFY2(told.contains(QStringLiteral("Port %1 für Station 1").arg(fixture.port(1))),
                 qPrintable(told));

        FakeStation second;
        QVERIFY(second.connectTo(fixture.port(2)));
        second.send("Startup2");
        QVERIFY(second.waitForText("Stop2"));
        QVERIFY(fixture.window().panel(2).start->isEnabled());
        QVERIFY(!fixture.window().panel(1).start->isEnabled());

        // Tried again every few seconds, without a word more, until the port is free.
        fixture.clock().advanceMs(5'000);
        fixture.clock().settle();
        QCOMPARE(fixture.window().statusBar()->currentMessage(), told);
        squatter.close();
        fixture.clock().advanceMs(5'000);
        QTRY_VERIFY(fixture.window().statusBar()->currentMessage().isEmpty());
        FakeStation first;
        QVERIFY(first.connectTo(fixture.port(1)));
        first.send("Startup1");
        QVERIFY(first.waitForText("Stop1"));
        QVERIFY(fixture.messages().shown().isEmpty());
    }

    void refusedRecordsAreKeptShownAndWrittenOnceInOrder_data()
    {
        QTest::addColumn<Refusal>("refusal");
        QTest::newRow("locked by another program") << Refusal::LockedByAnotherProgram;
        QTest::newRow("read-only directory") << Refusal::ReadOnlyDirectory;
        QTest::newRow("disk full") << Refusal::DiskFull;
    }
    void refusedRecordsAreKeptShownAndWrittenOnceInOrder()
    {
        QFETCH(Refusal, refusal);
        StoreFaults faults;
        ConsoleOnTestClock fixture;
        QVERIFY(fixture.startWithoutStation(1));
        MainWindow &window = fixture.window();
        StationPanel &panel = window.panel(1);
        const QString sideFile = UsageLedger::sideFilePathFor(fixture.databasePath());

        const MessageRecorder &messages = fixture.messages();
        panel.start->click();
        fixture.clock().advanceMs(600'000);
        {
            RefusedWrites refused(refusal, faults, fixture.databasePath());
            QElapsedTimer stopping;
            stopping.start();
            panel.stop->click();
            // A locked file is not waited for: the window and the links go on.
            QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
            QCOMPARE(panel.fee->text(), QStringLiteral("1,00 €"));
            QVERIFY(panel.start->isEnabled());
            QTRY_COMPARE(messages.shown().size(), 1);
            const QString text = messages.texts().first();
            for (const char *part : {"Station 1", "12:00:00", "12:10:00", "00:10:00", "1,00 €"})
                QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
            if (refusal == Refusal::LockedByAnotherProgram)
                QVERIFY2(
                    text.contains(
                        QStringLiteral("Die Datenbank %1 ist von einem anderen Programm gesperrt")
                            .arg(fixture.databasePath())),
                    qPrintable(text));
            QCOMPARE(QFileInfo(sideFile).isFile(), refused.sideFileTakesRecords());
            QCOMPARE(window.ledger().pendingCount(), 1);

            // A second period while the database still refuses queues behind the first.
            fixture.clock().advanceMs(60'000);
            fixture.runPeriod(1, 300);
            QCOMPARE(window.ledger().pendingCount(), 2);
            refused.lift();
            // The retry timer writes both, the older first.
            window.ledger().setRetryInterval(10);
            QTRY_COMPARE(window.ledger().pendingCount(), 0);
        }
        const QList<QVariantList> rows = fixture.records(1);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].mid(0, 4), QVariantList({"12:00:00", "12:10:00", "00:10:00", 1.0}));
        QCOMPARE(rows[1].mid(0, 4), QVariantList({"12:11:00", "12:16:00", "00:05:00", 0.5}));
        QCOMPARE(window.view(1).statistics().totalMinutes->text(), QStringLiteral("15"));
        QVERIFY(!QFile::exists(sideFile));

        // Nothing is written twice, not at the next stop, not at the next start-up.
        fixture.runPeriod(1, 60);
        QCOMPARE(fixture.records(1).size(), 3);
        QVERIFY(fixture.start());
        QCOMPARE(fixture.records(1).size(), 3);
        QVERIFY(!fixture.window().session(1).periodRunning());
        QCOMPARE(fixture.window().database().recorder().readTotalMinutes(1),
                 std::optional<qint64>(16));
        // Each refused stop was told; a start the directory could not keep as well.
        fixture.clock().settle();
        const QStringList texts = messages.texts();
        QCOMPARE(texts.filter(QStringLiteral("Die Nutzung von")).size(), 2);
        QCOMPARE(texts.filter(QStringLiteral("Der Start um 12:11:00")).size(),
                 refusal == Refusal::ReadOnlyDirectory ? 1 : 0);
        QCOMPARE(texts.size(), refusal == Refusal::ReadOnlyDirectory ? 3 : 2);
    }

    void renamedFileKeepsTheRecordForTheFileUnderItsName()
    {
        ConsoleOnTestClock fixture;
        QVERIFY(fixture.startWithoutStation(1));
        StationPanel &panel = fixture.window().panel(1);
        const MessageRecorder &messages = fixture.messages();
        panel.start->click();
        fixture.clock().advanceMs(60'000);
        const QString moved = fixture.databasePath() + QStringLiteral(".alt");
        QVERIFY(QFile::rename(fixture.databasePath(), moved));
        panel.stop->click();
        QTRY_COMPARE(messages.shown().size(), 1);
        QVERIFY(messages.texts().first().contains(QStringLiteral("umbenannt")));

        // Under its name again, the next start writes the record into it.
        QVERIFY(QFile::rename(moved, fixture.databasePath()));
        QVERIFY(fixture.start());
        QCOMPARE(fixture.records(1).size(), 1);
        QVERIFY(!fixture.window().session(1).periodRunning());
    }

    void startUpRefusesAFileThatCannotTakeARecord()
    {
        StoreFaults faults;
        {
            ConsoleFixture fixture;
            faults.set(StoreFaults::Fault::NoNewFiles);
            const Result<ConsoleApp::Started> started = fixture.startWithReason();
            QVERIFY(!started.hasValue());
            const QString error = started.failure().text();
            QVERIFY2(error.contains(QStringLiteral("nimmt keine Datensätze an")),
                     qPrintable(error));
            faults.set(StoreFaults::Fault::None);
            QVERIFY(fixture.start());
        }
        ConsoleFixture fixture;
        QVERIFY(fixture.start());
        fixture.window().panel(1).withoutStation->click();
        fixture.window().panel(1).start->click();
        fixture.window().panel(1).stop->click();
        QVERIFY(fixture.start());
        fixture.start(); // drops the window, so that the file is closed
        QFile file(fixture.databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        // A damaged page past the first: the schema still reads.
        QVERIFY(file.size() >= 3 * 1024);
        file.seek(file.size() - 512);
        file.write(QByteArray(64, '\x5a'));
        file.close();
        const Result<ConsoleApp::Started> started = fixture.startWithReason();
        QVERIFY(!started.hasValue());
        const QString error = started.failure().text();
        QVERIFY2(error.startsWith(
                     QStringLiteral("Die Datenbank %1 ist beschädigt").arg(fixture.databasePath())),
                 qPrintable(error));
    }

    void aDifferentClientTakesOverAnOpenPeriod()
    {
        ConsoleOnTestClock fixture;
        QVERIFY(fixture.start());
        StationPanel &panel = fixture.window().panel(1);
        {
            FakeStation station;
            QVERIFY(station.connectTo(fixture.port(1)));
            QTRY_VERIFY(panel.start->isEnabled());
            panel.start->click();
            QVERIFY(station.waitForText("420"));
        }
        QTRY_VERIFY(!panel.pcInfo->isEnabled());
        QVERIFY(panel.stop->isEnabled());

        FakeStation stranger;
        QVERIFY(stranger.connectTo(fixture.port(1)));
        QTRY_VERIFY(panel.pcInfo->isEnabled());
        stranger.send(QByteArray("\x00\xff GET / HTTP/1.0\r\n\r\n", 22));
        QTRY_VERIFY(panel.runningTime->text().contains(QStringLiteral("GET")));
        QVERIFY(fixture.window().session(1).periodRunning());
        fixture.clock().advanceMs(20'000);
        panel.stop->click();
        QVERIFY(stranger.waitForText("Stop1"));
        QCOMPARE(panel.duration->text(), QStringLiteral("00:00:20"));
        QCOMPARE(fixture.records(1).size(), 1);
    }

    // One connection is taken per port: a stranger that connects and says nothing
    // must not keep the real station out for good.
    void aSilentConnectionYieldsToTheRealStation()
    {
        TimeServiceStandIn timeService;
        ConsoleOnTestClock fixture;
        QVERIFY(fixture.start());
        StationPanel &panel = fixture.window().panel(1);
        FakeStation silent;
        QVERIFY(silent.connectTo(fixture.port(1)));
        QTRY_VERIFY(panel.start->isEnabled());
        // Only the announcement itself counts, not a chunk that holds it.
        silent.send("xxStartup1yy");
        FakeStation other;
        QVERIFY(other.connectTo(fixture.port(2)));
        other.send("Startup2");
        QVERIFY(other.waitForText("Stop2"));

        fixture.clock().advanceMs(29'000);
        fixture.clock().settle();
        QCOMPARE(silent.socket().state(), QAbstractSocket::ConnectedState);
        FakeStation refused;
        refused.connectTo(fixture.port(1), QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(refused.waitForDisconnect());

        fixture.clock().advanceMs(1'000);
        QVERIFY(silent.waitForDisconnect());
        QTRY_VERIFY(!panel.start->isEnabled());
        std::unique_ptr<StationWindow> station = fixture.createStation(1);
        QTRY_COMPARE(panel.runningTime->text(), QStringLiteral("Startup1"));
        QVERIFY(panel.start->isEnabled());

        // A station that announced itself is kept however quiet it is, and so is
        // the other port's.
        fixture.clock().advanceMs(600'000);
        fixture.clock().settle();
        QVERIFY(panel.start->isEnabled());
        QVERIFY(station->findChild<QPushButton *>(QStringLiteral("cmdStart"))->isEnabled());
        QCOMPARE(other.socket().state(), QAbstractSocket::ConnectedState);
        QVERIFY(fixture.window().panel(2).start->isEnabled());
    }

    void garbageConfigurationEndsWithTheDatabaseMessage()
    {
        ConsoleFixture fixture;
        QByteArray garbage(64 * 1024, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) % 256);
        writeFile(fixture.iniPath(), garbage);
        const Result<ConsoleApp::Started> started = fixture.startWithReason();
        QVERIFY(!started.hasValue());
        const QString error = started.failure().text();
        QVERIFY(!error.isEmpty());
    }

    // The settings at the top of a large file are read from its first megabyte alone.
    void tenMegabyteConfigurationIsReadQuickly()
    {
        ConsoleFixture fixture;
        QFile file(fixture.iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray settings = file.readAll();
        file.close();
        QByteArray padding;
        for (int line = 0; padding.size() < 10 * 1024 * 1024; ++line)
            padding += "; Kommentarzeile " + QByteArray::number(line) + " " + QByteArray(100, '#')
                + "\r\n";
        writeFile(fixture.iniPath(), settings + padding);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(fixture.start());
        QCOMPARE(fixture.window().windowTitle(), QStringLiteral("Internetcafé Test"));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(ConsoleFaultsTest)
#include "tst_consolefaults.moc"
