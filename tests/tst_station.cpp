#include "FakeConsole.h"
#include "ManualClock.h"
#include "Protocol.h"
#include "ScopedClock.h"
#include "StationWindow.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
// A period that runs out sends its stop this long after its last time text.
constexpr qint64 stopPauseMs = 200;
const QDateTime afternoon(QDate(2004, 5, 12), QTime(14, 3, 22, 500));

// A station program in a directory of its own, on a clock moved by hand, with a
// console stand-in on loopback.
class StationRig
{
public:
    explicit StationRig(const QDateTime &start = afternoon, int station = 1)
        : clock(start)
        , scopedClock(clock)
        , console(station)
        , m_station(station)
    {
        clock.runFreely();
    }

    void writeIni(const QByteArray &content) const
    {
        QFile file(m_directory.filePath(QStringLiteral("Client.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    void start()
    {
        window = std::make_unique<StationWindow>(m_station, m_directory.path(), console.port());
    }

    // Starts the station with the console's address and waits for the console's
    // answer to its announcement to take effect.
    bool startConnected()
    {
        writeIni("[Server]\r\nIP=127.0.0.1\r\n");
        start();
        return QTest::qWaitFor(
            [this] { return button("cmdStart")->isEnabled() && field("Text4")->isHidden(); });
    }

    QPushButton *button(const char *name) const { return item<QPushButton>(name); }
    QLineEdit *field(const char *name) const { return item<QLineEdit>(name); }
    QLabel *label(const char *name) const { return item<QLabel>(name); }
    TcpConnection *link() const { return item<TcpConnection>("Winsock1"); }

    template<typename Item> Item *item(const char *name) const
    {
        return window->findChild<Item *>(QLatin1String(name));
    }

    // The station's messages from the n-th on.
    QStringList messagesFrom(qsizetype first) const { return console.messages().mid(first); }

    ManualClock clock;
    ScopedClock scopedClock;
    MessageRecorder shownMessages;
    TimeServiceStandIn timeService;
    FakeConsole console;
    std::unique_ptr<StationWindow> window;

private:
    QTemporaryDir m_directory;
    int m_station;
};

QStringList remainingTexts(qint64 from, qint64 to)
{
    QStringList texts;
    for (qint64 seconds = from; seconds >= to; --seconds)
        texts.append(Protocol::remainingTimeText(seconds));
    return texts;
}

bool shown(QWidget *widget)
{
    return !widget->isHidden();
}

// Wake-ups a few milliseconds early and late, some beyond the display's margin.
const QList<int> timerJitter{-4, 3, -1, 5, -30, 2, 0, 25, -3, -2, 4, -25, 1};

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

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void startsUpAnnouncesItselfAndGoesIdle_data()
    {
        QTest::addColumn<int>("station");
        QTest::newRow("station 1") << 1;
        QTest::newRow("station 2") << 2;
    }
    void startsUpAnnouncesItselfAndGoesIdle()
    {
        QFETCH(int, station);
        const QString name = QStringLiteral("Client%1").arg(station);
        StationRig rig(afternoon, station);
        rig.writeIni("[Server]\r\nIP=127.0.0.1\r\n");
        rig.start();
        StationWindow &window = *rig.window;

        QCOMPARE(window.objectName(), name);
        QCOMPARE(window.windowTitle(), name);
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!rig.button("cmdStart")->isEnabled());
        QVERIFY(rig.button("cmdVerbinden")->isEnabled());
        QVERIFY(!rig.button("cmdStop")->isEnabled());
        QVERIFY(shown(rig.field("Text4")) && rig.field("Text4")->text().isEmpty());
        QVERIFY(!shown(rig.field("Text1")) && !shown(rig.field("Text2"))
                && !shown(rig.label("Label3")));
        QCOMPARE(rig.field("Text3")->text(), QStringLiteral("5"));
        QVERIFY(!shown(rig.field("Text3")) && !shown(rig.label("lbMinute")));
        QCOMPARE(rig.item<QTimer>("Timer1")->interval(), 1000);
        QVERIFY(rig.item<QTimer>("Timer1")->isActive());
        for (const char *below : {"Text1", "Text3", "lbMinute", "Label1"})
            QVERIFY2(rig.item<QWidget>(below)->y() >= window.height(), below);
        for (const char *whole :
             {"cmdVerbinden", "cmdStop", "Text2", "Text4", "Text5", "Text6", "Label2", "Label4"})
            QVERIFY2(window.rect().contains(rig.item<QWidget>(whole)->geometry()), whole);

        QTRY_COMPARE(rig.console.messages(), QStringList{QStringLiteral("Startup%1").arg(station)});
        QTRY_VERIFY(!shown(rig.field("Text4")));
        QVERIFY(rig.button("cmdStart")->isEnabled());
        QVERIFY(!rig.button("cmdVerbinden")->isEnabled());
        QVERIFY(!rig.button("cmdStop")->isEnabled());
        for (const char *hidden :
             {"Text1", "Text2", "Text5", "Text6", "Label1", "Label2", "Label3", "Label5"})
            QVERIFY2(!shown(rig.item<QWidget>(hidden)), hidden);
        QCOMPARE(rig.field("Text3")->text(), QString());
        QCOMPARE(window.windowTitle(), name);
        QVERIFY(rig.shownMessages.shown().isEmpty());
    }

    void stationStartedBeforeTheConsoleConnectsOnRequest()
    {
        StationRig rig;
        rig.console.stopListening();
        rig.writeIni("[Server]\r\nIP=127.0.0.1\r\n");
        rig.start();
        QSignalSpy failed(rig.link(), &TcpConnection::error);
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY(!rig.button("cmdStart")->isEnabled());
        QVERIFY(rig.button("cmdVerbinden")->isEnabled());
        QVERIFY(rig.shownMessages.shown().isEmpty());

        QVERIFY(rig.console.listen());
        QTest::mouseClick(rig.button("cmdVerbinden"), Qt::LeftButton);
        QTRY_COMPARE(rig.console.messages(), QStringList{QStringLiteral("Startup1")});
        QTRY_VERIFY(rig.button("cmdStart")->isEnabled() && !shown(rig.field("Text4")));
        QVERIFY(!rig.button("cmdVerbinden")->isEnabled());
    }

    void lostConnectionIsNotTakenUpAgainByItself()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.dropStation();
        QTRY_VERIFY(!rig.button("cmdStart")->isEnabled());
        QVERIFY(rig.button("cmdVerbinden")->isEnabled());
        QTest::qWait(200);
        QCOMPARE(rig.console.connectionCount(), 1);

        QTest::mouseClick(rig.button("cmdVerbinden"), Qt::LeftButton);
        QTRY_COMPARE(rig.console.connectionCount(), 2);
        QTRY_COMPARE(rig.console.messages().count(QStringLiteral("Startup1")), 2);
    }

    void closeAndMinimiseAreRefused()
    {
        StationRig rig;
        rig.start();
        rig.window->show();
        QVERIFY(!rig.window->close());
        QVERIFY(rig.window->isVisible());
        QVERIFY(!rig.window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        rig.window->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isMinimized(), 1000);
    }

    void entryAidsOfTheFields()
    {
        StationRig rig;
        rig.start();
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));

        const auto typeInto = [&rig](const char *name, const char *keys) {
            QLineEdit *field = rig.field(name);
            field->show();
            field->clear();
            field->setFocus();
            for (const char *key = keys; *key; ++key) {
                QTest::keyClick(field, *key);
                QCoreApplication::processEvents(); // the typed separator
            }
            return field;
        };
        QLineEdit *date = typeInto("Text1", "1a2");
        QCOMPARE(date->text(), QStringLiteral("12."));
        QCOMPARE(date->cursorPosition(), 3);
        QCOMPARE(typeInto("Text1", "12052004")->text(), QStringLiteral("12.05.2004"));
        QCOMPARE(typeInto("Text2", "1x4.0509")->text(), QStringLiteral("14:05:09"));
        QCOMPARE(typeInto("Text3", "1.5:x")->text(), QStringLiteral("15"));

        date->setText(QStringLiteral("12.05.2004"));
        date->setCursorPosition(0);
        QTest::mouseClick(date, Qt::LeftButton);
        QCOMPARE(date->selectedText(), QStringLiteral("12.05.2004"));
    }

    void consoleAddressFromClientIni()
    {
        StationRig missing;
        missing.start();
        QCOMPARE(missing.window->findChild<StationDisplay *>()->serverAddress(), QString());
        QSignalSpy failed(missing.link(), &TcpConnection::error);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(missing.console.connectionCount(), 0);
        QVERIFY(missing.button("cmdVerbinden")->isEnabled());
        QVERIFY(missing.shownMessages.shown().isEmpty());

        StationRig longValue;
        longValue.writeIni("[Server]\r\nIP=" + QByteArray(250, 'h') + "\r\n");
        longValue.start();
        QCOMPARE(longValue.window->findChild<StationDisplay *>()->serverAddress(),
                 QString(199, QLatin1Char('h')));
    }

    void timedPeriodCountsDownThenReportsTheStop()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.send(QStringLiteral("5"));

        QTRY_COMPARE(rig.messagesFrom(before).size(), 302);
        QCOMPARE(rig.messagesFrom(before), remainingTexts(300, 0) << QStringLiteral("Stop1"));
        QCOMPARE(rig.clock.elapsedMs(),
                 300000 + stopPauseMs); // ends at the end moment, the stop a moment later
        QCOMPARE(rig.field("Text1")->text(), QStringLiteral("12.05.2004"));
        QCOMPARE(rig.field("Text2")->text(), QStringLiteral("14:08:22"));
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));

        // The console's answer returns the station to idle.
        rig.console.send(QStringLiteral("Stop1"));
        QTRY_VERIFY(!rig.button("cmdStop")->isEnabled());
        QVERIFY(!shown(rig.field("Text2")) && !shown(rig.label("Label3")));
        QVERIFY(rig.button("cmdStart")->isEnabled());
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        // Raised by the display while it counted, the window is kept on top by its
        // timer again.
        QVERIFY(rig.item<QTimer>("Timer1")->isActive());
    }

    void consoleStopEndsThePeriodAfterOneMoreText()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        QStringList captions;
        connect(rig.window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &title) { captions << title; });
        bool stopSent = false;
        qsizetype captionsAtStop = -1;
        connect(rig.link(), &TcpConnection::dataArrival, this, [&] {
            if (stopSent && captionsAtStop < 0)
                captionsAtStop = captions.size();
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
        const QStringList afterStop = captions.mid(captionsAtStop);
        QCOMPARE(afterStop.size(), 2);
        QVERIFY(afterStop.at(0).startsWith(QStringLiteral("Client1 Online - 00:04:")));
        QCOMPARE(afterStop.at(1), QStringLiteral("Client1 - bitte freischalten."));
        const QString lastText = afterStop.at(0).mid(QStringLiteral("Client1 Online - ").size());
        QCOMPARE(rig.console.messages().mid(rig.console.messages().size() - 2),
                 QStringList({lastText, QStringLiteral("Stop1")}));
        QVERIFY(!shown(rig.field("Text2")));
        QVERIFY(rig.clock.elapsedMs() < 10000);
    }

    void endlessPeriodEndsItselfAfter420Minutes()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        QStringList captions;
        connect(rig.window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &title) { captions << title; });
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:00:01")) {
                QVERIFY(shown(rig.label("Label2")) && shown(rig.label("Label4"))
                        && shown(rig.field("Text6")));
                QVERIFY(!shown(rig.field("Text2")) && !rig.button("cmdStart")->isEnabled());
            }
        };
        rig.console.send(QStringLiteral("420"));

        QTRY_VERIFY_WITH_TIMEOUT(rig.console.messages().endsWith(QStringLiteral("Stop1")), 20000);
        const QStringList texts = rig.messagesFrom(before);
        QCOMPARE(texts.size(), 7 * 3600 + 2);
        QCOMPARE(texts.first(), QStringLiteral("00:00:00"));
        QCOMPARE(texts.mid(texts.size() - 3), QStringList({"06:59:59", "07:00:00", "Stop1"}));
        QCOMPARE(captions, QStringList({"Client1 - Endlos", "Client1 - bitte freischalten."}));
        QCOMPARE(rig.field("Text5")->text(), QStringLiteral("14:03:22"));
        QCOMPARE(rig.field("Text4")->text(), QStringLiteral("21:03:22"));
        QCOMPARE(rig.clock.elapsedMs(), 420 * 60000 + stopPauseMs);
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
        StationRig rig(QDateTime(afternoon.date(), QTime(14, 3, 22, startMs)));
        rig.clock.setWakeUpJitter(timerJitter);
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);

        qsizetype before = rig.console.messages().size();
        rig.console.send(QStringLiteral("2"));
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(rig.messagesFrom(before), remainingTexts(120, 0) << QStringLiteral("Stop1"));

        before = rig.console.messages().size();
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:03:00"))
                rig.console.send(QStringLiteral("Stop1"));
        };
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
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:00:00"))
                rig.console.send(QStringLiteral("Stop1"));
        };
        rig.console.send(QStringLiteral("1"));
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QTest::qWait(20);
        QCOMPARE(rig.messagesFrom(before), remainingTexts(60, 0) << QStringLiteral("Stop1"));
    }

    void clockSetBackDuringAnEndlessPeriodShowsNoNegativeTime()
    {
        StationRig rig;
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
        StationRig rig(QDateTime(afternoon.date(), QTime(14, 3, 22)));
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        QStringList captions;
        connect(rig.window.get(), &QWidget::windowTitleChanged, this,
                [&](const QString &title) { captions << title; });
        rig.console.onMessage = [&](const QString &message) {
            if (message == firstTexts.last())
                rig.console.send(QStringLiteral("Stop1"));
        };
        rig.console.send(chunk);

        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(rig.messagesFrom(before).mid(0, 2), firstTexts);
        QCOMPARE(captions.at(1), QStringLiteral("Client1 Online - ") + firstTexts.last());
        QCOMPARE(rig.field("Text1")->text(), endDate);
        QCOMPARE(rig.field("Text2")->text(), endTime);
    }

    void periodsAcrossMidnight()
    {
        StationRig timed(QDateTime(afternoon.date(), QTime(23, 58, 30, 250)));
        QVERIFY(timed.startConnected());
        qsizetype before = timed.console.messages().size();
        timed.console.send(QStringLiteral("5"));
        QTRY_VERIFY(timed.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(timed.messagesFrom(before), remainingTexts(300, 0) << QStringLiteral("Stop1"));
        QCOMPARE(timed.field("Text1")->text(), QStringLiteral("13.05.2004"));
        QCOMPARE(timed.field("Text2")->text(), QStringLiteral("00:03:30"));

        StationRig endless(QDateTime(afternoon.date(), QTime(23, 55, 0, 700)));
        QVERIFY(endless.startConnected());
        before = endless.console.messages().size();
        endless.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:10:00"))
                endless.console.send(QStringLiteral("Stop1"));
        };
        endless.console.send(QStringLiteral("420"));
        QTRY_VERIFY(endless.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(endless.messagesFrom(before).mid(599, 2), QStringList({"00:09:59", "00:10:00"}));
    }

    void startAtTheStationAfterAStopIsOverAtOnce()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        QTest::mouseClick(rig.button("cmdStart"), Qt::LeftButton);
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QTRY_COMPARE(rig.messagesFrom(before), QStringList({"Start1", "Stop1"}));
    }

    void aPeriodStartedDuringAnotherRunsInsideIt()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.onMessage = [&](const QString &message) {
            if (message == QStringLiteral("00:04:58"))
                rig.console.send(QStringLiteral("1"));
        };
        rig.console.send(QStringLiteral("5"));

        QTRY_COMPARE(rig.messagesFrom(before).count(QStringLiteral("Stop1")), 2);
        const QStringList texts = rig.messagesFrom(before);
        const qsizetype inner = texts.indexOf(QStringLiteral("00:01:00"));
        QVERIFY(inner >= 3);
        QCOMPARE(texts.mid(inner, 62), remainingTexts(60, 0) << QStringLiteral("Stop1"));
        QCOMPARE(texts.mid(texts.size() - 2), QStringList({"00:00:00", "Stop1"}));
        QCOMPARE(rig.clock.elapsedMs(),
                 300000 + stopPauseMs); // the first still ends at its own end moment
    }

    void aStopDuringAnInnerPeriodEndsTheOuterOneToo()
    {
        StationRig rig;
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
        QTest::qWait(50);
        const QStringList texts = rig.messagesFrom(before);
        const qsizetype inner = texts.indexOf(QStringLiteral("00:00:00"));
        QCOMPARE(texts.mid(0, inner), remainingTexts(300, 298));
        QCOMPARE(texts.mid(inner, 7),
                 QStringList({"00:00:00", "00:00:01", "00:00:02", "00:00:03", "00:00:04",
                              "00:00:05", "00:00:06"}));
        QCOMPARE(texts.at(inner + 7), QStringLiteral("Stop1"));
        QCOMPARE(texts.size(), inner + 10);
        QVERIFY(texts.at(inner + 8).startsWith(QStringLiteral("00:04:5")));
        QCOMPARE(texts.last(), QStringLiteral("Stop1"));
        QVERIFY(!rig.button("cmdStop")->isEnabled());
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
    }

    // A peer sending start after start once crashed the station: each start ran a
    // display inside the one before, until the call stack overflowed.
    void hundredThousandStartsLeaveTheStationRunning()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        rig.console.setRecording(false);
        // Through the link, as a peer sends them: each start read as a chunk of its own.
        for (int i = 0; i < 200; ++i) {
            const qint64 before = rig.console.bytesReceived();
            rig.console.send(QStringLiteral("5"));
            QTRY_VERIFY(rig.console.bytesReceived() > before);
        }
        // Then straight into the window, as fast as it takes them.
        qint64 residentAfterWarmUp = 0;
        for (int i = 200; i < 100000; ++i) {
            rig.window->findChild<StationDisplay *>()->handleChunk(QStringLiteral("5"));
            if (i % 1000 == 0)
                QCoreApplication::processEvents();
            if (i == 10000)
                residentAfterWarmUp = residentKilobytes();
        }
        const qint64 sent = 8 * 100000;
        QTRY_VERIFY(rig.console.bytesReceived() >= sent);
        const qint64 growth = residentKilobytes() - residentAfterWarmUp;
        QVERIFY2(growth < 1024, qPrintable(QStringLiteral("%1 kB more").arg(growth)));

        // Still running, and still stopped by one stop message.
        rig.console.setRecording(true);
        const qsizetype before = rig.console.messages().size();
        QVERIFY(rig.button("cmdStop")->isEnabled());
        // How far the free clock got while the flood was read depends on the load.
        static const QRegularExpression countingDown(QStringLiteral("^00:0[0-4]:\\d\\d$"));
        QTRY_VERIFY(!rig.messagesFrom(before).filter(countingDown).isEmpty());
        rig.console.send(QStringLiteral("Stop1"));
        QTRY_VERIFY(rig.messagesFrom(before).contains(QStringLiteral("Stop1")));
        QTest::qWait(50);
        const qsizetype stops = rig.messagesFrom(before).count(QStringLiteral("Stop1"));
        QVERIFY2(stops >= 1 && stops <= 16, qPrintable(QString::number(stops)));
        QVERIFY(!rig.button("cmdStop")->isEnabled());
        const qsizetype atEnd = rig.console.messages().size();
        rig.clock.advanceMs(5000);
        QTest::qWait(50);
        QCOMPARE(rig.console.messages().size(), atEnd);
    }

    void hugeAndBinaryChunksEndAtOnce()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        rig.console.sendBytes(QByteArray("\0\0\x80\xff"
                                         "5",
                                         5));
        QTRY_COMPARE(rig.messagesFrom(before), QStringList{"Stop1"});
        QTRY_VERIFY(!rig.button("cmdStop")->isEnabled()); // the console's answer came back

        // A megabyte without a number in it: every piece the station reads is a period
        // of no time, answered with the stop message.
        QByteArray junk(1 << 20, 'x');
        for (qsizetype at = 0; at < junk.size(); at += 997)
            junk[at] = at % 2 ? '\0' : char(0x80 + at % 128);
        rig.console.sendBytes(junk);
        QTRY_VERIFY(rig.console.messages().size() > before + 1);
        // Until the last of it has been read, a stop can arrive run together with it.
        QTRY_VERIFY(
            (rig.console.send(QStringLiteral("Stop1")), !rig.button("cmdStop")->isEnabled()));
        const qsizetype stops = rig.messagesFrom(before).size();
        QTRY_COMPARE(rig.console.received(),
                     QStringLiteral("Startup1") + QStringLiteral("Stop1").repeated(stops));
        // No period ran: only the stops, each on its own, took their moment.
        QVERIFY(rig.clock.elapsedMs() < 10'000);
    }
};

QTEST_MAIN(StationTest)
#include "tst_station.moc"
