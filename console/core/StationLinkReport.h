#pragma once

#include <QHostAddress>
#include <QString>

#include <map>

// What the operator is shown of a station's port, in the tooltip of its heading:
// who holds the port (address, since when, whether with the key), then the
// connections refused for their address and those refused for the key, each as a
// count with the last one.
class StationLinkReport
{
public:
    enum class Refusal {
        NoKey,       // plain text or nothing where the key is set
        WrongKey,    // a handshake that failed
        UnwantedKey, // a handshake where no key is set
    };

    StationLinkReport(int station, quint16 port);

    // The peer now holding the port; a null address: nobody.
    void setHolder(const QHostAddress &peer, bool keyed);
    void setAddressRefusals(const QString &line) { m_addressRefusals = line; }
    // Counts a refusal and gives the line that tells of it.
    QString count(Refusal reason, const QHostAddress &peer);

    // The whole report, a line each.
    QString text() const;

private:
    struct Tally
    {
        int count = 0;
        QString last;
    };

    QString line(Refusal reason, const Tally &tally) const;

    int m_station;
    quint16 m_port;
    QString m_holder;
    QString m_addressRefusals;
    std::map<Refusal, Tally> m_keyRefusals;
};
