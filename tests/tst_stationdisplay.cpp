#include "CoverGuard.h"
#include "CustomerSession.h"
#include "DaytimeClock.h"
#include "FakeConsole.h"
#include "HomeReset.h"
#include "ManualClock.h"
#include "Protocol.h"
#include "ScopedClock.h"
#include "SpacedSender.h"
#include "StationDisplay.h"
#include "StationNumber.h"
#include "StationOnTestClock.h"
#include "StationSettings.h"
#include "TcpConnection.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include <map>
#include <memory>

namespace {
// The settings a station reads from a Client.ini of these bytes.
StationSettings settingsOf(const QByteArray &ini)
{
    QTemporaryDir directory;
    QFile file(directory.filePath(QStringLiteral("Client.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(ini);
    file.close();
    return StationSettings::read(directory.path());
}

using Item = StationDisplay::Item;

// A period that runs out sends its stop this long after its last time text.
constexpr qint64 stopPauseMs = 200;
const QDateTime afternoon(QDate(2004, 5, 12), QTime(14, 3, 22, 500));

// Station 1's display with its Client.ini in a directory of its own, on a clock
// moved by hand, with a console stand-in on loopback. What the display says is
// kept as its window would show it.
class DisplayRig : public StationOnTestClock
{
public:
    explicit DisplayRig(const QDateTime &start = afternoon)
        : StationOnTestClock(start, 1)
    {
    }

    void start()
    {
        display = std::make_unique<StationDisplay>(1, directory(), console.port());
        keepWhatIsShown();
        display->start();
    }

    // Starts the station with the console's address (and the keys and sections
    // given) and waits for the console's answer to its announcement to take effect.
    bool startConnected(const QByteArray &serverKeys = {}, const QByteArray &sections = {})
    {
        writeIni("[Server]\r\nIP=127.0.0.1\r\n" + serverKeys + sections);
        start();
        return QTest::qWaitFor([this] { return canStart && !shown(Item::CurrentTime); });
    }

    bool shown(Item item) const
    {
        const auto found = m_shown.find(item);
        return found == m_shown.end() || found->second;
    }

    TcpConnection *link() const
    {
        return display->findChild<TcpConnection *>(QStringLiteral("Winsock1"));
    }

    std::unique_ptr<StationDisplay> display;

    QString caption = QStringLiteral("Client1");
    QStringList captions; // each change
    QString endDate;
    QString endTime;
    bool canConnect = true;
    bool canStart = true;
    bool canStop = true;

private:
    void keepWhatIsShown()
    {
        const StationDisplay *source = display.get();
        QObject::connect(source, &StationDisplay::captionChanged, source,
                         [this](const QString &text) {
                             if (text != caption)
                                 captions << (caption = text);
                         });
        QObject::connect(source, &StationDisplay::shownChanged, source,
                         [this](Item item, bool isShown) { m_shown[item] = isShown; });
        QObject::connect(source, &StationDisplay::endDateChanged, source,
                         [this](const QString &text) { endDate = text; });
        QObject::connect(source, &StationDisplay::endTimeChanged, source,
                         [this](const QString &text) { endTime = text; });
        QObject::connect(source, &StationDisplay::canConnectChanged, source,
                         [this](bool enabled) { canConnect = enabled; });
        QObject::connect(source, &StationDisplay::canStartChanged, source,
                         [this](bool enabled) { canStart = enabled; });
        QObject::connect(source, &StationDisplay::canStopChanged, source,
                         [this](bool enabled) { canStop = enabled; });
    }

    std::map<Item, bool> m_shown; // items never set are shown
};

const QByteArray lockOn = "[Sperre]\r\nAktiv=1\r\n";

// Wake-ups a few milliseconds early and late, some beyond the display's margin.
const QList<int> timerJitter{-4, 3, -1, 5, -30, 2, 0, 25, -3, -2, 4, -25, 1};

// The address sanitizer keeps freed memory aside to catch its later use: there the
// resident size does not tell whether memory is given back.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool underAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool underAddressSanitizer = false;
#endif

qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}
}

class StationDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void lostConnectionIsNotTakenUpAgainByItself()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        rig.console.dropStation();
        QTRY_VERIFY(!rig.canStart);
        QVERIFY(rig.canConnect);
        settle();
        QCOMPARE(rig.console.connectionCount(), 1);

        rig.display->reconnect();
        QTRY_COMPARE(rig.console.connectionCount(), 2);
        QTRY_COMPARE(rig.console.messages().count(QStringLiteral("Startup1")), 2);
    }

    void consoleAddressFromClientIni()
    {
        MessageRecorder shownMessages;
        DisplayRig missing;
        missing.start();
        QCOMPARE(missing.display->serverAddress(), QString());
        QSignalSpy failed(missing.link(), &TcpConnection::error);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(missing.console.connectionCount(), 0);
        QVERIFY(missing.canConnect);
        QVERIFY(shownMessages.shown().isEmpty());

        DisplayRig longValue;
        longValue.writeIni("[Server]\r\nIP=" + QByteArray(250, 'h') + "\r\n");
        longValue.start();
        QCOMPARE(longValue.display->serverAddress(), QString(199, QLatin1Char('h')));
    }

    // The key wins over the name; only a key missing or empty leaves it to the name.
    void stationNumberFromClientIniOrProgramName_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("programName");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("problem");
        const QByteArray noKey = "[Server]\r\nIP=127.0.0.1\r\n";
        const QString badKey = QStringLiteral(
            u"In Client.ini steht im Abschnitt [Server] „Station=%1“. Die Stationsnummer muss "
            u"eine Zahl von 1 bis 32 sein. Diese Station verbindet sich nicht mit Kavo, bis der "
            u"Wert berichtigt ist.");
        const QString badName = QStringLiteral(
            u"In Client.ini fehlt im Abschnitt [Server] der Eintrag „Station“, und der "
            u"Programmname „%1“ nennt keine Stationsnummer von 1 bis 32. Diese Station läuft "
            u"als Station 1.");
        QTest::newRow("key") << noKey + "Station=7\r\n"
                             << "Client1" << 7 << QString();
        QTest::newRow("key, any case, blanks")
            << QByteArray("[server]\r\nstation = 32 \r\n") << "Client2" << 32 << QString();
        QTest::newRow("key over a bad name") << noKey + "Station=07"
                                             << "kavo-client" << 7 << QString();
        QTest::newRow("name") << noKey << "Client2" << 2 << QString();
        QTest::newRow("name, empty key") << noKey + "Station="
                                         << "Client12" << 12 << QString();
        QTest::newRow("name, no file") << QByteArray() << "Client1" << 1 << QString();
        QTest::newRow("key commented out") << noKey + ";Station=7"
                                           << "Client2" << 2 << QString();
        QTest::newRow("key too big") << noKey + "Station=33"
                                     << "Client2" << 1 << badKey.arg(QStringLiteral("33"));
        QTest::newRow("key 0") << noKey + "Station=0"
                               << "Client2" << 1 << badKey.arg(QStringLiteral("0"));
        QTest::newRow("key a word") << noKey + "Station=sieben"
                                    << "Client7" << 1 << badKey.arg(QStringLiteral("sieben"));
        QTest::newRow("key signed") << noKey + "Station=-3"
                                    << "Client2" << 1 << badKey.arg(QStringLiteral("-3"));
        QTest::newRow("key %1") << noKey + "Station=%1"
                                << "Client2" << 1 << badKey.arg(QStringLiteral("%1"));
        QTest::newRow("name without number")
            << noKey << "kavo-client" << 1 << badName.arg(QStringLiteral("kavo-client"));
        QTest::newRow("name too big")
            << noKey << "Client33" << 1 << badName.arg(QStringLiteral("Client33"));
        QTest::newRow("name with more")
            << noKey << "Client1.bak" << 1 << badName.arg(QStringLiteral("Client1.bak"));
    }
    void stationNumberFromClientIniOrProgramName()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, programName);
        QTemporaryDir directory;
        if (!ini.isEmpty()) {
            QFile file(directory.filePath(QStringLiteral("Client.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        const StationNumber number = StationNumber::find(directory.path(), programName);
        QTEST(number.value(), "number");
        QTEST(number.problem(), "problem");
    }

    void lockAndReconnectKeysOfClientIni_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("company");
        QTest::addColumn<int>("reconnectSeconds"); // 0: none
        const QString text = QStringLiteral("Bitte an der Kasse freischalten.");
        const QByteArray server = "[Server]\r\nIP=127.0.0.1\r\nWiederverbinden=";
        QTest::newRow("no keys") << QByteArray("[Server]\r\nIP=127.0.0.1\r\n") << false << text
                                 << QString() << 0;
        QTest::newRow("lock") << lockOn << true << text << QString() << 10;
        QTest::newRow("lock, any case, blanks")
            << QByteArray("[sperre]\r\naktiv = 1 \r\n") << true << text << QString() << 10;
        QTest::newRow("lock not 1")
            << QByteArray("[Sperre]\r\nAktiv=ja\r\n") << false << text << QString() << 0;
        QTest::newRow("text and company") << lockOn + "Text=Bitte zahlen.\r\nFirma=Netz-Eck\r\n"
                                          << true << "Bitte zahlen."
                                          << "Netz-Eck" << 10;
        QTest::newRow("reconnect without lock")
            << server + "30" << false << text << QString() << 30;
        QTest::newRow("reconnect 3600") << server + "3600" << false << text << QString() << 3600;
        QTest::newRow("0 with lock") << lockOn + server + "0" << true << text << QString() << 0;
        QTest::newRow("empty with lock") << lockOn + server << true << text << QString() << 10;
        QTest::newRow("too big with lock")
            << lockOn + server + "5000" << true << text << QString() << 10;
        QTest::newRow("too big") << server + "5000" << false << text << QString() << 0;
        QTest::newRow("a word") << server + "zehn" << false << text << QString() << 0;
        QTest::newRow("signed with lock")
            << lockOn + server + "-1" << true << text << QString() << 10;
    }
    void lockAndReconnectKeysOfClientIni()
    {
        QFETCH(QByteArray, ini);
        const StationSettings settings = settingsOf(ini);
        QTEST(settings.lockActive(), "lock");
        QTEST(settings.lockText(), "text");
        QTEST(settings.company(), "company");
        QTEST(settings.reconnectSeconds().value_or(0), "reconnectSeconds");
    }

    void customerAndTimeKeysOfClientIni_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("customer");
        QTest::addColumn<bool>("resetsHome");
        QTest::addColumn<QString>("timeServer");
        const QString ownServer = QString::fromLatin1(DaytimeClock::TimeServerHost);
        QTest::newRow("no keys") << lockOn << QString() << false << ownServer;
        QTest::newRow("customer, reset") << lockOn + "Kunde= kunde \r\nZuruecksetzen=1\r\n"
                                         << "kunde" << true << ownServer;
        QTest::newRow("reset not 1") << lockOn + "Zuruecksetzen=ja\r\n"
                                     << QString() << false << ownServer;
        QTest::newRow("time server") << QByteArray("[Zeit]\r\nServer=192.168.0.10\r\n") << QString()
                                     << false << "192.168.0.10";
        QTest::newRow("no time server")
            << QByteArray("[Zeit]\r\nServer=\r\n") << QString() << false << QString();
    }
    void customerAndTimeKeysOfClientIni()
    {
        QFETCH(QByteArray, ini);
        const StationSettings settings = settingsOf(ini);
        QTEST(settings.customer(), "customer");
        QTEST(settings.resetsHome(), "resetsHome");
        QTEST(settings.timeServer(), "timeServer");
    }

    // The guard orders the screen held at once whenever the cover is wanted or lost,
    // and again every moment until keyboard and pointer are the cover's; then only
    // now and then. A refusal, or the cover taken away, is told once until the input
    // is won back.
    void coverGuardWinsTheScreenBack()
    {
        ManualClock clock(afternoon);
        ScopedClock scopedClock(clock);
        CoverGuard guard;
        QSignalSpy holds(&guard, &CoverGuard::holdDue);
        QSignalSpy failures(&guard, &CoverGuard::lockFailed);
        using State = CoverGuard::State;
        const auto advance = [&clock](qint64 ms) {
            clock.advanceMs(ms);
            settle();
        };

        guard.coverLost();
        QCOMPARE(holds.size(), 0); // no cover wanted: nothing to hold
        guard.setCovered(true);
        QCOMPARE(holds.size(), 1);
        QCOMPARE(guard.state(), State::Unmapped);
        guard.grabTaken();
        QCOMPARE(guard.state(), State::Holding);
        advance(CoverGuard::checkMs - 1);
        QCOMPARE(holds.size(), 1);
        advance(1);
        QCOMPARE(holds.size(), 2);
        guard.grabTaken();

        // Unmapped by another program: held again at once, and until it answers.
        guard.coverLost();
        QCOMPARE(guard.state(), State::Unmapped);
        QCOMPARE(holds.size(), 3);
        QCOMPARE(failures.size(), 1);
        advance(CoverGuard::retryMs);
        QCOMPARE(holds.size(), 4);
        guard.coverLost(); // found not on the screen yet: no news
        QCOMPARE(failures.size(), 1);
        guard.grabTaken();
        // A window above it: raised at once, no news.
        guard.coverObscured();
        QCOMPARE(holds.size(), 6);
        QCOMPARE(guard.state(), State::Holding);
        QCOMPARE(failures.size(), 1);
        guard.grabTaken();

        // Another program holds the input: told once, tried again every moment.
        guard.grabRefused();
        QCOMPARE(guard.state(), State::GrabRefused);
        QCOMPARE(failures.size(), 2);
        advance(CoverGuard::retryMs);
        QCOMPARE(holds.size(), 7);
        guard.coverLost();
        guard.grabRefused();
        QCOMPARE(failures.size(), 2);
        guard.grabTaken(); // won back
        QCOMPARE(guard.state(), State::Holding);
        guard.grabRefused();
        QCOMPARE(failures.size(), 3);

        guard.setCovered(false);
        QCOMPARE(guard.state(), State::Uncovered);
        const qsizetype held = holds.size();
        guard.coverLost();
        guard.grabRefused();
        advance(10 * CoverGuard::checkMs);
        QCOMPARE(holds.size(), held);
        QCOMPARE(failures.size(), 3);
    }

    // The station tells the console when its cover cannot hold the input; a station
    // without the lock never covers, so never holds.
    void aLockThatCannotHoldIsToldToTheConsole()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected("Wiederverbinden=0\r\n", lockOn));
        CoverGuard *guard = rig.display->guard();
        QCOMPARE(guard->state(), CoverGuard::State::Unmapped);
        guard->grabRefused();
        QTRY_VERIFY(rig.console.received().endsWith(QStringLiteral("Sperre nicht wirksam")));

        DisplayRig plain;
        QVERIFY(plain.startConnected());
        QCOMPARE(plain.display->guard()->state(), CoverGuard::State::Uncovered);
    }

    // Root and the system's accounts are never taken as the customers' account.
    void onlyAnOrdinaryAccountIsTheCustomers()
    {
        QVERIFY(!CustomerSession(QString(), false).isKept());
        for (const QString &account :
             {QStringLiteral("root"), QStringLiteral("daemon"), QStringLiteral("nobody")}) {
            const Failure failure = CustomerSession(account, true).check();
            QVERIFY2(failure.text().contains(QStringLiteral("ist root oder ein Konto des Systems")),
                     qPrintable(account));
            QVERIFY(failure.text().contains(QStringLiteral("„") + account + QStringLiteral("“")));
        }
        const Failure unknown
            = CustomerSession(QStringLiteral("kein-solches-konto-%1"), false).check();
        QCOMPARE(unknown.text(),
                 QStringLiteral("Das Kundenkonto „kein-solches-konto-%1“ (Client.ini, "
                                "[Sperre] Kunde) gibt es auf diesem PC nicht. Seine "
                                "Programme werden nicht beendet."));
    }

    // The home is emptied and filled from the template; links in either are taken as
    // links, so nothing outside the home is removed or written through them.
    void homeResetStaysInsideTheHome()
    {
        QTemporaryDir root;
        const QDir dir(root.path());
        for (const char *path : {"home/Dokumente/alt", "outside/kept", "vorlage/.config/app"})
            QVERIFY(dir.mkpath(QLatin1String(path)));
        const auto write = [&](const QString &path, const QByteArray &content) {
            QFile file(dir.filePath(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        };
        write(QStringLiteral("home/Dokumente/alt/brief.txt"), "vom letzten Kunden");
        write(QStringLiteral("home/.bash_history"), "geheim");
        write(QStringLiteral("outside/kept/datei"), "bleibt");
        write(QStringLiteral("vorlage/.profile"), "profil");
        write(QStringLiteral("vorlage/.config/app/rc"), "einstellung");
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("outside/kept")),
                            dir.filePath(QStringLiteral("home/nach-draussen"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("outside/kept/datei")),
                            dir.filePath(QStringLiteral("vorlage/verweis"))));

        const QString home = dir.filePath(QStringLiteral("home"));
        const Failure failure = HomeReset::reset(home, ::getuid(), ::getgid(),
                                                 dir.filePath(QStringLiteral("vorlage")));
        QVERIFY2(!failure, qPrintable(failure.text()));
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot
                                      | QDir::System),
                 (QStringList{QStringLiteral(".config"), QStringLiteral(".profile"),
                              QStringLiteral("verweis")}));
        QCOMPARE(QFileInfo(home + QStringLiteral("/verweis")).symLinkTarget(),
                 dir.filePath(QStringLiteral("outside/kept/datei")));
        QFile rc(home + QStringLiteral("/.config/app/rc"));
        QVERIFY(rc.open(QIODevice::ReadOnly));
        QCOMPARE(rc.readAll(), QByteArray("einstellung"));
        QFile kept(dir.filePath(QStringLiteral("outside/kept/datei")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("bleibt"));

        // A home that is a link, or not the account's own, is refused.
        const QString linkedHome = dir.filePath(QStringLiteral("verlinkt"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("outside")), linkedHome));
        QVERIFY(HomeReset::reset(linkedHome, ::getuid(), ::getgid(),
                                 dir.filePath(QStringLiteral("vorlage"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("outside/kept/datei"))));
        QVERIFY(HomeReset::reset(home, ::getuid() + 1, ::getgid(),
                                 dir.filePath(QStringLiteral("vorlage")))
                    .text()
                    .contains(QStringLiteral("gehört nicht dem Kundenkonto")));
    }

    // The cover lies over the idle station from start-up on; a period uncovers it at
    // once, also after its link is lost, and its end covers it again a moment later.
    // Before the end the customer is told of 5 and 1 minutes left; a period shorter
    // than a mark is not told of it.
    void lockCoversTheIdleStationAndTellsOfTheNearEnd()
    {
        {
            // A period handed back right after the end leaves the cover off.
            ManualClock still(afternoon);
            ScopedClock stillClock(still);
            CoverState state(true);
            QSignalSpy changes(&state, &CoverState::coveredChanged);
            state.setPeriodRunning(true);
            state.setPeriodRunning(false);
            still.advanceMs(CoverState::coverDelayMs - 100);
            state.setPeriodRunning(true);
            still.advanceMs(CoverState::coverDelayMs);
            QCOMPARE(changes.size(), 1);
        }
        DisplayRig plain;
        QVERIFY(plain.startConnected());
        QVERIFY(!plain.display->cover()->covered());

        DisplayRig rig;
        QVERIFY(rig.startConnected("Wiederverbinden=0\r\n", lockOn));
        CoverState *cover = rig.display->cover();
        QVERIFY(cover->covered());
        QList<std::pair<bool, qint64>> coverChanges;
        connect(cover, &CoverState::coveredChanged, this, [&](bool covered) {
            coverChanges.append({covered, rig.clock.elapsedMs()});
        });
        QStringList notices;
        connect(rig.display.get(), &StationDisplay::endNoticeDue, this,
                [&](const QString &text) { notices << text + QLatin1Char('@') + rig.caption; });
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:04:00"))
                rig.console.dropStation();
        };
        rig.console.send(QStringLiteral("6"));
        QTRY_VERIFY(!cover->covered());
        QTRY_VERIFY_WITH_TIMEOUT(cover->covered(), 10000);
        QCOMPARE(coverChanges,
                 (QList<std::pair<bool, qint64>>{
                     {false, 0}, {true, 360000 + stopPauseMs + CoverState::coverDelayMs}}));
        QCOMPARE(
            notices,
            QStringList(
                {QStringLiteral(u"Ihre Zeit läuft in 5 Minuten ab.@Client1 Online - 00:05:00"),
                 QStringLiteral(u"Ihre Zeit läuft in 1 Minute ab.@Client1 Online - 00:01:00")}));

        rig.display->reconnect();
        QTRY_COMPARE(rig.console.connectionCount(), 2);
        QTRY_VERIFY(rig.canStart);
        rig.console.send(QStringLiteral("1"));
        QTRY_VERIFY(!cover->covered());
        QTRY_VERIFY(cover->covered());
        QCOMPARE(notices.size(), 2);
    }

    // A station that lost its link connects again by itself, and the console hands
    // back what is left of the period it kept open: the period goes on at the
    // station, uncovered, and no stop leaves for the console to bill.
    void reconnectsByItselfAndGoesOnWithTheHandedBackPeriod()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected("Wiederverbinden=3\r\n", lockOn));
        rig.console.setAnswerStops(false);
        qint64 droppedAtMs = -1;
        qint64 announcedAtMs = -1;
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:29:00")) {
                droppedAtMs = rig.clock.elapsedMs();
                rig.console.dropStation();
            } else if (message == QStringLiteral("Startup1")) {
                // The console's answer left already; what is left follows it.
                announcedAtMs = rig.clock.elapsedMs();
                whenClockReaches(rig.clock, SpacedSender::spacingMs, this,
                                 [&rig] { rig.console.send(QStringLiteral("28")); });
            } else if (message == QStringLiteral("00:27:58")) {
                rig.console.send(QStringLiteral("Stop1"));
            }
        };
        const qsizetype before = rig.console.messages().size();
        rig.console.send(QStringLiteral("30"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.console.messages().endsWith(QStringLiteral("Stop1")), 10000);

        // The link's end is seen a moment after the drop, the clock moving on meanwhile.
        QVERIFY2(announcedAtMs - droppedAtMs >= 3000 && announcedAtMs - droppedAtMs < 5000,
                 qPrintable(QString::number(announcedAtMs - droppedAtMs)));
        const QStringList texts = rig.messagesFrom(before);
        const qsizetype back = texts.indexOf(QStringLiteral("Startup1"));
        QVERIFY(back > 0);
        QCOMPARE(texts.count(QStringLiteral("Stop1")), 1);
        QCOMPARE(texts.mid(texts.size() - 5),
                 QStringList({"00:28:00", "00:27:59", "00:27:58", "00:27:57"}) << "Stop1");
        QTRY_VERIFY(rig.display->cover()->covered());
    }

    void consoleStopEndsThePeriodAfterOneMoreText()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        bool stopSent = false;
        qsizetype captionsAtStop = -1;
        connect(rig.link(), &TcpConnection::dataArrival, this, [&] {
            if (stopSent && captionsAtStop < 0)
                captionsAtStop = rig.captions.size();
        });
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:04:57")) {
                rig.console.send(QStringLiteral("Stop1"));
                stopSent = true;
            }
        };
        rig.console.send(QStringLiteral("5"));

        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1"))
                    && rig.console.messages().size() > 2);
        QVERIFY(captionsAtStop > 0);
        const QStringList afterStop = rig.captions.mid(captionsAtStop);
        QCOMPARE(afterStop.size(), 2);
        QVERIFY(afterStop.at(0).startsWith(QStringLiteral("Client1 Online - 00:04:")));
        QCOMPARE(afterStop.at(1), QStringLiteral("Client1 - bitte freischalten."));
        const QString lastText = afterStop.at(0).mid(QStringLiteral("Client1 Online - ").size());
        QCOMPARE(rig.console.messages().mid(rig.console.messages().size() - 2),
                 QStringList({lastText, QStringLiteral("Stop1")}));
        QVERIFY(!rig.shown(Item::EndTime));
        QVERIFY(rig.clock.elapsedMs() < 10000);
    }

    void timeTextsStepOneSecondWhateverTheTimerJitter_data()
    {
        QTest::addColumn<int>("startMs");
        QTest::newRow("start on the second") << 0;
        QTest::newRow("start mid-second") << 500;
        QTest::newRow("start just before the next second") << 997;
    }
    void timeTextsStepOneSecondWhateverTheTimerJitter()
    {
        QFETCH(int, startMs);
        DisplayRig rig(QDateTime(afternoon.date(), QTime(14, 3, 22, startMs)));
        rig.clock.setWakeUpJitter(timerJitter);
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);

        qsizetype before = rig.console.messages().size();
        rig.console.send(QStringLiteral("2"));
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(rig.messagesFrom(before),
                 FakeConsole::countdownTexts(120, 0) << QStringLiteral("Stop1"));

        before = rig.console.messages().size();
        rig.console.replyTo(QStringLiteral("00:03:00"), QStringLiteral("Stop1"));
        rig.console.send(QStringLiteral("420"));
        QTRY_COMPARE(rig.messagesFrom(before).count(QStringLiteral("Stop1")), 1);
        QStringList expected;
        // The stop's extra pass shows the next second, as every other pass does.
        for (qint64 second = 0; second <= 181; ++second)
            expected.append(Protocol::elapsedTimeText(second));
        QCOMPARE(rig.messagesFrom(before), expected << QStringLiteral("Stop1"));
    }

    void stopInThePeriodsLastSecondRepeatsNoText()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.replyTo(QStringLiteral("00:00:00"), QStringLiteral("Stop1"));
        rig.console.send(QStringLiteral("1"));
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        settle();
        QCOMPARE(rig.messagesFrom(before),
                 FakeConsole::countdownTexts(60, 0) << QStringLiteral("Stop1"));
    }

    void clockSetBackDuringAnEndlessPeriodShowsNoNegativeTime()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.received().size();
        whenClockReaches(rig.clock, 3000, this,
                         [&rig] { rig.clock.setNow(rig.clock.now().addSecs(-3600)); });
        whenClockReaches(rig.clock, 6000, this,
                         [&rig] { rig.console.send(QStringLiteral("Stop1")); });
        rig.console.send(QStringLiteral("420"));
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        const QString sent = rig.console.received().mid(before);
        QVERIFY2(!sent.contains(QLatin1Char('-')), qPrintable(sent.left(200)));
    }

    void longPeriodsShowDays_data()
    {
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<QString>("endDate");
        QTest::addColumn<QString>("endTime");
        QTest::addColumn<QStringList>("firstTexts");
        QTest::newRow("1500 minutes")
            << "1500"
            << "13.05.2004"
            << "15:03:22" << QStringList({"01. 01:00:00", "01. 00:59:59"});
        QTest::newRow("far too many minutes")
            << "123456789012"
            << "21.07.2004"
            << "00:42:22" << QStringList({"69. 10:39:00", "69. 10:38:59"});
    }
    void longPeriodsShowDays()
    {
        QFETCH(QString, chunk);
        QFETCH(QString, endDate);
        QFETCH(QString, endTime);
        QFETCH(QStringList, firstTexts);
        DisplayRig rig(QDateTime(afternoon.date(), QTime(14, 3, 22)));
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        rig.console.replyTo(firstTexts.last(), QStringLiteral("Stop1"));
        rig.console.send(chunk);

        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(rig.messagesFrom(before).mid(0, 2), firstTexts);
        QCOMPARE(rig.captions.at(1), QStringLiteral("Client1 Online - ") + firstTexts.last());
        QCOMPARE(rig.endDate, endDate);
        QCOMPARE(rig.endTime, endTime);
    }

    void periodsAcrossMidnight()
    {
        DisplayRig timed(QDateTime(afternoon.date(), QTime(23, 58, 30, 250)));
        QVERIFY(timed.startConnected());
        qsizetype before = timed.console.messages().size();
        timed.console.send(QStringLiteral("5"));
        QTRY_VERIFY(timed.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(timed.messagesFrom(before),
                 FakeConsole::countdownTexts(300, 0) << QStringLiteral("Stop1"));
        QCOMPARE(timed.endDate, QStringLiteral("13.05.2004"));
        QCOMPARE(timed.endTime, QStringLiteral("00:03:30"));

        DisplayRig endless(QDateTime(afternoon.date(), QTime(23, 55, 0, 700)));
        QVERIFY(endless.startConnected());
        before = endless.console.messages().size();
        endless.console.replyTo(QStringLiteral("00:10:00"), QStringLiteral("Stop1"));
        endless.console.send(QStringLiteral("420"));
        QTRY_VERIFY(endless.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(endless.messagesFrom(before).mid(599, 2), QStringList({"00:09:59", "00:10:00"}));
    }

    void aPeriodStartedDuringAnotherRunsInsideIt()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.replyTo(QStringLiteral("00:04:58"), QStringLiteral("1"));
        rig.console.send(QStringLiteral("5"));

        QTRY_COMPARE(rig.messagesFrom(before).count(QStringLiteral("Stop1")), 2);
        const QStringList texts = rig.messagesFrom(before);
        const qsizetype inner = texts.indexOf(QStringLiteral("00:01:00"));
        QVERIFY(inner >= 3);
        QCOMPARE(texts.mid(inner, 62),
                 FakeConsole::countdownTexts(60, 0) << QStringLiteral("Stop1"));
        QCOMPARE(texts.mid(texts.size() - 2), QStringList({"00:00:00", "Stop1"}));
        QCOMPARE(rig.clock.elapsedMs(),
                 300000 + stopPauseMs); // the first still ends at its own end moment
    }

    void aStopDuringAnInnerPeriodEndsTheOuterOneToo()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:04:58"))
                rig.console.send(QStringLiteral("420"));
            else if (message == QStringLiteral("00:00:05"))
                rig.console.send(QStringLiteral("Stop1"));
        };
        rig.console.send(QStringLiteral("5"));

        // The inner period makes one more pass and reports its stop; the outer one,
        // handed the display back with the stop still requested, does the same.
        QTRY_COMPARE(rig.messagesFrom(before).count(QStringLiteral("Stop1")), 2);
        settle();
        const QStringList texts = rig.messagesFrom(before);
        const qsizetype inner = texts.indexOf(QStringLiteral("00:00:00"));
        QCOMPARE(texts.mid(0, inner), FakeConsole::countdownTexts(300, 298));
        QCOMPARE(texts.mid(inner, 7),
                 QStringList({"00:00:00", "00:00:01", "00:00:02", "00:00:03", "00:00:04",
                              "00:00:05", "00:00:06"}));
        QCOMPARE(texts.at(inner + 7), QStringLiteral("Stop1"));
        QCOMPARE(texts.size(), inner + 10);
        QVERIFY(texts.at(inner + 8).startsWith(QStringLiteral("00:04:5")));
        QCOMPARE(texts.last(), QStringLiteral("Stop1"));
        QVERIFY(!rig.canStop);
        QCOMPARE(rig.caption, QStringLiteral("Client1 - bitte freischalten."));
    }

    // A peer sending start after start once crashed the station: each start ran a
    // display inside the one before, until the call stack overflowed.
    void hundredThousandStartsLeaveTheStationRunning()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        rig.console.setRecording(false);
        // Through the link, as a peer sends them: each start read as a chunk of its own.
        for (int i = 0; i < 200; ++i) {
            const qint64 before = rig.console.bytesReceived();
            rig.console.send(QStringLiteral("5"));
            QTRY_VERIFY(rig.console.bytesReceived() > before);
        }
        // Then straight into the display, as fast as it takes them.
        qint64 residentAfterWarmUp = 0;
        for (int i = 200; i < 100000; ++i) {
            rig.display->handleChunk(QStringLiteral("5"));
            if (i % 1000 == 0)
                QCoreApplication::processEvents();
            if (i == 10000)
                residentAfterWarmUp = residentKilobytes();
        }
        const qint64 sent = 8 * 100000;
        QTRY_VERIFY(rig.console.bytesReceived() >= sent);
        const qint64 growth = residentKilobytes() - residentAfterWarmUp;
        QVERIFY2(underAddressSanitizer || growth < 1024,
                 qPrintable(QStringLiteral("%1 kB more").arg(growth)));

        // Still running, and still stopped by one stop message.
        rig.console.setRecording(true);
        const qsizetype before = rig.console.messages().size();
        QVERIFY(rig.canStop);
        // How far the free clock got while the flood was read depends on the load.
        static const QRegularExpression countingDown(QStringLiteral("^00:0[0-4]:\\d\\d$"));
        QTRY_VERIFY(!rig.messagesFrom(before).filter(countingDown).isEmpty());
        rig.console.send(QStringLiteral("Stop1"));
        QTRY_VERIFY(rig.messagesFrom(before).contains(QStringLiteral("Stop1")));
        settle();
        const qsizetype stops = rig.messagesFrom(before).count(QStringLiteral("Stop1"));
        QVERIFY2(stops >= 1 && stops <= 16, qPrintable(QString::number(stops)));
        QVERIFY(!rig.canStop);
        const qsizetype atEnd = rig.console.messages().size();
        rig.clock.advanceMs(5000);
        settle();
        QCOMPARE(rig.console.messages().size(), atEnd);
    }

    void hugeAndBinaryChunksEndAtOnce()
    {
        DisplayRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        rig.console.sendBytes(QByteArray("\0\0\x80\xff"
                                         "5",
                                         5));
        QTRY_COMPARE(rig.messagesFrom(before), QStringList{"Stop1"});
        QTRY_VERIFY(!rig.canStop); // the console's answer came back

        // A megabyte without a number in it: every piece the station reads is a period
        // of no time, answered with the stop message.
        QByteArray junk(1 << 20, 'x');
        for (qsizetype at = 0; at < junk.size(); at += 997)
            junk[at] = at % 2 ? '\0' : char(0x80 + at % 128);
        rig.console.sendBytes(junk);
        QTRY_VERIFY(rig.console.messages().size() > before + 1);
        // Until the last of it has been read, a stop can arrive run together with it.
        QTRY_VERIFY((rig.console.send(QStringLiteral("Stop1")), !rig.canStop));
        const qsizetype stops = rig.messagesFrom(before).size();
        QTRY_COMPARE(rig.console.received(),
                     QStringLiteral("Startup1") + QStringLiteral("Stop1").repeated(stops));
        // No period ran: only the stops, each on its own, took their moment.
        QVERIFY(rig.clock.elapsedMs() < 10'000);
    }
};

QTEST_GUILESS_MAIN(StationDisplayTest)
#include "tst_stationdisplay.moc"
