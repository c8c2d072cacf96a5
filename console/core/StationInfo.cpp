#include "StationInfo.h"

#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace StationInfo {
namespace {

constexpr int maxWideTextLength = 127;
constexpr int workstationQueryTimeoutMs = 4000;
const QString lineEnd = QStringLiteral("\r\n");

QList<QHostAddress> systemResolve(const QString &hostName)
{
    return QHostInfo::fromName(hostName).addresses();
}

// The Samba client prints its calls' structures at debug level 10; a level-102
// workstation query is the only way it hands out the LAN root and the user count.
std::optional<WorkstationFacts> askWithRpcClient(const QString &hostName)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("rpcclient"));
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program,
                  {QStringLiteral("-d"), QStringLiteral("10"), QStringLiteral("-U%"),
                   QStringLiteral("-c"), QStringLiteral("wkssvc_wkstagetinfo 102"), hostName});
    process.closeWriteChannel();
    if (!process.waitForFinished(workstationQueryTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return parseWorkstationDump(QString::fromUtf8(process.readAll()));
}

Resolver &installedResolver()
{
    static Resolver resolver;
    return resolver;
}

WorkstationQuery &installedQuery()
{
    static WorkstationQuery query;
    return query;
}

std::optional<QHostAddress> firstIPv4Address(const QString &hostName)
{
    const Resolver &resolver = installedResolver();
    const QList<QHostAddress> addresses = resolver ? resolver(hostName) : systemResolve(hostName);
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return std::nullopt;
}

QString socketDescription()
{
    return QStringLiteral("Linux sockets (Qt %1)").arg(QString::fromLatin1(qVersion()));
}

QString socketStatus()
{
    return QStringLiteral("Running");
}

QString dottedAddress(const QHostAddress &address)
{
    const quint32 value = address.toIPv4Address();
    QStringList bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(QString::number((value >> shift) & 0xFF));
    return bytes.join(u'.');
}

// "0x00000004 (4)" or "PLATFORM_ID_NT (500)": the number in the parentheses.
std::optional<quint32> dumpedNumber(const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\((\d+)\)$)"));
    const QRegularExpressionMatch match = pattern.match(value);
    bool ok = false;
    const quint32 number = match.captured(1).toUInt(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

// "'WORKGROUP'" gives the text; a pointer line ("*") gives nothing, "NULL" nothing
// either but the empty text.
std::optional<QString> dumpedText(const QString &value)
{
    if (value == u"NULL")
        return QString();
    if (value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\''))
        return value.mid(1, value.size() - 2);
    return std::nullopt;
}

}

QString computerName(int station)
{
    return QStringLiteral("\\\\Client%1").arg(station);
}

QString platformName(quint32 platformId, quint32 versionMajor)
{
    switch (platformId) {
    case 300:
        return QStringLiteral("DOS");
    case 400:
        return versionMajor == 4 ? QStringLiteral("Win9x") : QStringLiteral("OS2");
    case 500:
        return versionMajor == 5 ? QStringLiteral("Win 2000") : QStringLiteral("NT");
    case 600:
        return QStringLiteral("OSF");
    case 700:
        return QStringLiteral("VMS");
    default:
        return QString();
    }
}

QString infoText(const StationFacts &facts)
{
    QString text = QStringLiteral("IP-Adresse: ") + dottedAddress(facts.address) + lineEnd
        + QStringLiteral("Winsock Version: ") + facts.socketDescription + lineEnd
        + QStringLiteral("Winsock Status: ") + facts.socketStatus + lineEnd;
    if (!facts.workstation)
        return text;
    const WorkstationFacts &station = *facts.workstation;
    text += QStringLiteral("Domain: ") + station.domain.left(maxWideTextLength) + lineEnd
        + QStringLiteral("Betriebssystem: ")
        + platformName(station.platformId, station.versionMajor)
        + QStringLiteral(" Version %1.%2").arg(station.versionMajor).arg(station.versionMinor)
        + QStringLiteral("Lan Root: ") + station.lanRoot.left(maxWideTextLength)
        + QStringLiteral("Eingeloggte Benutzer:  %1").arg(station.loggedOnUsers);
    return text;
}

std::optional<WorkstationFacts> parseWorkstationDump(const QString &dump)
{
    const qsizetype start = dump.indexOf(QStringLiteral("struct wkssvc_NetWkstaInfo102"));
    if (start < 0)
        return std::nullopt;
    static const QRegularExpression line(QStringLiteral(R"(^\s*(\w+)\s*: (.*?)\s*$)"),
                                         QRegularExpression::MultilineOption);
    WorkstationFacts facts;
    std::optional<quint32> platformId, versionMajor, versionMinor;
    for (const QRegularExpressionMatch &match : line.globalMatch(dump.mid(start))) {
        const QString name = match.captured(1);
        const QString value = match.captured(2);
        if (name == u"platform_id")
            platformId = dumpedNumber(value);
        else if (name == u"version_major")
            versionMajor = dumpedNumber(value);
        else if (name == u"version_minor")
            versionMinor = dumpedNumber(value);
        else if (name == u"logged_on_users")
            facts.loggedOnUsers = dumpedNumber(value).value_or(0);
        else if (name == u"domain_name")
            facts.domain = dumpedText(value).value_or(facts.domain);
        else if (name == u"lan_root")
            facts.lanRoot = dumpedText(value).value_or(facts.lanRoot);
    }
    if (!platformId || !versionMajor || !versionMinor)
        return std::nullopt;
    facts.platformId = *platformId;
    facts.versionMajor = *versionMajor;
    facts.versionMinor = *versionMinor;
    return facts;
}

QString QueryStationInfo(const QString &computerName)
{
    const QString hostName = QString(computerName).remove(u'\\');
    const std::optional<QHostAddress> address = firstIPv4Address(hostName);
    if (!address)
        return QString();
    const WorkstationQuery &query = installedQuery();
    const StationFacts facts{*address, socketDescription(), socketStatus(),
                             query ? query(hostName) : askWithRpcClient(hostName)};
    return infoText(facts);
}

QString unresolvedText(const QString &computerName)
{
    const QString hostName = QString(computerName).remove(u'\\');
    return QStringLiteral("IP-Adresse: unbekannt, denn der Name %1 lässt sich nicht in eine "
                          "IPv4-Adresse auflösen "
                          "(kein Eintrag im Namensdienst des Netzes oder in /etc/hosts).")
               .arg(hostName)
        + lineEnd + QStringLiteral("Winsock Version: ") + socketDescription() + lineEnd
        + QStringLiteral("Winsock Status: ") + socketStatus() + lineEnd;
}

void setResolver(Resolver resolver)
{
    installedResolver() = std::move(resolver);
}

void setWorkstationQuery(WorkstationQuery query)
{
    installedQuery() = std::move(query);
}

}
