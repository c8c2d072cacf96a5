#include "ConsoleConfig.h"
#include "ConsoleFixture.h"
#include "MainWindow.h"
#include "ProgramEnd.h"
#include "StationInfo.h"
#include "TestSupport.h"
#include "TimeServiceStandIn.h"
#include "Twips.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QStringList menuCaptions(QMenu *menu)
{
    QStringList captions;
    for (QAction *action : menu->actions())
        captions.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

template<typename T> bool allDifferent(const QList<T> &items)
{
    return QSet<T>(items.begin(), items.end()).size() == items.size();
}

QString storedGeometry(const char *key)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kavo"),
                       QStringLiteral("Kavo"));
    return settings.value(QStringLiteral("Settings/") + QLatin1String(key)).toString();
}
}

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void panelsCarryTheirControls()
    {
        ConsoleFixture fixture;
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QCOMPARE(window.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Internetcafé Test"));

        auto *start1 = window.findChild<QPushButton *>(QStringLiteral("cmdStart1"));
        auto *start2 = window.findChild<QPushButton *>(QStringLiteral("cmdStart2"));
        QCOMPARE(start1->text(), QStringLiteral("&Start"));
        QCOMPARE(start2->text(), QStringLiteral("Start"));
        // Where each sits in the window's station area.
        const auto placed = [&](const QWidget *control) {
            return QRect(control->mapTo(window.centralWidget(), QPoint()), control->size());
        };
        QCOMPARE(placed(start1), Twips::toPixels(120, 1080, 975, 255));
        QCOMPARE(placed(start2), Twips::toPixels(5040, 1080, 975, 255));
        QCOMPARE(placed(window.findChild<QRadioButton *>(QStringLiteral("opt2_30"))),
                 Twips::toPixels(8760, 720, 855, 255));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label6"))->text(),
                 QStringLiteral("Client 2"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("Kosten"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label18"))->text(),
                 QStringLiteral("Timer"));
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("Command2"))->toolTip(),
                 QStringLiteral("Falls Kavo ohne Client genutzt werden soll, schaltet diese "
                                "Funktion die Steuerung frei."));
        QCOMPARE(window.findChild<QStatusBar *>(QStringLiteral("sbStatusBar"))
                     ->findChild<QLabel *>(QStringLiteral("sbProduct"))
                     ->text(),
                 QStringLiteral("Kavo - Tessaro"));
    }

    // More than two stations: a cell each, in a grid that scrolls, shown whole where
    // nothing is stored. Every control is named with its station's number, and no
    // key reaches two of them: the panels beyond station 1 have no mnemonics.
    void sixStationsHaveACellEachWithNamesAndKeysOfTheirOwn()
    {
        ConsoleFixture fixture;
        fixture.useStations(6);
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QCOMPARE(window.stationCount(), 6);
        QVERIFY(qobject_cast<QScrollArea *>(window.centralWidget()));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lbClient6"))->text(),
                 QStringLiteral("Client 6"));
        for (const char *name : {"cmdStart6", "tfDauer6", "cmdPCInfo6", "Command6"})
            QCOMPARE(window.findChild<QWidget *>(QString::fromLatin1(name))->parent()->objectName(),
                     QStringLiteral("fraClient6"));
        QVERIFY(window.findChild<QComboBox *>(QStringLiteral("cmbMonat6"))->isVisibleTo(&window));
        QVERIFY(!window.findChild<QWidget *>(QStringLiteral("cmdStart7")));

        QStringList names;
        for (const QWidget *widget : window.findChildren<QWidget *>()) {
            if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"))
                names.append(widget->objectName());
        }
        QVERIFY(names.size() > 6 * 30);
        QVERIFY(allDifferent(names));
        QList<QKeySequence> keys;
        for (const QAction *menu : window.menuBar()->actions())
            keys.append(QKeySequence::mnemonic(menu->text()));
        for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
            keys.append(QKeySequence::mnemonic(button->text()));
        keys.removeAll(QKeySequence());
        QCOMPARE(keys.size(), 9);
        QVERIFY(allDifferent(keys));

        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(QRect(window.pos(), window.size())));
        QVERIFY(window.width() >= 2 * Twips::toPixels(StationPanel::width));
        const QSize smaller = window.size() - QSize(100, 100);
        window.show();
        window.resize(smaller);
        window.close();
        fixture.start();
        QCOMPARE(fixture.window().size(), smaller);
    }

    // The Tab key goes through both panels before the statistics.
    void focusChainRunsThroughThePanelsFirst()
    {
        ConsoleFixture fixture;
        fixture.start();
        QStringList chain;
        QWidget *widget = fixture.window().panel(1).start;
        for (int step = 0; step < 100; ++step, widget = widget->nextInFocusChain())
            chain.append(widget->objectName());
        QVERIFY(chain.indexOf(u"tfKosten2") < chain.indexOf(u"tfNutzungszeit1"));
        QVERIFY(chain.indexOf(u"tfKosten1") < chain.indexOf(u"cmdStart2"));
    }

    void stationCountThatIsNoNumberIsToldAndTwoServe()
    {
        ConsoleFixture fixture;
        fixture.writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationCount,
                         QStringLiteral("drei"));
        MessageRecorder messages;
        QVERIFY(fixture.start());
        QCOMPARE(messages.texts(),
                 QStringList{QStringLiteral(
                     "Kavo.ini: „drei“ unter „Anzahl“ im Abschnitt „Stationen“ ist keine Zahl"
                     " von 1 bis 32. Kavo arbeitet mit 2 Stationen.")});
        QCOMPARE(messages.shown().first().icon, QMessageBox::Warning);
        QCOMPARE(fixture.window().stationCount(), 2);
        QVERIFY(!qobject_cast<QScrollArea *>(fixture.window().centralWidget()));
    }

    void onlyWithoutStationIsEnabledAfterStart()
    {
        ConsoleFixture fixture;
        QVERIFY(fixture.start());
        for (int station : {1, 2}) {
            StationPanel &panel = fixture.window().panel(station);
            for (QWidget *control : panel.stationControls())
                QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
            QVERIFY(panel.withoutStation->isEnabled());
            QVERIFY(panel.stopTime->text().isEmpty());
        }
    }

    void menuIsInItsOrder()
    {
        ConsoleFixture fixture;
        fixture.start();
        QMenuBar *bar = fixture.window().menuBar();
        QStringList menus;
        for (QAction *action : bar->actions())
            menus.append(action->text());
        QCOMPARE(menus, (QStringList{"&Datei", "&Ansicht", "&Werkzeuge", "&?"}));
        QCOMPARE(menuCaptions(bar->findChild<QMenu *>(QStringLiteral("mnuFile"))),
                 (QStringList{"Ö&ffnen...", "S&chließen", "-", "E&xcel Ausgabe", "-", "&Beenden"}));
        QCOMPARE(
            menuCaptions(bar->findChild<QMenu *>(QStringLiteral("mnuView"))),
            (QStringList{"Status&leiste", "-", "&Aktualisieren", "Einnahmen…", "Tagesabschluss…"}));
        QCOMPARE(bar->findChild<QAction *>(QStringLiteral("mnuViewTagesabschluss"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_T));
        QCOMPARE(menuCaptions(bar->findChild<QMenu *>(QStringLiteral("mnuTools"))),
                 (QStringList{"&Zeit aktuallisieren", "&Optionen...", "&Betreiber und Rechte…"}));
        QCOMPARE(menuCaptions(bar->findChild<QMenu *>(QStringLiteral("mnuHelp"))),
                 (QStringList{"&Inhalt", "-", "Inf&o "}));
    }

    void statisticsSwitch_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("shown");
        QTest::newRow("1") << QStringLiteral("1") << true;
        QTest::newRow("01") << QStringLiteral("01") << false;
        QTest::newRow("ja") << QStringLiteral("ja") << false;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("missing") << QString() << false;
    }
    void statisticsSwitch()
    {
        QFETCH(QString, value);
        QFETCH(bool, shown);
        ConsoleFixture fixture(value);
        fixture.start();
        MainWindow &window = fixture.window();
        window.show();
        QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("tfEntgeld2"))->isVisible(), shown);
        QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("cmbMonat1"))->isVisible(), shown);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label24"))->isVisible(), shown);
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("mnuFileExport"))->isVisible(), shown);
    }

    void geometryDefaultsAndStore()
    {
        ConsoleFixture fixture;
        fixture.start();
        MainWindow &window = fixture.window();
        QCOMPARE(window.pos(), QPoint(Twips::toPixels(1000), Twips::toPixels(1000)));
        QCOMPARE(window.width(), Twips::toPixels(16500));

        window.show();
        window.move(Twips::toPixels(1500), Twips::toPixels(1200));
        window.close();
        QCOMPARE(storedGeometry("MainLeft"), QStringLiteral("1500"));
        QCOMPARE(storedGeometry("MainTop"), QStringLiteral("1200"));
        QCOMPARE(storedGeometry("MainWidth"), QStringLiteral("16500"));

        fixture.start();
        QCOMPARE(fixture.window().pos(), QPoint(Twips::toPixels(1500), Twips::toPixels(1200)));
    }

    // A stored position that leaves less than a corner of the window on a screen gives
    // way to the default one; a window reaching onto the screen stays where it was.
    void geometryOffTheScreensIsReplaced_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("top");
        QTest::addColumn<bool>("kept");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QString rightEdge = QString::number(Twips::fromPixels(screen.right() + 1));
        const QString cornerLeft = QString::number(Twips::fromPixels(screen.right() + 1 - 100));
        QTest::newRow("huge left")
            << QStringLiteral("99999999999999999999") << QStringLiteral("1000") << false;
        QTest::newRow("far above") << QStringLiteral("1000") << QStringLiteral("-50000") << false;
        QTest::newRow("beyond the right edge") << rightEdge << QStringLiteral("1000") << false;
        QTest::newRow("a corner on the screen") << cornerLeft << QStringLiteral("1000") << true;
        QTest::newRow("left part off the screen")
            << QStringLiteral("-6000") << QStringLiteral("0") << true;
    }
    void geometryOffTheScreensIsReplaced()
    {
        QFETCH(QString, left);
        QFETCH(QString, top);
        QFETCH(bool, kept);
        ConsoleFixture fixture;
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                               QStringLiteral("Kavo"), QStringLiteral("Kavo"));
            settings.setValue(QStringLiteral("Settings/MainLeft"), left);
            settings.setValue(QStringLiteral("Settings/MainTop"), top);
        }
        QVERIFY(fixture.start());
        const QPoint defaultPosition(Twips::toPixels(1000), Twips::toPixels(1000));
        const QPoint position = fixture.window().pos();
        if (kept)
            QCOMPARE(position,
                     QPoint(Twips::toPixels(left.toDouble()), Twips::toPixels(top.toDouble())));
        else
            QCOMPARE(position,
                     QGuiApplication::primaryScreen()->availableGeometry().topLeft()
                         + defaultPosition);
        QCOMPARE(fixture.window().width(), Twips::toPixels(16500));
    }

    void closeAtOnceStoresNothing()
    {
        ConsoleFixture fixture;
        fixture.start();
        QList<int> endings;
        ProgramEnd::setAction([&endings](int code) { endings.append(code); });
        fixture.window().show();
        fixture.window().findChild<QAction *>(QStringLiteral("mnuFileClose"))->trigger();
        ProgramEnd::setAction({});
        QCOMPARE(endings, QList<int>{0});
        QCOMPARE(storedGeometry("MainLeft"), QString());
    }

    void minimizedWindowStoresNothing()
    {
        ConsoleFixture fixture;
        fixture.start();
        MainWindow &window = fixture.window();
        window.show();
        window.move(Twips::toPixels(3000), Twips::toPixels(3000));
        window.showMinimized();
        window.close();
        QCOMPARE(storedGeometry("MainLeft"), QString());
    }

    void geometryThatIsNoNumberEndsStartUp()
    {
        ConsoleFixture fixture;
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                               QStringLiteral("Kavo"), QStringLiteral("Kavo"));
            settings.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("oben"));
        }
        const Result<ConsoleApp::Started> started = fixture.startWithReason();
        QVERIFY(!started.hasValue());
        const QString error = started.failure().text();
        QVERIFY(error.contains(QStringLiteral("MainTop")));
    }

    void secondInstanceEndsWhileTheFirstStays()
    {
        const QString name
            = QStringLiteral("kavo-single-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QVERIFY(first.claim());
        QSignalSpy woken(&first, &SingleInstance::activationRequested);

        SingleInstance second(name);
        QVERIFY(!second.claim());
        QTRY_COMPARE(woken.count(), 1);

        // The first keeps running: a third start is turned away too.
        SingleInstance third(name);
        QVERIFY(!third.claim());
    }

    void staleSocketFileDoesNotBlockStart()
    {
        // A crashed console leaves its socket file behind with no one listening.
        const QString name
            = QStringLiteral("kavo-stale-%1").arg(QCoreApplication::applicationPid());
        const QByteArray path = QFile::encodeName(QDir::temp().filePath(name));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(path)));

        SingleInstance next(name);
        QVERIFY(next.claim());
    }

    void menuAndPanelsOpenTheirWindows()
    {
        TimeServiceStandIn timeService;
        StationInfo::setResolver([](const QString &) {
            return QList<QHostAddress>{QHostAddress(QStringLiteral("10.0.0.5"))};
        });
        StationInfo::setWorkstationQuery(
            [](const QString &) { return std::optional<WorkstationFacts>(); });
        ConsoleFixture fixture;
        fixture.start();
        MainWindow &window = fixture.window();
        MessageRecorder messages;

        window.findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger();
        QCOMPARE(messages.shown().size(), 1);
        QCOMPARE(messages.shown().first().title, QStringLiteral("Internetcafé Test"));
        QCOMPARE(messages.shown().first().icon, QMessageBox::Information);

        window.findChild<QAction *>(QStringLiteral("mnuToolsOptions"))->trigger();
        QTRY_VERIFY(window.findChild<QWidget *>(QStringLiteral("frmOptionen")));

        window.findChild<QAction *>(QStringLiteral("mnuTimemaster"))->trigger();
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("frmTimemaster")));

        window.panel(2).withoutStation->click();
        window.panel(2).pcInfo->click();
        auto *info = window.findChild<QWidget *>(QStringLiteral("frmPCInfo2"));
        QVERIFY(info);
        QVERIFY(info->findChild<QPlainTextEdit *>(QStringLiteral("tfInfo"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("IP-Adresse: 10.0.0.5")));
        StationInfo::setResolver({});
        StationInfo::setWorkstationQuery({});
    }

    void exportMenuWritesBothWorkbooks()
    {
        ConsoleFixture fixture;
        fixture.start();
        MainWindow &window = fixture.window();
        window.panel(1).withoutStation->click();
        window.panel(1).start->click();
        window.panel(1).stop->click();
        MessageRecorder messages;
        window.findChild<QAction *>(QStringLiteral("mnuFileExport"))->trigger();
        QCOMPARE(messages.texts(),
                 QStringList{QStringLiteral("Die Excel Datei wurde im Programmverzeichnis unter "
                                            "dem Namen 'zeitclientX.xls' abgelegt.")});
        for (const char *name : {"zeitclient1.xls", "zeitclient2.xls"})
            QVERIFY(QFile::exists(QDir(fixture.programDir()).filePath(QString::fromLatin1(name))));
    }

    void refreshSaysNotYetNeeded()
    {
        ConsoleFixture fixture;
        fixture.start();
        MessageRecorder messages;
        fixture.window().findChild<QAction *>(QStringLiteral("mnuViewRefresh"))->trigger();
        QCOMPARE(messages.shown().size(), 1);
        QCOMPARE(messages.shown().first().text, QStringLiteral("Noch nicht nötig."));
        QCOMPARE(messages.shown().first().title, QStringLiteral("Kavo"));
        QCOMPARE(messages.shown().first().icon, QMessageBox::Warning);

        QAction *statusBarItem
            = fixture.window().findChild<QAction *>(QStringLiteral("mnuViewStatusBar"));
        fixture.window().show();
        statusBarItem->trigger();
        QVERIFY(!statusBarItem->isChecked());
        QVERIFY(!fixture.window().statusBar()->isVisible());
        statusBarItem->trigger();
        QVERIFY(fixture.window().statusBar()->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
