#include "ConsoleConfig.h"
#include "ConsoleFixture.h"
#include "FakeStation.h"
#include "IniFile.h"
#include "ManualClock.h"
#include "ScopedClock.h"
#include "SpacedSender.h"
#include "StationAddressRule.h"
#include "StationSession.h"
#include "StationWindow.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

namespace {
const QDateTime afternoon(QDate(2026, 3, 14), QTime(14, 0, 0));
const QHostAddress secondLoopback(QStringLiteral("127.0.0.2"));
const QString keyText = QStringLiteral("00112233445566778899aabbccddeeff");
}

class StationLinkTest : public QObject
{
    Q_OBJECT

private:
    TimeServiceStandIn m_timeService; // for the real station windows
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<ScopedClock> m_clockGuard;
    std::unique_ptr<ConsoleFixture> m_console;

    StationPanel &panel(int station) { return m_console->window().panel(station); }
    StationSession &session(int station) { return m_console->window().session(station); }

    qsizetype recordCount(int station) { return m_console->records(station).size(); }

    QString clientIni() const
    {
        return QDir(m_console->programDir()).filePath(QStringLiteral("Client.ini"));
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
        QVERIFY(station.connectTo(m_console->port(number)));
        QTRY_VERIFY(panel(number).start->isEnabled());
        station.send(QByteArrayLiteral("Startup") + QByteArray::number(number));
        QVERIFY(station.waitForText(QByteArrayLiteral("Stop") + QByteArray::number(number)));
        station.takeReceived();
        // Whatever the console sends next leaves this much after its answer.
        m_clock->advanceMs(SpacedSender::spacingMs);
    }

private slots:
    void init()
    {
        m_clock = std::make_unique<ManualClock>(afternoon);
        m_clockGuard = std::make_unique<ScopedClock>(*m_clock);
        m_console = std::make_unique<ConsoleFixture>();
        QVERIFY(m_console->start());
    }

    void cleanup()
    {
        m_console.reset();
        m_clockGuard.reset();
        m_clock.reset();
    }

    // Without the setting, no third station is listened for.
    void twoStationsAreServedWhereNoNumberIsSet()
    {
        m_console = std::make_unique<ConsoleFixture>();
        m_console->reservePorts(3);
        QVERIFY(m_console->start());
        FakeStation first, second, third;
        QVERIFY(first.connectTo(m_console->port(1)));
        QVERIFY(second.connectTo(m_console->port(2)));
        QVERIFY(!third.connectTo(m_console->port(3)));
        QCOMPARE(m_console->window().stationCount(), 2);
    }

    // Beyond the second station, a station works as the first two do: on its own
    // port, by its own messages, into its own tables.
    void aThirdStationIsBilledIntoItsOwnTables()
    {
        m_console = std::make_unique<ConsoleFixture>();
        m_console->useStations(4);
        QVERIFY(m_console->start());
        FakeStation station;
        connectStation(station, 3);
        QVERIFY(!panel(4).start->isEnabled());
        station.send("00:00:00Start3");
        QVERIFY(station.waitForText("420"));
        QCOMPARE(panel(3).headingColour(), StationPanel::green);
        station.takeReceived();
        m_clock->advanceMs(600'000);
        station.send("00:00:00Stop3");
        QVERIFY(station.waitForText("Stop3"));
        QCOMPARE(recordCount(3), 1);
        QCOMPARE(m_console->window().database().recorder().readTotalMinutes(3), 10);
        QCOMPARE(m_console->window().view(3).statistics().totalMinutes->text(),
                 QStringLiteral("10"));
        for (int other : {1, 2, 4})
            QCOMPARE(recordCount(other), 0);
    }

    // With an address set, a connection from any other is closed before a word
    // crosses, also while the station is connected, and counted where the operator
    // can look; the port goes on listening. A station without an address takes any,
    // one with an address that is none takes nobody and is told at start.
    void onlyTheStationsOwnAddressIsAnswered()
    {
        m_console = std::make_unique<ConsoleFixture>();
        m_console->useStations(3);
        using ConsoleKeys::stationAddress;
        m_console->writeIni(ConsoleKeys::stationsSection, stationAddress(1),
                            QStringLiteral("127.0.0.2"));
        m_console->writeIni(ConsoleKeys::stationsSection, stationAddress(3),
                            QStringLiteral("pc 3"));
        MessageRecorder messages;
        QVERIFY(m_console->start());
        QCOMPARE(messages.texts(),
                 QStringList{QStringLiteral(
                     "Kavo.ini: „pc 3“ unter „Adresse3“ im Abschnitt „Stationen“ ist weder eine"
                     " IPv4-Adresse noch ein Rechnername. Kavo nimmt von Station 3 keine"
                     " Verbindung an, bis der Wert berichtigt ist.")});

        FakeStation stranger;
        QVERIFY(stranger.connectTo(m_console->port(1)));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(stranger.takeReceived().isEmpty());
        QVERIFY(!panel(1).start->isEnabled());
        const QString once = QStringLiteral(
            "Station 1: 1 fremde Verbindung abgewiesen, zuletzt 127.0.0.1, 14:00:00");
        QVERIFY(panel(1).heading->toolTip().split(u'\n').contains(once));
        QCOMPARE(m_console->window().statusBar()->currentMessage(), once);

        FakeStation station;
        QVERIFY(station.connectTo(m_console->port(1), secondLoopback));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QVERIFY(panel(1).start->isEnabled());
        m_clock->advanceMs(65'000);
        FakeStation again;
        QVERIFY(again.connectTo(m_console->port(1)));
        QVERIFY(again.waitForDisconnect());
        QCOMPARE(panel(1).heading->toolTip(),
                 QStringLiteral("Station 1: Port %1 verbunden mit 127.0.0.2 seit 14:00:00\n"
                                "Station 1: 2 fremde Verbindungen abgewiesen, zuletzt"
                                " 127.0.0.1, 14:01:05")
                     .arg(m_console->port(1)));
        QCOMPARE(station.socket().state(), QAbstractSocket::ConnectedState);

        FakeStation anyone, nobody;
        QVERIFY(anyone.connectTo(m_console->port(2)));
        QTRY_VERIFY(panel(2).start->isEnabled());
        QCOMPARE(panel(2).heading->toolTip(),
                 QStringLiteral("Station 2: Port %1 verbunden mit 127.0.0.1 seit 14:01:05")
                     .arg(m_console->port(2)));
        QVERIFY(nobody.connectTo(m_console->port(3), secondLoopback));
        QVERIFY(nobody.waitForDisconnect());
        QVERIFY(panel(3).heading->toolTip().contains(u"\nStation 3: 1 fremde"));
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
        m_clock->advanceMs(29'999);
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(lookedUp.size(), 1);
        m_clock->advanceMs(1);
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(lookedUp.size(), 2);
        m_clock->advanceMs(60'000);
        QVERIFY(!rule.admits(station)); // the lookup still runs
        QCOMPARE(lookedUp.size(), 2);
        QCOMPARE(rule.lastRefusal(), QStringLiteral("127.0.0.2, 14:01:30"));
        answer({secondLoopback});
        QVERIFY(rule.admits(station));
        QVERIFY(!rule.admits(stranger));
        QCOMPARE(rule.refusedCount(), 5);
        QCOMPARE(lookedUp.size(), 3);
    }

    void announcementActivatesOnlyItsPanel()
    {
        FakeStation station;
        QVERIFY(station.connectTo(m_console->port(1)));
        QTRY_VERIFY(panel(1).start->isEnabled());
        QVERIFY(!panel(2).start->isEnabled());
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel(1).headingColour(), StationPanel::red);
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("Startup1"));
        QCOMPARE(recordCount(1), 0);
    }

    void secondConnectionIsRefusedAndTheLinkReturns()
    {
        FakeStation first;
        connectStation(first);
        FakeStation intruder;
        intruder.connectTo(m_console->port(1), QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(intruder.waitForDisconnect());
        QCOMPARE(first.socket().state(), QAbstractSocket::ConnectedState);

        // The station's PC restarted without closing its connection: it comes back
        // from the same address and takes the port over at once.
        FakeStation restarted;
        connectStation(restarted);
        QVERIFY(first.waitForDisconnect());
        restarted.disconnect();
        QTRY_VERIFY(!panel(1).start->isEnabled());

        FakeStation again;
        connectStation(again);
        QVERIFY(panel(1).start->isEnabled());
    }

    void intervalChoiceDecidesTheStartText()
    {
        FakeStation station;
        connectStation(station);
        panel(1).intervals[2]->setChecked(true);
        panel(1).start->click();
        QVERIFY(station.waitForText("15"));
        QCOMPARE(panel(1).headingColour(), StationPanel::green);
        QCOMPARE(panel(1).startTime->text(), QStringLiteral("14:00:00"));
        QVERIFY(!panel(1).start->isEnabled());

        m_clock->advanceMs(630'000);
        panel(1).stop->click();
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel(1).duration->text(), QStringLiteral("00:10:30"));
        QCOMPARE(panel(1).fee->text(), QStringLiteral("1,05 €"));
        for (QRadioButton *option : panel(1).intervals)
            QVERIFY(!option->isChecked());
        station.takeReceived();

        m_clock->advanceMs(SpacedSender::spacingMs);
        panel(1).start->click();
        QVERIFY(station.waitForText("420"));
    }

    void stationStopBillsOnceAndAnswers()
    {
        FakeStation station;
        connectStation(station);
        panel(1).intervals[0]->setChecked(true);
        panel(1).start->click();
        QVERIFY(station.waitForText("5"));
        station.takeReceived();
        m_clock->advanceMs(300'000);
        // Time texts that piled up in front of the stop do not hide it.
        station.send("00:00:0100:00:00Stop1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel(1).duration->text(), QStringLiteral("00:05:00"));
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("00:00:0100:00:00Stop1"));
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(m_console->window().view(1).statistics().totalMinutes->text(),
                 QStringLiteral("5"));
        QCOMPARE(m_console->window().view(1).statistics().totalFees->text(), QStringLiteral("0,5"));

        // The station's own stop answering the console's arrives later: it is
        // answered, so that a station still counting ends, and nothing more is billed.
        station.takeReceived();
        m_clock->advanceMs(SpacedSender::spacingMs);
        station.send("Stop1");
        QVERIFY(station.waitForText("Stop1"));
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("Stop1"));
        QCOMPARE(recordCount(1), 1);
        QVERIFY(!session(1).periodRunning());
        settle();
        QCOMPARE(station.takeReceived(), QByteArray("Stop1"));
    }

    void chunksThatAreNoMessageAreOnlyShown()
    {
        FakeStation station;
        connectStation(station);
        panel(1).start->click();
        QVERIFY(station.waitForText("420"));
        station.send("Stop100:00:00");
        QTRY_COMPARE(panel(1).runningTime->text(), QStringLiteral("Stop100:00:00"));
        QVERIFY(session(1).periodRunning());
        station.send("Start2");
        QTRY_COMPARE(panel(1).runningTime->text(), QStringLiteral("Start2"));
        QCOMPARE(recordCount(1), 0);
    }

    // A station whose cover cannot hold keyboard and mouse says so: its panel shows
    // the text, and the operator is told which station stands open.
    void aLockThatCannotHoldIsTold()
    {
        FakeStation station;
        connectStation(station);
        QSignalSpy notices(&m_console->window().session(1), &StationSession::notice);
        station.send("Sperre nicht wirksam");
        QTRY_COMPARE(notices.size(), 1);
        QCOMPARE(notices.front().front().toString(),
                 QStringLiteral("Station 1: Sperre nicht wirksam"));
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("Sperre nicht wirksam"));
        QVERIFY(!session(1).periodRunning());
    }

    void stopWithoutPeriodBillsNothing()
    {
        FakeStation station;
        connectStation(station);
        panel(1).stop->click();
        QCOMPARE(panel(1).headingColour(), StationPanel::red);
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("Timer"));
        QVERIFY(panel(1).start->isEnabled());
        QVERIFY(!panel(1).stop->isEnabled());
        QVERIFY(panel(1).duration->text().isEmpty());
        QCOMPARE(recordCount(1), 0);
    }

    void withoutStationPeriodsAreBilled()
    {
        panel(2).withoutStation->click();
        QVERIFY(panel(2).start->isEnabled());
        panel(2).start->click();
        m_clock->advanceMs(3'600'000);
        panel(2).stop->click();
        QCOMPARE(panel(2).duration->text(), QStringLiteral("01:00:00"));
        QCOMPARE(panel(2).fee->text(), QStringLiteral("4,00 €"));
        QCOMPARE(recordCount(2), 1);
        QCOMPARE(recordCount(1), 0);
    }

    void periodSurvivesTheLossOfTheLinkAndResumes()
    {
        auto station = std::make_unique<FakeStation>();
        connectStation(*station);
        panel(1).intervals[3]->setChecked(true);
        panel(1).start->click();
        QVERIFY(station->waitForText("30"));
        station->send("00:12:00");
        QTRY_COMPARE(panel(1).runningTime->text(), QStringLiteral("00:12:00"));
        station->disconnect();
        QTRY_VERIFY(!panel(1).pcInfo->isEnabled());
        QCOMPARE(panel(1).headingColour(), StationPanel::amber);

        // The station comes back idle; it is told to go on with the 9 1/2 minutes left.
        m_clock->advanceMs(1'230'000);
        FakeStation returned;
        QVERIFY(returned.connectTo(m_console->port(1)));
        returned.send("Startup1");
        QVERIFY(returned.waitForText("Stop1"));
        QCOMPARE(panel(1).headingColour(), StationPanel::green);
        QVERIFY(!panel(1).start->isEnabled());
        QVERIFY(panel(1).stop->isEnabled());
        settle();
        QCOMPARE(returned.takeReceived(), QByteArray("Stop1"));
        m_clock->advanceMs(SpacedSender::spacingMs);
        QVERIFY(returned.waitForText("10"));
        QCOMPARE(returned.takeReceived(), QByteArray("10"));
        QVERIFY(session(1).periodRunning());
        panel(1).stop->click();
        QCOMPARE(panel(1).duration->text(), QStringLiteral("00:20:30"));
        QCOMPARE(recordCount(1), 1);
    }

    // A period whose station went away is in alarm at once, the status bar naming
    // the station, and Stop alone stays on: it bills the period once. Start waits
    // for the station or "Ohne Client".
    void stopAfterTheLinkIsLostBillsOnce()
    {
        auto station = std::make_unique<FakeStation>();
        connectStation(*station);
        panel(1).start->click();
        QVERIFY(station->waitForText("420"));
        station->disconnect();
        QTRY_COMPARE(panel(1).headingColour(), StationPanel::amber);
        QVERIFY(panel(1).stop->isEnabled());
        QVERIFY(!panel(1).start->isEnabled() && !panel(1).pcInfo->isEnabled());
        QCOMPARE(m_console->window().statusBar()->currentMessage(),
                 QStringLiteral("Station 1 meldet sich nicht seit 14:00:00."));
        m_clock->advanceMs(600'000);
        QTRY_COMPARE(panel(1).runningTime->text(),
                     QStringLiteral("Station meldet sich nicht seit 00:10:00"));

        panel(1).stop->click();
        QCOMPARE(panel(1).duration->text(), QStringLiteral("00:10:00"));
        QCOMPARE(panel(1).headingColour(), StationPanel::red);
        QCOMPARE(panel(1).runningTime->text(), QStringLiteral("Timer"));
        QVERIFY(!panel(1).start->isEnabled() && !panel(1).stop->isEnabled());
        QVERIFY(m_console->window().statusBar()->currentMessage().isEmpty());
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
        connectStation(station);
        station.send("Start1");
        QVERIFY(station.waitForText("420"));
        QVERIFY(session(1).periodRunning());
        QCOMPARE(panel(1).headingColour(), StationPanel::green);
        QCOMPARE(recordCount(1), 0);

        // A start while a period runs bills the open one before the new one begins.
        station.takeReceived();
        m_clock->advanceMs(20 * 60 * 1000);
        station.send("00:00:00Start1");
        QVERIFY(station.waitForText("420"));
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(panel(1).startTime->text(), QStringLiteral("14:20:00"));
        QVERIFY(panel(1).duration->text().isEmpty());
        QVERIFY(session(1).periodRunning());
    }

    // With a key set, only the station that proves it is heard: plain text from its
    // own address is refused and counted, never answered nor billed, also while the
    // station is linked; a second connection that proves the key takes the port
    // over, as the station's PC restarted would.
    void aKeyedStationIsTheOnlyOneHeard()
    {
        m_console = std::make_unique<ConsoleFixture>();
        m_console->writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationKey(1), keyText);
        QVERIFY(m_console->start());
        const QString refusedOnce = QStringLiteral(
            "Station 1: 1 Verbindung ohne Schlüssel abgewiesen (Schluessel1 ist gesetzt, der"
            " Kunden-PC hat keinen), zuletzt 127.0.0.1, 14:00:00");
        FakeStation stranger;
        QVERIFY(stranger.connectTo(m_console->port(1)));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(stranger.takeReceived().isEmpty());
        QCOMPARE(m_console->window().statusBar()->currentMessage(), refusedOnce);
        QVERIFY(!panel(1).start->isEnabled());

        writeClientKey(keyText);
        const std::unique_ptr<StationWindow> station = m_console->createStation(1);
        QTRY_VERIFY(panel(1).start->isEnabled());
        QCOMPARE(panel(1).heading->toolTip(),
                 QStringLiteral("Station 1: Port %1 verbunden mit 127.0.0.1 seit 14:00:00"
                                " (Schlüssel bewiesen)\n")
                         .arg(m_console->port(1))
                     + refusedOnce);
        m_clock->advanceMs(SpacedSender::spacingMs);
        panel(1).start->click();
        QTRY_VERIFY(stationButton(*station, "cmdStop")->isEnabled());

        FakeStation customer;
        QVERIFY(customer.connectTo(m_console->port(1)));
        customer.send("Stop1");
        QVERIFY(customer.waitForDisconnect());
        QVERIFY(customer.takeReceived().isEmpty());
        QVERIFY(session(1).periodRunning());
        QVERIFY(!stationButton(*station, "cmdVerbinden")->isEnabled());
        QVERIFY(m_console->window().statusBar()->currentMessage().startsWith(
            u"Station 1: 2 Verbindungen ohne Schlüssel"));

        m_clock->advanceMs(600'000);
        panel(1).stop->click();
        QCOMPARE(recordCount(1), 1);
        QCOMPARE(panel(1).duration->text(), QStringLiteral("00:10:00"));

        TcpConnection restarted;
        restarted.setPreSharedKey(PreSharedKey::fromText(keyText, 1));
        QSignalSpy restartedConnected(&restarted, &TcpConnection::connected);
        restarted.connectTo(QStringLiteral("127.0.0.1"), m_console->port(1));
        QTRY_COMPARE(restartedConnected.size(), 1);
        QTRY_VERIFY(stationButton(*station, "cmdVerbinden")->isEnabled());
        QVERIFY(panel(1).start->isEnabled());
    }

    // A key on one side only: no connection, and the side with the key says which
    // is missing, the console in its status bar, the station in its window.
    void aKeyOnOneSideOnlyIsTold()
    {
        writeClientKey(keyText);
        Failure written = IniFile::write(clientIni(), QStringLiteral("Server"),
                                         QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
        QVERIFY(!written);
        StationWindow station(2, m_console->programDir(), m_console->port(2));
        auto *hint = station.findChild<QLabel *>(QStringLiteral("lblHinweis"));
        QTRY_VERIFY(hint->isVisibleTo(&station));
        QCOMPARE(hint->text(),
                 QStringLiteral("Station 2: Die Kasse nimmt die verschlüsselte Verbindung nicht"
                                " an. Client.ini hat einen Schluessel; in Kavo.ini fehlt"
                                " Schluessel2, oder er ist ein anderer."));
        QCOMPARE(m_console->window().statusBar()->currentMessage(),
                 QStringLiteral("Station 2: 1 Verbindung mit Schlüssel abgewiesen (der Kunden-PC"
                                " hat einen Schlüssel, Schluessel2 ist nicht gesetzt), zuletzt"
                                " 127.0.0.1, 14:00:00"));
        QVERIFY(!panel(2).start->isEnabled());
        QVERIFY(panel(2).runningTime->text() != QStringLiteral("Startup2"));

        writeClientKey(QStringLiteral("0123"));
        StationWindow malformed(1, m_console->programDir(), m_console->port(1));
        hint = malformed.findChild<QLabel *>(QStringLiteral("lblHinweis"));
        QTRY_VERIFY(hint->isVisibleTo(&malformed));
        QVERIFY(hint->text().startsWith(u"Client.ini: Der Schluessel im Abschnitt „Server“ ist"
                                        u" kein Schlüssel aus 32 bis 128"));
        settle();
        QVERIFY(!panel(1).start->isEnabled());
    }

    // Without keys, a connection that announced itself from another address than
    // the station's last period gives the port up to the station's address.
    void aStrangerYieldsToTheAddressOfTheLastPeriod()
    {
        auto station = std::make_unique<FakeStation>();
        connectStation(*station);
        panel(1).start->click();
        QVERIFY(station->waitForText("420"));
        m_clock->advanceMs(60'000);
        panel(1).stop->click();
        station->disconnect();
        QTRY_VERIFY(!panel(1).start->isEnabled());

        FakeStation stranger;
        QVERIFY(stranger.connectTo(m_console->port(1), secondLoopback));
        stranger.send("Startup1");
        QVERIFY(stranger.waitForText("Stop1"));
        QVERIFY(panel(1).heading->toolTip().contains(u"verbunden mit 127.0.0.2"));
        FakeStation returned;
        connectStation(returned);
        QVERIFY(stranger.waitForDisconnect());
        QVERIFY(panel(1).heading->toolTip().contains(u"verbunden mit 127.0.0.1"));
        FakeStation again;
        QVERIFY(again.connectTo(m_console->port(1), secondLoopback));
        QVERIFY(again.waitForDisconnect());
        QCOMPARE(returned.socket().state(), QAbstractSocket::ConnectedState);
    }

    void hugeAndBinaryChunksAreShownShortened()
    {
        FakeStation station;
        connectStation(station);
        QByteArray flood(1 << 20, 'x');
        flood[10] = '\0';
        flood[11] = char(0xFF);
        station.send(flood);
        QTRY_VERIFY(panel(1).runningTime->text().startsWith(QStringLiteral("xxxxxxxxxx")));
        QVERIFY(panel(1).runningTime->text().size() < 100);
        // The console still answers at once.
        panel(1).start->click();
        QVERIFY(station.waitForText("420"));
    }
};

QTEST_MAIN(StationLinkTest)
#include "tst_stationlink.moc"
