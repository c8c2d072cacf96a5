#include "Clock.h"
#include "ManualClock.h"
#include "Protocol.h"
#include "ScopedClock.h"
#include "SpacedSender.h"
#include "TestSupport.h"

#include <QTest>

using Protocol::StationOrder;

Q_DECLARE_METATYPE(Protocol::StationOrder)

class ProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void stationsHaveTheirOwnPortsAndTexts()
    {
        QCOMPARE(Protocol::port(1), quint16(12000));
        QCOMPARE(Protocol::port(2), quint16(12010));
        QCOMPARE(Protocol::startupMessage(2), QStringLiteral("Startup2"));
        QCOMPARE(Protocol::stopMessage(1), QStringLiteral("Stop1"));
        QCOMPARE(Protocol::startMessage(2), QStringLiteral("Start2"));
        QCOMPARE(Protocol::intervalMessage(30), QStringLiteral("30"));
        QCOMPARE(Protocol::intervalMessage(std::nullopt), QStringLiteral("420"));
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minutes");
        QTest::newRow("plain") << "15" << 15;
        QTest::newRow("blanks and tail") << " 15x" << 15;
        QTest::newRow("no number") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("stop and interval run together") << "Stop15" << 0;
        QTest::newRow("420 and 5 run together") << "4205" << 4205;
        QTest::newRow("fraction dropped") << "2.5" << 2;
        QTest::newRow("no sign") << "-5" << 0;
        QTest::newRow("largest") << "99999" << 99999;
        QTest::newRow("cut") << "100000" << 99999;
        QTest::newRow("far too long") << QString(5000, QLatin1Char('9')) << 99999;
        QTest::newRow("binary") << QString::fromLatin1("\0\x80\xff", 3) << 0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, minutes);
        QCOMPARE(Protocol::leadingMinutes(text), minutes);
    }

    void consoleTestsCompareWholeChunks_data()
    {
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<int>("station");
        QTest::addColumn<bool>("startup");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("start");
        QTest::newRow("startup") << "Startup1" << 1 << true << false << false;
        QTest::newRow("startup of the other station") << "Startup2" << 1 << false << false << false;
        QTest::newRow("stop") << "Stop1" << 1 << false << true << false;
        QTest::newRow("stop after the last time") << "00:00:00Stop1" << 1 << false << true << false;
        // Time texts that piled up while the console was busy do not hide the stop.
        QTest::newRow("stop after two times")
            << "00:00:0100:00:00Stop1" << 1 << false << true << false;
        QTest::newRow("stop after another time") << "00:00:01Stop1" << 1 << false << true << false;
        QTest::newRow("stop after days") << "01. 02:03:04Stop1" << 1 << false << true << false;
        QTest::newRow("stop after a cut time") << "0:00:00Stop1" << 1 << false << false << false;
        QTest::newRow("stop after other text") << "xx00:00:00Stop1" << 1 << false << false << false;
        QTest::newRow("stop before a time") << "Stop100:00:00" << 1 << false << false << false;
        QTest::newRow("stop in lower case") << "stop1" << 1 << false << false << false;
        QTest::newRow("stop with a blank") << "Stop1 " << 1 << false << false << false;
        QTest::newRow("start") << "Start1" << 1 << false << false << true;
        QTest::newRow("start after the last time")
            << "00:00:00Start1" << 1 << false << false << true;
        QTest::newRow("start of station 2 on station 1")
            << "Start2" << 1 << false << false << false;
        QTest::newRow("start and stop together") << "Start1Stop1" << 1 << false << false << false;
        QTest::newRow("station 2 stop") << "00:00:00Stop2" << 2 << false << true << false;
        QTest::newRow("time text") << "00:04:59" << 1 << false << false << false;
    }
    void consoleTestsCompareWholeChunks()
    {
        QFETCH(QString, chunk);
        QFETCH(int, station);
        QFETCH(bool, startup);
        QFETCH(bool, stop);
        QFETCH(bool, start);
        QCOMPARE(Protocol::isStartup(chunk, station), startup);
        QCOMPARE(Protocol::isStop(chunk, station), stop);
        QCOMPARE(Protocol::isStart(chunk, station), start);
    }

    void stationOrders_data()
    {
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<int>("station");
        QTest::addColumn<StationOrder>("order");
        QTest::newRow("stop") << "Stop1" << 1 << StationOrder::Stop;
        QTest::newRow("stop of the other station") << "Stop2" << 1 << StationOrder::TimedPeriod;
        QTest::newRow("station 2 stop") << "Stop2" << 2 << StationOrder::Stop;
        QTest::newRow("stop run together with 5") << "Stop15" << 1 << StationOrder::TimedPeriod;
        QTest::newRow("stop in upper case") << "STOP1" << 1 << StationOrder::TimedPeriod;
        QTest::newRow("endless") << "420" << 1 << StationOrder::EndlessPeriod;
        QTest::newRow("endless with a blank") << " 420" << 1 << StationOrder::TimedPeriod;
        QTest::newRow("420 run together with 5") << "4205" << 1 << StationOrder::TimedPeriod;
        QTest::newRow("interval") << "5" << 2 << StationOrder::TimedPeriod;
    }
    void stationOrders()
    {
        QFETCH(QString, chunk);
        QFETCH(int, station);
        QFETCH(StationOrder, order);
        QCOMPARE(Protocol::stationOrder(chunk, station), order);
    }

    void timeTexts()
    {
        QCOMPARE(Protocol::remainingTimeText(300), QStringLiteral("00:05:00"));
        QCOMPARE(Protocol::remainingTimeText(0), QStringLiteral("00:00:00"));
        QCOMPARE(Protocol::remainingTimeText(23 * 3600 + 59 * 60 + 59), QStringLiteral("23:59:59"));
        QCOMPARE(Protocol::remainingTimeText(24 * 3600), QStringLiteral("01. 00:00:00"));
        QCOMPARE(Protocol::remainingTimeText(25 * 3600 + 61), QStringLiteral("01. 01:01:01"));
        QCOMPARE(Protocol::remainingTimeText(qint64(Protocol::maxMinutes) * 60),
                 QStringLiteral("69. 10:39:00"));
        QCOMPARE(Protocol::elapsedTimeText(725), QStringLiteral("00:12:05"));
        QCOMPARE(Protocol::elapsedTimeText(7 * 3600), QStringLiteral("07:00:00"));
    }

    // The peer reads whatever has arrived as one message: what must be read alone
    // leaves apart from its neighbours, in order, with nothing said twice in a row.
    void spacedTextsLeaveApartAndInOrder()
    {
        ManualClock clock(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
        ScopedClock guard(clock);
        clock.runFreely();
        QStringList sent;
        SpacedSender sender([&](const QString &text) {
            sent.append(QString::number(clock.elapsedMs()) + ' ' + text);
        });
        const auto streamed = SpacedSender::Spacing::Streamed;
        sender.send(QStringLiteral("Stop1"));
        sender.send(QStringLiteral("00:00:01"), streamed);
        sender.send(QStringLiteral("00:00:02"), streamed);
        sender.send(QStringLiteral("Stop1"));
        sender.send(QStringLiteral("Stop1"));
        sender.send(QStringLiteral("420"));
        QTRY_COMPARE(
            sent, QStringList({"0 Stop1", "200 00:00:01", "200 00:00:02", "400 Stop1", "600 420"}));

        sender.send(QStringLiteral("Stop1"));
        sender.send(QStringLiteral("5"));
        QCOMPARE(sender.lastWaiting(), std::optional<QString>(QStringLiteral("5")));
        sender.withdrawLastWaiting();
        QTRY_COMPARE(sent.size(), 6);
        QCOMPARE(sent.last(), QStringLiteral("800 Stop1"));
        settle();
        QCOMPARE(sent.size(), 6);

        // A new connection starts afresh.
        sender.send(QStringLiteral("Stop1"));
        sender.reset();
        sender.send(QStringLiteral("Startup1"));
        QCOMPARE(sent.last(), QStringLiteral("800 Startup1"));
    }
};

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
