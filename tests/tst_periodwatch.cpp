#include "FakeStation.h"
#include "ManualClock.h"
#include "SessionProbe.h"
#include "StationSessionRig.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QDateTime afternoon(QDate(2026, 4, 2), QTime(14, 0, 0));

// A network of this process's own with loopback alone, so that the station program
// started here reaches this test and nothing else: it asks a time server at start
// and, run as root, would set the machine's clock. False where none may be made.
bool ownLoopbackOnly()
{
    if (unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ifreq loopback{};
    std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &loopback) == 0;
    loopback.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &loopback) == 0;
    close(fd);
    return up;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}
}

// The console's watch over running periods: a station silent, frozen or gone,
// and a timed period long over, as its session shows them.
class PeriodWatchTest : public QObject
{
    Q_OBJECT

private slots:
    // A station that should be counting and has said nothing for 5 s is flagged on
    // its panel and in the status bar, the seconds counting on; its next word
    // clears it. Without a running period nothing is watched.
    void aSilentStationIsFlaggedUntilItSpeaks()
    {
        const quint16 port = freePort();
        StationSessionRig rig(afternoon, port);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        SessionProbe view(session);
        session.listen();
        FakeStation station;
        QVERIFY(station.connectTo(port));
        station.send("Startup1");
        QVERIFY(station.waitForText("Stop1"));
        session.start(30);
        station.send("00:29:59");
        QTRY_COMPARE(view.runningTime, QStringLiteral("00:29:59"));

        clock.advanceMs(4'999);

        clock.settle();
        QCOMPARE(view.heading, StationSession::Heading::Running);
        clock.advanceMs(1);
        QTRY_COMPARE(view.heading, StationSession::Heading::Alarm);
        QCOMPARE(view.runningTime, QStringLiteral("Station meldet sich nicht seit 00:00:05"));
        QCOMPARE(view.notice, QStringLiteral("Station 1 meldet sich nicht seit 14:00:00."));
        clock.advanceMs(2'000);
        QTRY_COMPARE(view.runningTime, QStringLiteral("Station meldet sich nicht seit 00:00:07"));

        station.send("00:29:52");
        QTRY_COMPARE(view.heading, StationSession::Heading::Running);
        QCOMPARE(view.runningTime, QStringLiteral("00:29:52"));
        QVERIFY(view.notice.isEmpty());

        session.stop();
        clock.advanceMs(60'000);
        clock.settle();
        QCOMPARE(view.heading, StationSession::Heading::Idle);
        QCOMPARE(view.runningTime, QStringLiteral("Timer"));
    }

    // A timed period still open 30 s after its end is flagged, counting from the
    // end, and billed by the time it really ran. A period run without a station is
    // not taken for a silent one.
    void anOverduePeriodIsFlaggedAndBilledInFull()
    {
        StationSessionRig rig(afternoon);
        QCOMPARE(rig.error(), QString());
        StationSession &session = rig.session();
        ManualClock &clock = rig.clock();
        SessionProbe view(session);
        session.enableWithoutStation();
        session.start(5);
        clock.advanceMs(329'999);
        clock.settle();
        QCOMPARE(view.heading, StationSession::Heading::Running);
        clock.advanceMs(1'001);
        QTRY_COMPARE(view.runningTime, QStringLiteral("Zeit abgelaufen seit 00:00:31"));
        QCOMPARE(view.heading, StationSession::Heading::Alarm);
        QCOMPARE(view.notice, QStringLiteral("Station 1: Zeit abgelaufen seit 14:05:00."));

        clock.advanceMs(149'000);
        session.stop();
        QCOMPARE(session.durationText(), QStringLiteral("00:08:00"));
        QCOMPARE(session.feeText(), QStringLiteral("0,80 €"));
        QCOMPARE(rig.records().size(), 1);
        QCOMPARE(view.heading, StationSession::Heading::Idle);
        QVERIFY(view.notice.isEmpty());
    }

    // The real station program, frozen by its customer (SIGSTOP), is flagged within
    // 6 s of its last time text, and clears when it runs again. Real time passes.
    void aFrozenStationProgramIsFlagged()
    {
        if (!ownLoopbackOnly())
            QSKIP("no network of its own may be made here");
        StationSessionRig rig(12000);
        QCOMPARE(rig.error(), QString());
        SessionProbe view(rig.session());
        rig.session().listen();
        QTemporaryDir programDir;
        const QString program = programDir.filePath(QStringLiteral("Client1"));
        QVERIFY(QFile::copy(QStringLiteral(KAVO_STATION_PROGRAM), program));
        QFile ini(programDir.filePath(QStringLiteral("Client.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Server]\r\nIP=127.0.0.1\r\n");
        ini.close();
        QProcess station;
        station.start(program, {});
        QVERIFY(station.waitForStarted());
        const auto ended = qScopeGuard([&] {
            ::kill(pid_t(station.processId()), SIGCONT);
            station.kill();
            station.waitForFinished();
        });
        QTRY_COMPARE_WITH_TIMEOUT(view.runningTime, QStringLiteral("Startup1"), 5000);
        rig.session().start(5);
        QTRY_VERIFY_WITH_TIMEOUT(view.runningTime.startsWith(u"00:04:5"), 3000);

        QVERIFY(::kill(pid_t(station.processId()), SIGSTOP) == 0);
        QElapsedTimer frozen;
        frozen.start();
        QTRY_COMPARE_WITH_TIMEOUT(view.heading, StationSession::Heading::Alarm, 6500);
        qInfo("flagged %lld ms after the station was stopped", qint64(frozen.elapsed()));
        QVERIFY(frozen.elapsed() <= 6000);
        QVERIFY(view.runningTime.startsWith(u"Station meldet sich nicht seit 00:00:0"));
        QVERIFY(::kill(pid_t(station.processId()), SIGCONT) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(view.heading, StationSession::Heading::Running, 2000);
        QVERIFY(view.runningTime.startsWith(u"00:04:"));
        rig.session().stop();
    }
};

QTEST_MAIN(PeriodWatchTest)
#include "tst_periodwatch.moc"
