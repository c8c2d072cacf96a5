#include "ConsoleAppRig.h"
#include "ConsoleConfig.h"
#include "FakeStation.h"
#include "IniFile.h"
#include "SpacedSender.h"
#include "StationAddressRule.h"
#include "StationPanel.h"
#include "StationView.h"
#include "StationWindow.h"
#include "StatisticsBlock.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

namespace {
const QDateTime afternoon(QDate(2026, 3, 14), QTime(14, 0, 0));
const QHostAddress secondLoopback(QStringLiteral("127.0.0.2"));
const QString keyText = QStringLiteral("00112233445566778899aabbccddeeff");
using Heading = StationSession::Heading;
}

// The console's link and period control on its sessions against stand-in stations
// and real station windows; at the end, the panel that shows a session.
class StationLinkTest : public QObject
{
    Q_OBJECT

private:
    TimeServiceStandIn m_timeService; // for the real station windows
    std::unique_ptr<ConsoleAppRig> m_rig;

    ManualClock &clock() { return m_rig->clock(); }
    ConsoleFixture &files() { return m_rig->files(); }
    StationSession &session(int station) { return m_rig->session(station); }
    SessionProbe &shown(int station) { return m_rig->shown(station); }
    qsizetype recordCount(int station) { return m_rig->records(station).size(); }

    QString clientIni()
    {
        return QDir(files().programDir()).filePath(QStringLiteral("Client.ini"));
    }
    void writeClientKey(const QString &text)
    {
        const Failure written = IniFile::write(clientIni(), QStringLiteral("Server"),
                                               QStringLiteral("Schluessel"), text);
        QVERIFY(!written);
    }
    static QPushButton *stationButton(StationWindow &station, const char *name)
    {
        return station.findChild<QPushButton *>(QString::fromLatin1(name));
    }

    // Connects a stand-in station and lets it announce itself.
    void connectStation(FakeStation &station, int number = 1)
    {
        QVERIFY(station.connectTo(files().port(number)));
        QTRY_VERIFY(shown(number).startEnabled);
        station.send(QByteArrayLiteral("Startup") + QByteArray::number(number));
        QVERIFY(station.waitForText(QByteArrayLiteral("Stop") + QByteArray::number(number)));
        station.takeReceived();
        // Whatever the console sends next leaves this much after its answer.
        clock().advanceMs(SpacedSender::spacingMs);
    }
    // A started console with a stand-in station announced on station 1's port.
    void startWithStation(FakeStation &station)
    {
        QVERIFY(m_rig->start());
        connectStation(station);
    }

private slots:
    void init() { m_rig = std::make_unique<ConsoleAppRig>(afternoon); }
    void cleanup() { m_rig.reset(); }

    // Without the setting, no third station is listened for.
    void twoStationsAreServedWhereNoNumberIsSet()
    {
        files().reservePorts(3);
        QVERIFY(m_rig->start());
        FakeStation first, second, third;
        QVERIFY(first.connectTo(files().port(1)));
        QVERIFY(second.connectTo(files().port(2)));
        QVERIFY(!third.connectTo(files().port(3)));
        QCOMPARE(m_rig->app().stationCount(), 2);
    }

    // Beyond the second station, a station works as the first two do: on its own
    // port, by its own messages, into its own tables.
    void aThirdStationIsBilledIntoItsOwnTables()
    {
        files().useStations(4);
        QVERIFY(m_rig->start());
        FakeStation station;
        connectStation(station, 3);
        QVERIFY(!shown(4).startEnabled);
        station.send("00:00:00Start3");
        QVERIFY(station.waitForText("420"));
        QCOMPARE(shown(3).heading, Heading::Running);
        station.takeReceived();
        clock().advanceMs(600'000);
        station.send("00:00:00Stop3");
        QVERIFY(station.waitForText("Stop3"));
        QCOMPARE(recordCount(3), 1);
        QCOMPARE(m_rig->app().database().recorder().readTotalMinutes(3), 10);
        QCOMPARE(shown(3).totals.minutes, qint64(10));
        for (int other : {1, 2, 4})
            QCOMPARE(recordCount(other), 0);
    }

    // With an address set, a connection from any other is closed before a word
    // crosses, also while the station is connected, and counted where the operator
    // can look; the port goes on listening. A station without an address takes any,
    // one with an address that is none takes nobody and is told at start.
    void onlyTheStationsOwnAddressIsAnswered()
    {
        files().useStations(3);
        using ConsoleKeys::stationAddress;
        files().writeIni(ConsoleKeys::stationsSection, stationAddress(1),
                         QStringLiteral("127.0.0.2"));
        files().writeIni(ConsoleKeys::stationsSection, stationAddress(3), QStringLiteral("pc 3"));
        QVERIFY(m_rig->start());
        QCOMPARE(m_rig->told(),
                 QStringList{QStringLiteral(
                     "Kavo.ini: „pc 3“ unter „Adresse3“ im Abschnitt „Stationen“ ist weder eine"
                     " IPv4-Adresse noch ein Rechnername. Kavo nimmt von Station 3 keine"
                     " Verbindung an, bis der Wert berichtigt ist.")});

        FakeStation stranger;
        QVERIFY(stranger.connectTo(files().port(1)));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(stranger.takeReceived().isEmpty());
        QVERIFY(!shown(1).startEnabled);
        const QString once = QStringLiteral(
            "Station 1: 1 fremde Verbindung abgewiesen, zuletzt 127.0.0.1, 14:00:00");
        QVERIFY(shown(1).linkReport.split(u'\n').contains(once));
        QCOMPARE(m_rig->lastNotice(), once);

        FakeStation station;
        QVERIFY(station.connectTo(files().port(1), secondLoopback));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QVERIFY(shown(1).startEnabled);
        clock().advanceMs(65'000);
        FakeStation again;
        QVERIFY(again.connectTo(files().port(1)));
        QVERIFY(again.waitForDisconnect());
        QCOMPARE(shown(1).linkReport,
                 QStringLiteral("Station 1: Port %1 verbunden mit 127.0.0.2 seit 14:00:00\n"
                                "Station 1: 2 fremde Verbindungen abgewiesen, zuletzt"
                                " 127.0.0.1, 14:01:05")
                     .arg(files().port(1)));
        QCOMPARE(station.socket().state(), QAbstractSocket::ConnectedState);

        FakeStation anyone, nobody;
        QVERIFY(anyone.connectTo(files().port(2)));
        QTRY_VERIFY(shown(2).startEnabled);
        QCOMPARE(shown(2).linkReport,
                 QStringLiteral("Station 2: Port %1 verbunden mit 127.0.0.1 seit 14:01:05")
                     .arg(files().port(2)));
        QVERIFY(nobody.connectTo(files().port(3), secondLoopback));
        QVERIFY(nobody.waitForDisconnect());
        QVERIFY(shown(3).linkReport.contains(u"\nStation 3: 1 fremde"));
    }

    // A host name is looked up at once, and again on a refusal 30 s after the last
    // lookup at the soonest; until it is known, nobody is admitted. Peers on a
    // dual-stack port come as IPv4-mapped addresses and match as IPv4.
    void aHostNameIsLookedUpAtMostEveryThirtySeconds()
    {
        QStringList lookedUp;
        StationAddressRule::Done answer;
        StationAddressRule rule(QStringLiteral("kasse-pc1"),
                                [&](const QString &name, QObject *, StationAddressRule::Done done) {
                                    lookedUp.append(name);
                                    answer = std::move(done);
                                });
        const QHostAddress station(QStringLiteral("::ffff:127.0.0.2"));
        const QHostAddress stranger(QStringLiteral("127.0.0.1"));
        QCOMPARE(lookedUp, QStringList{QStringLiteral("kasse-pc1")});
        QVERIFY(!rule.admits(station));
        answer({}); // failed
        clock().advanceMs(29'999);
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(lookedUp.size(), 1);
        clock().advanceMs(1);
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(lookedUp.size(), 2);
        clock().advanceMs(60'000);
        QVERIFY(!rule.admits(station)); // the lookup still runs
        QCOMPARE(lookedUp.size(), 2);
        QCOMPARE(rule.lastRefusal(), QStringLiteral("127.0.0.2, 14:01:30"));
        answer({secondLoopback});
        QVERIFY(rule.admits(station));
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(rule.refusedCount(), 5);
        QCOMPARE(lookedUp.size(), 3);
    }

    void announcementActivatesOnlyItsStation()
    {
        QVERIFY(m_rig->start());
        FakeStation station;
        QVERIFY(station.connectTo(files().port(1)));
        QTRY_VERIFY(shown(1).startEnabled);
        QVERIFY(!shown(2).startEnabled);
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(shown(1).heading, Heading::Idle);
        QCOMPARE(shown(1).runningTime, QStringLiteral("Startup1"));
        QCOMPARE(recordCount(1), 0);
    }

    void secondConnectionIsRefusedAndTheLinkReturns()
    {
        FakeStation first;
        startWithStation(first);
        FakeStation intruder;
        intruder.connectTo(files().port(1), secondLoopback);
        QVERIFY(intruder.waitForDisconnect());
        QCOMPARE(first.socket().state(), QAbstractSocket::ConnectedState);

        // The station's PC restarted without closing its connection: it comes back
        // from the same address and takes the port over at once.
        FakeStation restarted;
        connectStation(restarted);
        QVERIFY(first.waitForDisconnect());
        restarted.disconnect();
        QTRY_VERIFY(!shown(1).startEnabled);

        FakeStation again;
        connectStation(again);
        QVERIFY(shown(1).startEnabled);
    }

    void stationStopBillsOnceAndAnswers()
    {
        FakeStation station;
        startWithStation(station);
        session(1).start(5);
        QVERIFY(station.waitForText("5"));
        station.takeReceived();
        clock().advanceMs(300'000);
        // Time texts that piled up in front of the stop do not hide it.
        station.send("00:00:0100:00:00Stop1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(session(1).durationText(), QStringLiteral("00:05:00"));
        QCOMPARE(shown(1).runningTime, QStringLiteral("00:00:0100:00:00Stop1"));
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(shown(1).totals.minutes, qint64(5));
        QCOMPARE(shown(1).totals.feeUnits, qint64(5'000));

        // The station's own stop answering the console's arrives later: it is
        // answered, so that a station still counting ends, and nothing more is billed.
        station.takeReceived();
        clock().advanceMs(SpacedSender::spacingMs);
        station.send("Stop1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(shown(1).runningTime, QStringLiteral("Stop1"));
        QCOMPARE(recordCount(1), 1);
        QVERIFY(!session(1).periodRunning());
        clock().settle();
        QCOMPARE(station.takeReceived(), QByteArray("Stop1"));
    }

    void chunksThatAreNoMessageAreOnlyShown()
    {
        FakeStation station;
        startWithStation(station);
        session(1).start(0);
        QVERIFY(station.waitForText("420"));
        station.send("Stop100:00:00");
        QTRY_COMPARE(shown(1).runningTime, QStringLiteral("Stop100:00:00"));
        QVERIFY(session(1).periodRunning());
        station.send("Start2");
        QTRY_COMPARE(shown(1).runningTime, QStringLiteral("Start2"));
        QCOMPARE(recordCount(1), 0);
    }

    // A station whose cover cannot hold keyboard and mouse says so: the text is
    // shown, and the operator is told which station stands open.
    void aLockThatCannotHoldIsTold()
    {
        FakeStation station;
        startWithStation(station);
        station.send("Sperre nicht wirksam");
        QTRY_COMPARE(m_rig->lastNotice(), QStringLiteral("Station 1: Sperre nicht wirksam"));
        QCOMPARE(m_rig->notices().size(), 1);
        QCOMPARE(shown(1).runningTime, QStringLiteral("Sperre nicht wirksam"));
        QVERIFY(!session(1).periodRunning());
    }

    void stopWithoutPeriodBillsNothing()
    {
        FakeStation station;
        startWithStation(station);
        session(1).stop();
        QCOMPARE(shown(1).heading, Heading::Idle);
        QCOMPARE(shown(1).runningTime, QStringLiteral("Timer"));
        QVERIFY(shown(1).startEnabled);
        QVERIFY(!shown(1).stopEnabled);
        QVERIFY(session(1).durationText().isEmpty());
        QCOMPARE(recordCount(1), 0);
    }

    void withoutStationPeriodsAreBilled()
    {
        QVERIFY(m_rig->start());
        session(2).enableWithoutStation();
        QVERIFY(shown(2).startEnabled);
        m_rig->runPeriod(2, 3600);
        QCOMPARE(session(2).durationText(), QStringLiteral("01:00:00"));
        QCOMPARE(session(2).feeText(), QStringLiteral("4,00 €"));
        QCOMPARE(recordCount(2), 1);
        QCOMPARE(recordCount(1), 0);
    }

    void periodSurvivesTheLossOfTheLinkAndResumes()
    {
        auto station = std::make_unique<FakeStation>();
        startWithStation(*station);
        session(1).start(30);
        QVERIFY(station->waitForText("30"));
        station->send("00:12:00");
        QTRY_COMPARE(shown(1).runningTime, QStringLiteral("00:12:00"));
        station->disconnect();
        QTRY_VERIFY(!shown(1).controlsEnabled);
        QCOMPARE(shown(1).heading, Heading::Alarm);

        // The station comes back idle; it is told to go on with the 9 1/2 minutes left.
        clock().advanceMs(1'230'000);
        FakeStation returned;
        QVERIFY(returned.connectTo(files().port(1)));
        returned.send("Startup1");
        QVERIFY(returned.waitForText("Stop1"));
        QCOMPARE(shown(1).heading, Heading::Running);
        QVERIFY(!shown(1).startEnabled);
        QVERIFY(shown(1).stopEnabled);
        clock().settle();
        QCOMPARE(returned.takeReceived(), QByteArray("Stop1"));
        clock().advanceMs(SpacedSender::spacingMs);
        QVERIFY(returned.waitForText("10"));
        QCOMPARE(returned.takeReceived(), QByteArray("10"));
        QVERIFY(session(1).periodRunning());
        session(1).stop();
        QCOMPARE(session(1).durationText(), QStringLiteral("00:20:30"));
        QCOMPARE(recordCount(1), 1);
    }

    // A period whose station went away is in alarm at once, the status bar naming
    // the station, and Stop alone stays on: it bills the period once. Start waits
    // for the station or "Ohne Client".
    void stopAfterTheLinkIsLostBillsOnce()
    {
        auto station = std::make_unique<FakeStation>();
        startWithStation(*station);
        session(1).start(0);
        QVERIFY(station->waitForText("420"));
        station->disconnect();
        QTRY_COMPARE(shown(1).heading, Heading::Alarm);
        QVERIFY(shown(1).stopEnabled);
        QVERIFY(!shown(1).startEnabled && !shown(1).controlsEnabled);
        QCOMPARE(m_rig->lastNotice(), QStringLiteral("Station 1 meldet sich nicht seit 14:00:00."));
        clock().advanceMs(600'000);
        QTRY_COMPARE(shown(1).runningTime,
                     QStringLiteral("Station meldet sich nicht seit 00:10:00"));

        session(1).stop();
        QCOMPARE(session(1).durationText(), QStringLiteral("00:10:00"));
        QCOMPARE(shown(1).heading, Heading::Idle);
        QCOMPARE(shown(1).runningTime, QStringLiteral("Timer"));
        QVERIFY(!shown(1).startEnabled && !shown(1).stopEnabled);
        QVERIFY(m_rig->notices().isEmpty());
        QCOMPARE(recordCount(1), 1);

        FakeStation returned;
        connectStation(returned);
        returned.send("Stop1");
        QVERIFY(returned.waitForText("Stop1"));
        QCOMPARE(recordCount(1), 1);
    }

    void startFromTheStationRestartsThePeriod()
    {
        FakeStation station;
        startWithStation(station);
        station.send("Start1");
        QVERIFY(station.waitForText("420"));
        QVERIFY(session(1).periodRunning());
        QCOMPARE(shown(1).heading, Heading::Running);
        QCOMPARE(recordCount(1), 0);

        // A start while a period runs bills the open one before the new one begins.
        station.takeReceived();
        clock().advanceMs(20 * 60 * 1000);
        station.send("00:00:00Start1");
        QVERIFY(station.waitForText("420"));
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(session(1).startText(), QStringLiteral("14:20:00"));
        QVERIFY(session(1).durationText().isEmpty());
        QVERIFY(session(1).periodRunning());
    }

    // With a key set, only the station that proves it is heard: plain text from its
    // own address is refused and counted, never answered nor billed, also while the
    // station is linked; a second connection that proves the key takes the port
    // over, as the station's PC restarted would.
    void aKeyedStationIsTheOnlyOneHeard()
    {
        files().writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationKey(1), keyText);
        QVERIFY(m_rig->start());
        const QString refusedOnce = QStringLiteral(
            "Station 1: 1 Verbindung ohne Schlüssel abgewiesen (Schluessel1 ist gesetzt, der"
            " Kunden-PC hat keinen), zuletzt 127.0.0.1, 14:00:00");
        FakeStation stranger;
        QVERIFY(stranger.connectTo(files().port(1)));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(stranger.takeReceived().isEmpty());
        QCOMPARE(m_rig->lastNotice(), refusedOnce);
        QVERIFY(!shown(1).startEnabled);

        writeClientKey(keyText);
        const std::unique_ptr<StationWindow> station = files().createStation(1);
        QTRY_VERIFY(shown(1).startEnabled);
        QCOMPARE(shown(1).linkReport,
                 QStringLiteral("Station 1: Port %1 verbunden mit 127.0.0.1 seit 14:00:00"
                                " (Schlüssel bewiesen)\n")
                         .arg(files().port(1))
                     + refusedOnce);
        clock().advanceMs(SpacedSender::spacingMs);
        session(1).start(0);
        QTRY_VERIFY(stationButton(*station, "cmdStop")->isEnabled());

        FakeStation customer;
        QVERIFY(customer.connectTo(files().port(1)));
        customer.send("Stop1");
        QVERIFY(customer.waitForDisconnect());
        QVERIFY(customer.takeReceived().isEmpty());
        QVERIFY(session(1).periodRunning());
        QVERIFY(!stationButton(*station, "cmdVerbinden")->isEnabled());
        QVERIFY(m_rig->lastNotice().startsWith(u"Station 1: 2 Verbindungen ohne Schlüssel"));

        clock().advanceMs(600'000);
        session(1).stop();
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(session(1).durationText(), QStringLiteral("00:10:00"));

        TcpConnection restarted;
        restarted.setPreSharedKey(PreSharedKey::fromText(keyText, 1));
        QSignalSpy restartedConnected(&restarted, &TcpConnection::connected);
        restarted.connectTo(QStringLiteral("127.0.0.1"), files().port(1));
        QTRY_COMPARE(restartedConnected.size(), 1);
        QTRY_VERIFY(stationButton(*station, "cmdVerbinden")->isEnabled());
        QVERIFY(shown(1).startEnabled);
    }

    // A key on one side only: no connection, and the side with the key says which
    // is missing, the console in its status bar, the station in its window.
    void aKeyOnOneSideOnlyIsTold()
    {
        QVERIFY(m_rig->start());
        writeClientKey(keyText);
        Failure written = IniFile::write(clientIni(), QStringLiteral("Server"),
                                         QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
        QVERIFY(!written);
        StationWindow station(2, files().programDir(), files().port(2));
        auto *hint = station.findChild<QLabel *>(QStringLiteral("lblHinweis"));
        QTRY_VERIFY(hint->isVisibleTo(&station));
        QCOMPARE(hint->text(),
                 QStringLiteral("Station 2: Die Kasse nimmt die verschlüsselte Verbindung nicht"
                                " an. Client.ini hat einen Schluessel; in Kavo.ini fehlt"
                                " Schluessel2, oder er ist ein anderer."));
        QCOMPARE(m_rig->lastNotice(),
                 QStringLiteral("Station 2: 1 Verbindung mit Schlüssel abgewiesen (der Kunden-PC"
                                " hat einen Schlüssel, Schluessel2 ist nicht gesetzt), zuletzt"
                                " 127.0.0.1, 14:00:00"));
        QVERIFY(!shown(2).startEnabled);
        QVERIFY(shown(2).runningTime != QStringLiteral("Startup2"));

        writeClientKey(QStringLiteral("0123"));
        StationWindow malformed(1, files().programDir(), files().port(1));
        hint = malformed.findChild<QLabel *>(QStringLiteral("lblHinweis"));
        QTRY_VERIFY(hint->isVisibleTo(&malformed));
        QVERIFY(hint->text().startsWith(u"Client.ini: Der Schluessel im Abschnitt „Server“ ist"
                                        u" kein Schlüssel aus 32 bis 128"));
        settle();
        QVERIFY(!shown(1).startEnabled);
    }

    // Without keys, a connection that announced itself from another address than
    // the station's last period gives the port up to the station's address.
    void aStrangerYieldsToTheAddressOfTheLastPeriod()
    {
        auto station = std::make_unique<FakeStation>();
        startWithStation(*station);
        session(1).start(0);
        QVERIFY(station->waitForText("420"));
        clock().advanceMs(60'000);
        session(1).stop();
        station->disconnect();
        QTRY_VERIFY(!shown(1).startEnabled);

        FakeStation stranger;
        QVERIFY(stranger.connectTo(files().port(1), secondLoopback));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForText("Stop1"));
        QVERIFY(shown(1).linkReport.contains(u"verbunden mit 127.0.0.2"));
        FakeStation returned;
        connectStation(returned);
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(shown(1).linkReport.contains(u"verbunden mit 127.0.0.1"));
        FakeStation again;
        QVERIFY(again.connectTo(files().port(1), secondLoopback));
        QVERIFY(again.waitForDisconnect());
        QCOMPARE(returned.socket().state(), QAbstractSocket::ConnectedState);
    }

    void hugeAndBinaryChunksAreShownShortened()
    {
        FakeStation station;
        startWithStation(station);
        QByteArray flood(1 << 20, 'x');
        flood[10] = '\0';
        flood[11] = char(0xFF);
        station.send(flood);
        QTRY_VERIFY(shown(1).runningTime.startsWith(QStringLiteral("xxxxxxxxxx")));
        QVERIFY(shown(1).runningTime.size() < 100);
        // The console still answers at once.
        session(1).start(0);
        QVERIFY(station.waitForText("420"));
    }

    // The panel shows its session: the heading's colour and tooltip, the boxes of
    // the period, the chosen interval (cleared by the stop, so that the next Start
    // is open-ended), the station's figures, and its notices in the status bar.
    void thePanelShowsItsSession()
    {
        ConsoleFixture console;
        QVERIFY(console.start());
        StationPanel &panel = console.window().panel(1);
        FakeStation station;
        QVERIFY(station.connectTo(console.port(1)));
        QTRY_VERIFY(panel.start->isEnabled());
        QVERIFY(panel.heading->toolTip().startsWith(u"Station 1: Port "));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel.headingColour(), StationPanel::red);
        QCOMPARE(panel.runningTime->text(), QStringLiteral("Startup1"));
        station.takeReceived();
        clock().advanceMs(SpacedSender::spacingMs);

        panel.intervals[2]->setChecked(true);
        panel.start->click();
        QVERIFY(station.waitForText("15"));
        QCOMPARE(panel.headingColour(), StationPanel::green);
        QCOMPARE(panel.startTime->text(), QStringLiteral("14:00:00"));
        QVERIFY(!panel.start->isEnabled());
        station.send("Sperre nicht wirksam");
        QTRY_COMPARE(console.window().statusBar()->currentMessage(),
                     QStringLiteral("Station 1: Sperre nicht wirksam"));

        clock().advanceMs(630'000);
        panel.stop->click();
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel.duration->text(), QStringLiteral("00:10:30"));
        QCOMPARE(panel.fee->text(), QStringLiteral("1,05 €"));
        QCOMPARE(panel.runningTime->text(), QStringLiteral("Timer"));
        for (QRadioButton *option : panel.intervals)
            QVERIFY(!option->isChecked());
        const StatisticsBlock &figures = console.window().view(1).statistics();
        QCOMPARE(figures.totalMinutes->text(), QStringLiteral("10"));
        QCOMPARE(figures.totalFees->text(), QStringLiteral("1,05"));
        station.takeReceived();

        clock().advanceMs(SpacedSender::spacingMs);
        panel.start->click();
        QVERIFY(station.waitForText("420"));
        station.disconnect();
        QTRY_COMPARE(panel.headingColour(), StationPanel::amber);
    }
};

QTEST_MAIN(StationLinkTest)
#include "tst_stationlink.moc"
