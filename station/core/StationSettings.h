#pragma once

#include <QString>

#include <optional>

// What Client.ini sets beyond the console's address and the station number: the
// lock, which covers the screens while no period runs, and the station's own
// attempts to connect again. Read once at start; without their keys the station
// neither locks nor connects by itself.
//
//   [Sperre] Aktiv=1          the lock is on; any other value, or none: off
//   [Sperre] Text=...         the cover's text ("Bitte an der Kasse freischalten.")
//   [Sperre] Firma=...        the café's name on the cover; none where missing
//   [Server] Wiederverbinden  seconds between attempts, 1 to 3600; 0: none
//   [Sperre] Kunde=...        the account the customers use; its processes end
//                             with each period and whenever the cover cannot hold
//   [Sperre] Zuruecksetzen=1  that account's home is made anew from the template
//                             after each period
//   [Zeit] Server=...         the daytime server asked at start; empty: none
class StationSettings
{
public:
    static constexpr int minReconnectSeconds = 1;
    static constexpr int maxReconnectSeconds = 3600;
    // With the lock on and no valid number, a station that lost its console is back
    // within this many seconds of the console's return.
    static constexpr int lockReconnectSeconds = 10;

    // `programDirectory` holds Client.ini.
    static StationSettings read(const QString &programDirectory);

    bool lockActive() const { return m_lockActive; }
    QString lockText() const { return m_lockText; }
    QString company() const { return m_company; }
    // Seconds between the attempts to connect while the link is down; none: only
    // "Verbinden" connects.
    std::optional<int> reconnectSeconds() const { return m_reconnectSeconds; }
    // The customers' account; empty: none is named.
    QString customer() const { return m_customer; }
    bool resetsHome() const { return m_resetsHome; }
    // The host asked for the time at start: the program's own where the key is
    // missing; none (an empty text) where it is set empty.
    QString timeServer() const { return m_timeServer; }

private:
    bool m_lockActive = false;
    QString m_lockText;
    QString m_company;
    std::optional<int> m_reconnectSeconds;
    QString m_customer;
    bool m_resetsHome = false;
    QString m_timeServer;
};
