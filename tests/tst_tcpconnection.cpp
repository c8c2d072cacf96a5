#include "ManualClock.h"
#include "ScopedClock.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "Windows1252.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

namespace {
const QString loopback = QStringLiteral("127.0.0.1");

const QString keyText = QStringLiteral("00112233445566778899aabbccddeeff");

std::optional<PreSharedKey> key(const QString &text = keyText)
{
    return PreSharedKey::fromText(text, 1);
}

// A listener that takes a request the way the console does: stop listening, then
// accept on the same object; when the connection closes, listen again.
class Listener
{
public:
    explicit Listener(std::optional<PreSharedKey> withKey = std::nullopt)
    {
        endpoint.setPreSharedKey(std::move(withKey));
        QObject::connect(&endpoint, &TcpConnection::connectionRequest, [this](int requestId) {
            endpoint.close();
            QVERIFY(!endpoint.accept(requestId));
        });
        QObject::connect(&endpoint, &TcpConnection::closed,
                         [this] { QVERIFY(!endpoint.listen()); });
        endpoint.setLocalPort(0);
        QVERIFY(!endpoint.listen());
    }
    quint16 port() const { return endpoint.localPort(); }

    TcpConnection endpoint;
};

QByteArray everyByte()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}
}

class TcpConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void portTakesOneConnectionAtATime()
    {
        Listener listener;
        QSignalSpy requests(&listener.endpoint, &TcpConnection::connectionRequest);

        TcpConnection first;
        QSignalSpy firstConnected(&first, &TcpConnection::connected);
        first.connectTo(loopback, listener.port());
        QTRY_COMPARE(firstConnected.size(), 1);
        QTRY_COMPARE(requests.size(), 1);

        TcpConnection second;
        QSignalSpy secondConnected(&second, &TcpConnection::connected);
        QSignalSpy secondError(&second, &TcpConnection::error);
        second.connectTo(loopback, listener.port());
        QTRY_COMPARE(secondError.size(), 1);
        QCOMPARE(secondError.first().at(0).toInt(), int(QAbstractSocket::ConnectionRefusedError));
        QCOMPARE(secondConnected.size(), 0);
        QCOMPARE(requests.size(), 1);

        // The accepted connection is the listener object itself.
        QVERIFY(!first.sendData(QStringLiteral("Startup1")));
        QString atListener;
        QTRY_COMPARE(atListener += listener.endpoint.getData(), QStringLiteral("Startup1"));
        QVERIFY(!listener.endpoint.sendData(QStringLiteral("Stop1")));
        QString atStation;
        QTRY_COMPARE(atStation += first.getData(), QStringLiteral("Stop1"));
    }

    void portListensAgainAfterTheConnectionCloses()
    {
        Listener listener;
        const quint16 port = listener.port();
        QSignalSpy listenerClosed(&listener.endpoint, &TcpConnection::closed);

        TcpConnection station;
        QSignalSpy connected(&station, &TcpConnection::connected);
        QSignalSpy stationClosed(&station, &TcpConnection::closed);
        station.connectTo(loopback, port);
        QTRY_COMPARE(connected.size(), 1);

        station.close();
        QTRY_COMPARE(listenerClosed.size(), 1);
        QCOMPARE(stationClosed.size(), 0); // closing oneself is no event
        QVERIFY(station.sendData(QStringLiteral("x")));

        // Connect again, this time with host and port set beforehand.
        station.setRemoteHost(loopback);
        station.setRemotePort(port);
        station.connectTo();
        QTRY_COMPARE(connected.size(), 2);
        QVERIFY(!station.sendData(QStringLiteral("again")));
        QString received;
        QTRY_COMPARE(received += listener.endpoint.getData(), QStringLiteral("again"));

        // Now the other side closes: the station hears of it.
        listener.endpoint.close();
        QTRY_COMPARE(stationClosed.size(), 1);
        QVERIFY(station.sendData(QStringLiteral("x")));
    }

    void everyByteSurvivesTheRoundTrip()
    {
        Listener listener;
        QTcpSocket raw;
        raw.connectToHost(loopback, listener.port());
        QVERIFY(raw.waitForConnected(1000));

        raw.write(everyByte());
        raw.flush();
        QString received;
        QTRY_COMPARE((received += listener.endpoint.getData()).size(), 256);
        QCOMPARE(received, Windows1252::decode(everyByte()));
        QCOMPARE(received.at(0x80), QChar(0x20AC));

        QVERIFY(!listener.endpoint.sendData(received));
        QByteArray echoed;
        QTRY_COMPARE((echoed += raw.readAll()).size(), 256);
        QCOMPARE(echoed, everyByte());
    }

    void sendingWithoutConnectionFails()
    {
        TcpConnection fresh;
        QVERIFY(fresh.sendData(QStringLiteral("Stop1")));
        QCOMPARE(fresh.getData(), QString());

        Listener listening;
        QVERIFY(listening.endpoint.sendData(QStringLiteral("Stop1")));

        TcpConnection nobodyThere;
        QSignalSpy failed(&nobodyThere, &TcpConnection::error);
        QSignalSpy closed(&nobodyThere, &TcpConnection::closed);
        quint16 unusedPort = listening.port();
        listening.endpoint.close();
        nobodyThere.connectTo(loopback, unusedPort);
        QVERIFY(nobodyThere.sendData(QStringLiteral("Stop1"))); // still connecting
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(closed.size(), 0);
        QVERIFY(nobodyThere.sendData(QStringLiteral("Stop1")));

        TcpConnection noHost;
        QSignalSpy noHostFailed(&noHost, &TcpConnection::error);
        noHost.connectTo(QString(), unusedPort);
        QTRY_COMPARE(noHostFailed.size(), 1);
    }

    void getDataReturnsEverythingUnreadAsOneText()
    {
        Listener listener;
        QSignalSpy arrivals(&listener.endpoint, &TcpConnection::dataArrival);
        TcpConnection station;
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, listener.port());
        QTRY_COMPARE(connected.size(), 1);

        for (const char *piece : {"00:04:59", "00:04:58", "Stop1"})
            QVERIFY(!station.sendData(QString::fromLatin1(piece)));
        QTRY_VERIFY(!arrivals.isEmpty());
        QTRY_COMPARE(arrivals.last().at(0).toLongLong(), qint64(21));
        QCOMPARE(listener.endpoint.getData(), QStringLiteral("00:04:5900:04:58Stop1"));
        QCOMPARE(listener.endpoint.getData(), QString());
    }

    // A station in a period sends its time every second; on a new connection its
    // announcement must still go first, or the console never takes it for a station.
    void aConnectionTakesTextOnlyOnceItsOwnerKnowsOfIt()
    {
        Listener listener;
        TcpConnection station;
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, listener.port());
        QVERIFY(station.findChild<QTcpSocket *>()->waitForConnected(2000));
        QCOMPARE(connected.size(), 0);
        QVERIFY(station.sendData(QStringLiteral("00:04:59")));
        QTRY_COMPARE(connected.size(), 1);
        QSignalSpy arrivals(&listener.endpoint, &TcpConnection::dataArrival);
        QVERIFY(!station.sendData(QStringLiteral("Startup1")));
        QTRY_COMPARE(arrivals.size(), 1);
        QCOMPARE(listener.endpoint.getData(), QStringLiteral("Startup1"));
    }

    // A peer that vanishes without closing (its PC switched off) must be noticed
    // within about two minutes on both ends, whether the link is quiet or not.
    void everyConnectionWatchesItsPeer()
    {
        Listener listener;
        TcpConnection station;
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, listener.port());
        QTRY_COMPARE(connected.size(), 1);
        QTcpSocket *accepted = listener.endpoint.findChild<QTcpSocket *>();
        QVERIFY(accepted && accepted->state() == QAbstractSocket::ConnectedState);

        for (QTcpSocket *socket : {accepted, station.findChild<QTcpSocket *>()}) {
            const auto option = [socket](int level, int name) {
                int value = -1;
                socklen_t size = sizeof value;
                getsockopt(int(socket->socketDescriptor()), level, name, &value, &size);
                return value;
            };
            QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
            const int idle = option(IPPROTO_TCP, TCP_KEEPIDLE);
            const int interval = option(IPPROTO_TCP, TCP_KEEPINTVL);
            const int probes = option(IPPROTO_TCP, TCP_KEEPCNT);
            const int unacknowledgedMs = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
            QCOMPARE(idle, TcpConnection::keepAliveIdleSeconds);
            QCOMPARE(interval, TcpConnection::keepAliveIntervalSeconds);
            QCOMPARE(probes, TcpConnection::keepAliveProbes);
            QCOMPARE(unacknowledgedMs, TcpConnection::unacknowledgedLimitMs);
            const int quietLinkSeconds = idle + interval * probes;
            QVERIFY2(quietLinkSeconds >= 90 && quietLinkSeconds <= 150,
                     qPrintable(QString::number(quietLinkSeconds)));
            QVERIFY(unacknowledgedMs >= 90000 && unacknowledgedMs <= 150000);
            QCOMPARE(option(IPPROTO_TCP, TCP_NODELAY), 1);
        }
    }

    void dataArrivesWhileAHandlerRunsItsOwnEventLoop()
    {
        Listener listener;
        TcpConnection station;
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, listener.port());
        QTRY_COMPARE(connected.size(), 1);

        // The first chunk's handler waits, inside its own event loop, for the next
        // chunk: it must be delivered there and not only after the handler returns.
        QStringList chunks;
        bool secondSeenInsideFirst = false;
        connect(&listener.endpoint, &TcpConnection::dataArrival, this, [&] {
            chunks.append(listener.endpoint.getData());
            if (chunks.size() != 1)
                return;
            QVERIFY(!station.sendData(QStringLiteral("Stop1")));
            QEventLoop nested;
            QTimer::singleShot(1000, &nested, &QEventLoop::quit);
            connect(&listener.endpoint, &TcpConnection::dataArrival, &nested, &QEventLoop::quit);
            nested.exec();
            secondSeenInsideFirst = chunks.size() == 2;
        });
        QVERIFY(!station.sendData(QStringLiteral("5")));
        QTRY_COMPARE(chunks.size(), 2);
        QVERIFY(secondSeenInsideFirst);
        QCOMPARE(chunks, QStringList({QStringLiteral("5"), QStringLiteral("Stop1")}));
    }

    // With the key, only a peer that proves it becomes a request; plain text,
    // another key and silence are refused and told, and the established connection
    // goes on meanwhile. A second peer that proves the key takes its place. Text
    // crosses as before, encrypted on the way.
    void aKeyedPortTakesOnlyPeersThatProveTheKey()
    {
        ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(14, 0)));
        const ScopedClock clockGuard(clock);
        Listener listener(key());
        listener.endpoint.setReplacementRule(
            [](const QHostAddress &, const QHostAddress &) { return true; });
        QSignalSpy requests(&listener.endpoint, &TcpConnection::connectionRequest);
        QSignalSpy refused(&listener.endpoint, &TcpConnection::keyRefused);
        const auto lastRefusal
            = [&refused] { return refused.last().at(1).value<TcpConnection::KeyRefusal>(); };

        TcpConnection station;
        station.setPreSharedKey(key());
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, listener.port());
        QTRY_COMPARE(connected.size(), 1);
        QCOMPARE(requests.size(), 1);
        QVERIFY(!station.sendData(QStringLiteral("Startup1")));
        QString atListener;
        QTRY_COMPARE(atListener += listener.endpoint.getData(), QStringLiteral("Startup1"));
        QVERIFY(!listener.endpoint.sendData(QStringLiteral("Stop1")));
        QString atStation;
        QTRY_COMPARE(atStation += station.getData(), QStringLiteral("Stop1"));

        QTcpSocket plain;
        plain.connectToHost(loopback, listener.port());
        QVERIFY(plain.waitForConnected(1000));
        plain.write("Stop1");
        QTRY_COMPARE(refused.size(), 1);
        QCOMPARE(lastRefusal(), TcpConnection::KeyRefusal::NoKey);
        QTRY_COMPARE(plain.state(), QAbstractSocket::UnconnectedState);

        TcpConnection otherKey;
        otherKey.setPreSharedKey(key(QStringLiteral("ff112233445566778899aabbccddeeff")));
        QSignalSpy otherKeyFailed(&otherKey, &TcpConnection::error);
        otherKey.connectTo(loopback, listener.port());
        QTRY_COMPARE(refused.size(), 2);
        QCOMPARE(lastRefusal(), TcpConnection::KeyRefusal::WrongKey);
        QTRY_COMPARE(otherKeyFailed.size(), 1);
        QCOMPARE(otherKeyFailed.first().at(0).toInt(),
                 int(QAbstractSocket::SslHandshakeFailedError));

        QTcpSocket silent;
        silent.connectToHost(loopback, listener.port());
        QVERIFY(silent.waitForConnected(1000));
        settle();
        clock.advanceMs(TcpConnection::proofTimeoutMs);
        QTRY_COMPARE(refused.size(), 3);
        QCOMPARE(lastRefusal(), TcpConnection::KeyRefusal::NoKey);
        QCOMPARE(requests.size(), 1);
        QVERIFY(!station.sendData(QStringLiteral("00:00:01")));
        QTRY_COMPARE(atListener += listener.endpoint.getData(), QStringLiteral("Startup100:00:01"));

        // Silent connections in every place for proving the key do not keep the
        // station out.
        std::vector<std::unique_ptr<QTcpSocket>> flood;
        for (int i = 0; i < TcpConnection::maxProvingConnections; ++i) {
            flood.push_back(std::make_unique<QTcpSocket>());
            flood.back()->connectToHost(loopback, listener.port());
            QVERIFY(flood.back()->waitForConnected(1000));
        }
        settle();
        TcpConnection restarted;
        restarted.setPreSharedKey(key());
        QSignalSpy restartedConnected(&restarted, &TcpConnection::connected);
        QSignalSpy stationClosed(&station, &TcpConnection::closed);
        restarted.connectTo(loopback, listener.port());
        QTRY_COMPARE(restartedConnected.size(), 1);
        QTRY_COMPARE(stationClosed.size(), 1);
        QCOMPARE(requests.size(), 2);
    }

    // A keyed station tells a console that does not take the handshake, whether
    // it closes the connection or says nothing, from one that is not there.
    void aKeyedStationTellsOfAConsoleWithoutTheKey()
    {
        ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(14, 0)));
        const ScopedClock clockGuard(clock);
        Listener plainConsole;
        QObject::connect(&plainConsole.endpoint, &TcpConnection::dataArrival,
                         [&plainConsole] { plainConsole.endpoint.close(); });
        TcpConnection station;
        station.setPreSharedKey(key());
        QSignalSpy failed(&station, &TcpConnection::error);
        QSignalSpy connected(&station, &TcpConnection::connected);
        station.connectTo(loopback, plainConsole.port());
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).toInt(), int(QAbstractSocket::SslHandshakeFailedError));

        Listener silentConsole;
        station.connectTo(loopback, silentConsole.port());
        QTRY_VERIFY(station.findChild<QTcpSocket *>()->state() == QAbstractSocket::ConnectedState);
        clock.advanceMs(TcpConnection::proofTimeoutMs);
        QTRY_COMPARE(failed.size(), 2);
        QCOMPARE(failed.last().at(0).toInt(), int(QAbstractSocket::SslHandshakeFailedError));

        silentConsole.endpoint.close();
        station.connectTo(loopback, silentConsole.port());
        QTRY_COMPARE(failed.size(), 3);
        QCOMPARE(failed.last().at(0).toInt(), int(QAbstractSocket::ConnectionRefusedError));
        QCOMPARE(connected.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TcpConnectionTest)
#include "tst_tcpconnection.moc"
