#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// What a station PC's workstation service reports about it.
struct WorkstationFacts
{
    quint32 platformId = 0;
    quint32 versionMajor = 0;
    quint32 versionMinor = 0;
    QString domain;
    QString lanRoot;
    quint32 loggedOnUsers = 0;
};

// The network facts shown about a station PC: its address, this PC's socket layer
// and, when the station could be asked, its workstation facts.
struct StationFacts
{
    QHostAddress address;
    QString socketDescription;
    QString socketStatus;
    std::optional<WorkstationFacts> workstation;
};

// The information text of the "PC Info" windows and the gathering of its facts.
namespace StationInfo {

// "\\Client1" or "\\Client2": the fixed network name of a station PC.
QString computerName(int station);

// The operating system's family by platform id and, for some, major version.
QString platformName(quint32 platformId, quint32 versionMajor);

// Lines ended by CR LF for the address and the socket layer; the workstation facts
// run together on one last line without a line end.
QString infoText(const StationFacts &facts);

// The workstation facts in the structure dump of the Samba client `rpcclient`
// (debug level 10) after a level-102 workstation query; nothing when it holds none.
std::optional<WorkstationFacts> parseWorkstationDump(const QString &dump);

// Asks the network about the named PC ("\\Client1"); the empty text when its name
// cannot be resolved to an IPv4 address. Blocks until the answers are in.
QString QueryStationInfo(const QString &computerName);

// What is known about a PC whose name does not resolve, and why no more is.
QString unresolvedText(const QString &computerName);

// The name service and the workstation query, replaceable for tests; an empty
// function restores the system's own. Both get the name without backslashes.
using Resolver = std::function<QList<QHostAddress>(const QString &hostName)>;
using WorkstationQuery = std::function<std::optional<WorkstationFacts>(const QString &hostName)>;
void setResolver(Resolver resolver);
void setWorkstationQuery(WorkstationQuery query);

}
