#include "PcInfoWindow.h"
#include "StationInfo.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

namespace {

WorkstationFacts nt4()
{
    WorkstationFacts facts;
    facts.platformId = 500;
    facts.versionMajor = 4;
    facts.versionMinor = 0;
    facts.domain = QStringLiteral("CAFE");
    facts.lanRoot = QStringLiteral("C:\\WINNT");
    facts.loggedOnUsers = 1;
    return facts;
}

StationFacts station(std::optional<WorkstationFacts> workstation)
{
    return StationFacts{QHostAddress(QStringLiteral("10.0.0.5")), QStringLiteral("Linux sockets"),
                        QStringLiteral("Running"), std::move(workstation)};
}

QString lastLine(const QString &text)
{
    return text.mid(text.lastIndexOf(QStringLiteral("\r\n")) + 2);
}

// What the Samba client prints at debug level 10 for a level-102 workstation query.
QString rpcDump(const QString &outPart)
{
    return QStringLiteral("[2024/05/12 10:20:30.123456, 10] "
                          "../../librpc/ndr/ndr.c:493(ndr_print_function_debug)\n"
                          "       wkssvc_NetWkstaGetInfo: struct wkssvc_NetWkstaGetInfo\n"
                          "          in: struct wkssvc_NetWkstaGetInfo\n"
                          "              server_name              : *\n"
                          "                  server_name              : 'Client1'\n"
                          "              level                    : 0x00000066 (102)\n")
        + outPart;
}

const QString grantedOutPart = QStringLiteral(
    "       wkssvc_NetWkstaGetInfo: struct wkssvc_NetWkstaGetInfo\n"
    "          out: struct wkssvc_NetWkstaGetInfo\n"
    "              info                     : *\n"
    "                  info                     : union wkssvc_NetWkstaInfo(case 102)\n"
    "                  info102                  : *\n"
    "                      info102: struct wkssvc_NetWkstaInfo102\n"
    "                          platform_id              : PLATFORM_ID_NT (500)\n"
    "                          server_name              : *\n"
    "                              server_name              : 'CLIENT1'\n"
    "                          domain_name              : *\n"
    "                              domain_name              : 'INTERNET CAFE'\n"
    "                          version_major            : 0x00000005 (5)\n"
    "                          version_minor            : 0x00000001 (1)\n"
    "                          lan_root                 : *\n"
    "                              lan_root                 : 'C:\\WINDOWS'\n"
    "                          logged_on_users          : 0x00000002 (2)\n"
    "              result                   : WERR_OK\n");

// Replaces the name service and the workstation query for the lifetime of the
// guard and counts the questions asked.
class FakeNetwork
{
public:
    FakeNetwork()
    {
        StationInfo::setResolver([this](const QString &name) {
            resolved.append(name);
            return addresses.value(name);
        });
        StationInfo::setWorkstationQuery([this](const QString &name) {
            queried.append(name);
            return workstation;
        });
    }
    ~FakeNetwork()
    {
        StationInfo::setResolver({});
        StationInfo::setWorkstationQuery({});
    }
    FakeNetwork(const FakeNetwork &) = delete;
    FakeNetwork &operator=(const FakeNetwork &) = delete;

    QHash<QString, QList<QHostAddress>> addresses;
    std::optional<WorkstationFacts> workstation;
    QStringList resolved;
    QStringList queried;
};

}

class StationInfoTest : public QObject
{
    Q_OBJECT

private slots:
    void fullTextRunsTheWorkstationFactsTogether()
    {
        QCOMPARE(StationInfo::infoText(station(nt4())),
                 QStringLiteral(
                     "IP-Adresse: 10.0.0.5\r\n"
                     "Winsock Version: Linux sockets\r\n"
                     "Winsock Status: Running\r\n"
                     "Domain: CAFE\r\n"
                     "Betriebssystem: NT Version 4.0Lan Root: C:\\WINNTEingeloggte Benutzer:  1"));
    }

    void withoutWorkstationFactsOnlyThreeLines()
    {
        QCOMPARE(StationInfo::infoText(station(std::nullopt)),
                 QStringLiteral("IP-Adresse: 10.0.0.5\r\nWinsock Version: Linux sockets\r\nWinsock "
                                "Status: Running\r\n"));
    }

    void operatingSystemLine_data()
    {
        QTest::addColumn<quint32>("platformId");
        QTest::addColumn<quint32>("major");
        QTest::addColumn<quint32>("minor");
        QTest::addColumn<QString>("start");
        QTest::newRow("XP") << 500u << 5u << 1u
                            << QStringLiteral("Betriebssystem: Win 2000 Version 5.1Lan Root");
        QTest::newRow("NT 4.0") << 500u << 4u << 0u
                                << QStringLiteral("Betriebssystem: NT Version 4.0Lan Root");
        QTest::newRow("unknown id")
            << 800u << 4u << 0u << QStringLiteral("Betriebssystem:  Version 4.0Lan Root");
        QTest::newRow("OS2") << 400u << 3u << 0u
                             << QStringLiteral("Betriebssystem: OS2 Version 3.0");
    }
    void operatingSystemLine()
    {
        QFETCH(quint32, platformId);
        QFETCH(quint32, major);
        QFETCH(quint32, minor);
        QFETCH(QString, start);
        WorkstationFacts facts = nt4();
        facts.platformId = platformId;
        facts.versionMajor = major;
        facts.versionMinor = minor;
        QVERIFY2(lastLine(StationInfo::infoText(station(facts))).startsWith(start),
                 qPrintable(StationInfo::infoText(station(facts))));
    }

    void longTextsAreCutAfter127Characters()
    {
        WorkstationFacts facts = nt4();
        facts.domain = QString(200, u'D');
        facts.lanRoot = QString(130, u'L');
        const QString text = StationInfo::infoText(station(facts));
        QVERIFY(text.contains(QStringLiteral("Domain: ") + QString(127, u'D')
                              + QStringLiteral("\r\n")));
        QVERIFY(text.contains(QStringLiteral("Lan Root: ") + QString(127, u'L')
                              + QStringLiteral("Eingeloggte")));
    }

    void workstationFactsFromTheSambaDump()
    {
        const std::optional<WorkstationFacts> facts
            = StationInfo::parseWorkstationDump(rpcDump(grantedOutPart));
        QVERIFY(facts.has_value());
        QCOMPARE(facts->platformId, 500u);
        QCOMPARE(facts->versionMajor, 5u);
        QCOMPARE(facts->versionMinor, 1u);
        QCOMPARE(facts->domain, QStringLiteral("INTERNET CAFE"));
        QCOMPARE(facts->lanRoot, QStringLiteral("C:\\WINDOWS"));
        QCOMPARE(facts->loggedOnUsers, 2u);
    }

    void deniedOrFailedQueryGivesNoFacts()
    {
        const QString denied = QStringLiteral(
            "          out: struct wkssvc_NetWkstaGetInfo\n"
            "              info                     : *\n"
            "                  info                     : union wkssvc_NetWkstaInfo(case 102)\n"
            "                  info102                  : NULL\n"
            "              result                   : WERR_ACCESS_DENIED\n");
        QVERIFY(!StationInfo::parseWorkstationDump(rpcDump(denied)).has_value());
        QVERIFY(!StationInfo::parseWorkstationDump(
                     QStringLiteral("Cannot connect to server.  Error was "
                                    "NT_STATUS_HOST_UNREACHABLE\n"))
                     .has_value());
        QVERIFY(!StationInfo::parseWorkstationDump(QString()).has_value());
    }

    void queryAsksByTheNameWithoutBackslashes()
    {
        FakeNetwork network;
        network.addresses[QStringLiteral("Client2")]
            = {QHostAddress(QStringLiteral("::1")), QHostAddress(QStringLiteral("127.0.0.2")),
               QHostAddress(QStringLiteral("127.0.0.3"))};
        network.workstation = nt4();
        const QString text = StationInfo::QueryStationInfo(StationInfo::computerName(2));
        QVERIFY(text.startsWith(QStringLiteral("IP-Adresse: 127.0.0.2\r\nWinsock Version: ")));
        QVERIFY(text.endsWith(QStringLiteral("Eingeloggte Benutzer:  1")));
        QCOMPARE(network.resolved, QStringList{QStringLiteral("Client2")});
        QCOMPARE(network.queried, QStringList{QStringLiteral("Client2")});
    }

    void unresolvableNameGivesAnEmptyText()
    {
        FakeNetwork network;
        network.addresses[QStringLiteral("Client1")] = {QHostAddress(QStringLiteral("::1"))};
        QCOMPARE(StationInfo::QueryStationInfo(QStringLiteral("\\\\Client1")), QString());
        QCOMPARE(StationInfo::QueryStationInfo(QStringLiteral("\\\\Client2")), QString());
        QVERIFY(network.queried.isEmpty());
    }

    void windowQueriesOnceUntilClosed()
    {
        FakeNetwork network;
        network.addresses[QStringLiteral("Client1")] = {QHostAddress(QStringLiteral("127.0.0.1"))};
        QWidget mainWindow;

        QPointer<PcInfoWindow> window = PcInfoWindow::showOrRaise(1, &mainWindow);
        QCOMPARE(window->objectName(), QStringLiteral("frmPCInfo1"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Client1 PC Info"));
        auto *info = window->findChild<QPlainTextEdit *>(QStringLiteral("tfInfo"));
        QVERIFY(info && info->isReadOnly());
        QVERIFY(info->toPlainText().startsWith(QStringLiteral("IP-Adresse: 127.0.0.1\n")));

        QCOMPARE(PcInfoWindow::showOrRaise(1, &mainWindow), window.data());
        QCOMPARE(network.resolved.size(), 1);

        window->close();
        QTRY_VERIFY(window.isNull());
        window = PcInfoWindow::showOrRaise(1, &mainWindow);
        QCOMPARE(network.resolved.size(), 2);

        PcInfoWindow *second = PcInfoWindow::showOrRaise(2, &mainWindow);
        QVERIFY(second != window.data());
        QCOMPARE(second->windowTitle(), QStringLiteral("Client2 PC Info"));
        const QString unresolved
            = second->findChild<QPlainTextEdit *>(QStringLiteral("tfInfo"))->toPlainText();
        QVERIFY(unresolved.contains(
            QStringLiteral("Client2 lässt sich nicht in eine IPv4-Adresse auflösen")));
        QVERIFY(unresolved.contains(QStringLiteral("Winsock Status: Running")));
    }
};

QTEST_MAIN(StationInfoTest)
#include "tst_stationinfo.moc"
