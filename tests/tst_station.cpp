#include "FakeConsole.h"
#include "ManualClock.h"
#include "Protocol.h"
#include "ScopedClock.h"
#include "StationNumber.h"
#include "StationOnTestClock.h"
#include "StationWindow.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
// A period that runs out sends its stop this long after its last time text.
constexpr qint64 stopPauseMs = 200;
const QDateTime afternoon(QDate(2004, 5, 12), QTime(14, 3, 22, 500));

// A station program in a directory of its own, on a clock moved by hand, with a
// console stand-in on loopback. Its window is tested here; what it does and shows,
// in tst_stationdisplay.
class StationRig : public StationOnTestClock
{
public:
    explicit StationRig(const QDateTime &start = afternoon, int station = 1,
                        quint16 consolePort = 0)
        : StationOnTestClock(start, station, consolePort)
        , m_station(station)
    {
    }

    void start()
    {
        window = std::make_unique<StationWindow>(m_station, directory(), console.port());
    }

    // Starts the station as the program under that name does, on its own port.
    void startAsProgram(const QString &programName)
    {
        window = std::make_unique<StationWindow>(StationNumber::find(directory(), programName),
                                                 directory());
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

    MessageRecorder shownMessages;
    TimeServiceStandIn timeService;
    std::unique_ptr<StationWindow> window;

private:
    int m_station;
};

bool shown(QWidget *widget)
{
    return !widget->isHidden();
}

// Calls back as the window shows and hides, at the moment it does.
class VisibilityWatch : public QObject
{
public:
    VisibilityWatch(QWidget *window, std::function<void(bool shown)> changed)
        : m_changed(std::move(changed))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            m_changed(event->type() == QEvent::Show);
        return false;
    }

private:
    std::function<void(bool shown)> m_changed;
};

// The program's windows of that name besides the station's own.
QWidgetList windowsNamed(const QString &name)
{
    QWidgetList found;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == name)
            found << window;
    return found;
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

    // The program started as Client1 and told by Client.ini to be station 4: its
    // port, messages and name are station 4's.
    void stationNumberFromClientIniMakesTheWholeStation()
    {
        StationRig rig(afternoon, 4, 12030);
        if (!rig.console.listen())
            QSKIP("port 12030 is taken on this machine");
        rig.writeIni("[Server]\r\nIP=127.0.0.1\r\nStation=4\r\n");
        rig.startAsProgram(QStringLiteral("Client1"));
        QCOMPARE(rig.window->objectName(), QStringLiteral("Client4"));
        QTRY_COMPARE(rig.console.messages(), QStringList{QStringLiteral("Startup4")});
        QTRY_VERIFY(rig.button("cmdStart")->isEnabled() && !shown(rig.field("Text4")));
        QTest::mouseClick(rig.button("cmdStart"), Qt::LeftButton);
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client4 - bitte freischalten."));
        QTRY_COMPARE(rig.console.messages(), QStringList({"Startup4", "Start4", "Stop4"}));
        QVERIFY(rig.shownMessages.shown().isEmpty());
    }

    // A number that is no station's is told once the window is up; the station
    // never connects, so it can't take station 1's place at its port.
    void badStationNumberIsToldAndNeverConnects()
    {
        StationRig rig(afternoon, 1, Protocol::port(1));
        rig.writeIni("[Server]\r\nIP=127.0.0.1\r\nStation=33\r\n");
        rig.startAsProgram(QStringLiteral("Client2"));
        QVERIFY(rig.shownMessages.shown().isEmpty());
        QTRY_COMPARE(rig.shownMessages.shown().size(), 1);
        const MessageDialog::Request &shown = rig.shownMessages.shown().at(0);
        QCOMPARE(shown.title, QStringLiteral(u"Keine gültige Stationsnummer"));
        QVERIFY(shown.text.contains(QStringLiteral(u"„Station=33“")));
        QCOMPARE(shown.icon, QMessageBox::Warning);
        QVERIFY(!rig.button("cmdVerbinden")->isEnabled());
        QVERIFY(!rig.button("cmdStart")->isEnabled());
        rig.window->findChild<StationDisplay *>()->reconnect();
        settle();
        QCOMPARE(rig.console.connectionCount(), 0);
    }

    // An empty time server in Client.ini asks none; under the lock a request that
    // fails shows no box, which would lie hidden below the cover.
    void timeServerOfClientIniAndNoBoxUnderTheLock()
    {
        {
            StationRig rig;
            rig.writeIni("[Server]\r\nIP=127.0.0.1\r\n[Zeit]\r\nServer=\r\n");
            rig.start();
            QTRY_COMPARE(rig.console.messages(), QStringList{QStringLiteral("Startup1")});
            settle();
            QCOMPARE(rig.timeService.server().connectionsSeen(), 0);
        }
        for (const QByteArray &lock : {QByteArray(), QByteArray("[Sperre]\r\nAktiv=1\r\n")}) {
            StationRig rig;
            rig.timeService.pointAtClosedPort();
            rig.writeIni("[Server]\r\nIP=127.0.0.1\r\n" + lock);
            rig.start();
            QTRY_COMPARE(rig.console.messages(), QStringList{QStringLiteral("Startup1")});
            if (lock.isEmpty()) {
                QTRY_COMPARE(rig.shownMessages.shown().size(), 1);
            } else {
                settle();
                QVERIFY(rig.shownMessages.shown().isEmpty());
            }
        }
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

    // The cover lies over every screen while no period runs, refuses to close and
    // connects from its own "Verbinden"; the notice before the end takes no focus.
    // Without the lock's key there is neither.
    void lockCoversTheScreensBetweenPeriods()
    {
        {
            StationRig plain;
            QVERIFY(plain.startConnected());
            QVERIFY(windowsNamed(QStringLiteral("Sperre")).isEmpty());
            QVERIFY(windowsNamed(QStringLiteral("Hinweis")).isEmpty());
        }
        StationRig rig;
        rig.console.stopListening();
        rig.writeIni("[Server]\r\nIP=127.0.0.1\r\n[Sperre]\r\nAktiv=1\r\nFirma=Netz-Eck\r\n");
        rig.start();
        const QWidgetList covers = windowsNamed(QStringLiteral("Sperre"));
        QCOMPARE(covers.size(), QGuiApplication::screens().size());
        QWidget *cover = covers.first();
        QVERIFY(cover->isVisible());
        QCOMPARE(cover->geometry(), cover->screen()->geometry());
        QVERIFY(cover->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                               | Qt::X11BypassWindowManagerHint));
        QVERIFY(!cover->close());
        QTest::keyClick(cover, Qt::Key_Escape);
        QTest::keyClick(cover, Qt::Key_F4, Qt::AltModifier);
        cover->showMinimized();
        QTRY_VERIFY(cover->isVisible() && !cover->isMinimized());
        const auto text = [cover](const char *name) {
            return cover->findChild<QLabel *>(QLatin1String(name))->text();
        };
        QCOMPARE(text("lblSperre"), QStringLiteral("Bitte an der Kasse freischalten."));
        QCOMPARE(text("lblFirma"), QStringLiteral("Netz-Eck"));
        QCOMPARE(text("lblStation"), QStringLiteral("Station 1"));
        QCOMPARE(text("lblVerbindung"), QStringLiteral("keine Verbindung"));

        QVERIFY(rig.console.listen());
        auto *connectButton = cover->findChild<QPushButton *>(QStringLiteral("cmdVerbindenSperre"));
        connectButton->click();
        QTRY_COMPARE(text("lblVerbindung"), QStringLiteral("verbunden"));
        QVERIFY(!connectButton->isEnabled());
        // Connected, and the console's answer to the announcement is taken.
        QTRY_VERIFY(rig.button("cmdStart")->isEnabled() && rig.field("Text4")->isHidden());

        // The period runs on the free clock in moments, so the windows are watched
        // as they show and hide rather than looked at now and then.
        const QWidgetList notices = windowsNamed(QStringLiteral("Hinweis"));
        QCOMPARE(notices.size(), 1);
        QWidget *notice = notices.first();
        QVERIFY(notice->isHidden());
        QVERIFY(notice->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(notice->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QStringList seen;
        const VisibilityWatch coverWatch(cover,
                                         [&](bool shown) { seen << (shown ? "Sperre" : "frei"); });
        const VisibilityWatch noticeWatch(notice, [&](bool shown) {
            if (shown)
                seen << (cover->isVisible() ? "Hinweis unter der Sperre" : "Hinweis");
        });
        rig.console.send(QStringLiteral("6"));
        QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 3 && seen.last() == "Sperre", 10000);
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({"frei", "Hinweis", "Sperre"}));
        QVERIFY(QApplication::activeWindow() != notice);
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

    void timedPeriodCountsDownThenReportsTheStop()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        const qsizetype before = rig.console.messages().size();
        rig.console.send(QStringLiteral("5"));

        QTRY_COMPARE(rig.messagesFrom(before).size(), 302);
        QCOMPARE(rig.messagesFrom(before),
                 FakeConsole::countdownTexts(300, 0) << QStringLiteral("Stop1"));
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

    void startAtTheStationAfterAStopIsOverAtOnce()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        const qsizetype before = rig.console.messages().size();
        QTest::mouseClick(rig.button("cmdStart"), Qt::LeftButton);
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Client1 - bitte freischalten."));
        QTRY_COMPARE(rig.messagesFrom(before), QStringList({"Start1", "Stop1"}));
    }

    void startAtTheStationRunsForTheIntervalTyped()
    {
        StationRig rig;
        QVERIFY(rig.startConnected());
        rig.console.setAnswerStops(false);
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QLineEdit *interval = rig.field("Text3");
        interval->show();
        QTest::keyClick(interval, '1');
        const qsizetype before = rig.console.messages().size();
        QTest::mouseClick(rig.button("cmdStart"), Qt::LeftButton);
        QTRY_VERIFY(rig.console.messages().endsWith(QStringLiteral("Stop1")));
        QCOMPARE(rig.messagesFrom(before),
                 QStringList{"Start1"} + FakeConsole::countdownTexts(60, 0) << "Stop1");
    }
};

QTEST_MAIN(StationTest)
#include "tst_station.moc"
