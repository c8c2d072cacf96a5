#include "StationLinkReport.h"

#include "Clock.h"
#include "StationAddressRule.h"
#include "TextFormats.h"

#include <QStringList>

namespace {
QString nowText()
{
    return TextFormats::timeOfDay(Clock::current().now().time());
}
}

StationLinkReport::StationLinkReport(int station, quint16 port)
    : m_station(station)
    , m_port(port)
{
    setHolder({}, false);
}

void StationLinkReport::setHolder(const QHostAddress &peer, bool keyed)
{
    if (peer.isNull()) {
        m_holder = QStringLiteral("Station %1: Port %2 wartet auf die Station")
                       .arg(QString::number(m_station), QString::number(m_port));
        return;
    }
    m_holder = QStringLiteral("Station %1: Port %2 verbunden mit %3 seit %4%5")
                   .arg(QString::number(m_station), QString::number(m_port),
                        StationAddressRule::shownAddress(peer), nowText(),
                        keyed ? QStringLiteral(" (Schlüssel bewiesen)") : QString());
}

QString StationLinkReport::count(Refusal reason, const QHostAddress &peer)
{
    Tally &tally = m_keyRefusals[reason];
    ++tally.count;
    tally.last = StationAddressRule::shownAddress(peer) + QStringLiteral(", ") + nowText();
    return line(reason, tally);
}

QString StationLinkReport::line(Refusal reason, const Tally &tally) const
{
    const QString key = QStringLiteral("Schluessel") + QString::number(m_station);
    QString what;
    switch (reason) {
    case Refusal::NoKey:
        what = QStringLiteral("ohne Schlüssel abgewiesen (%1 ist gesetzt, der Kunden-PC hat"
                              " keinen)")
                   .arg(key);
        break;
    case Refusal::WrongKey:
        what = QStringLiteral("mit falschem Schlüssel abgewiesen (%1 in Kavo.ini und Schluessel"
                              " in Client.ini sind nicht gleich)")
                   .arg(key);
        break;
    case Refusal::UnwantedKey:
        what = QStringLiteral("mit Schlüssel abgewiesen (der Kunden-PC hat einen Schlüssel, %1"
                              " ist nicht gesetzt)")
                   .arg(key);
        break;
    }
    return QStringLiteral("Station %1: %2 %3 %4, zuletzt %5")
        .arg(QString::number(m_station), QString::number(tally.count),
             tally.count == 1 ? QStringLiteral("Verbindung") : QStringLiteral("Verbindungen"), what,
             tally.last);
}

QString StationLinkReport::text() const
{
    QStringList lines{m_holder};
    if (!m_addressRefusals.isEmpty())
        lines.append(m_addressRefusals);
    for (const auto &[reason, tally] : m_keyRefusals)
        lines.append(line(reason, tally));
    return lines.join(u'\n');
}
