#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The one address a station may connect from, as Kavo.ini sets it: an IPv4 address
// or a host name. A name is looked up in the background, at once and then again
// when a connection is refused, but no more often than every 30 seconds, so that a
// stranger cannot cause a flood of lookups; until it is known, every connection is
// refused. The rule counts what it refuses.
class StationAddressRule : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 lookupSpacingMs = 30000;

    // Looks up a host name and calls back with its addresses (none when the lookup
    // failed), unless the context went away meanwhile.
    using Done = std::function<void(const QList<QHostAddress> &addresses)>;
    using Lookup = std::function<void(const QString &hostName, QObject *context, Done done)>;
    static Lookup systemLookup();

    enum class Form { None, Ipv4, HostName, Malformed };
    Q_ENUM(Form)
    // How the text reads: empty (no rule), four decimal numbers 0 to 255 without
    // leading zeros, a host name of letters, digits, hyphens and dots (its last
    // label not a number alone), or none of these.
    static Form formOf(const QString &text);

    // A peer as the operator is shown it: an IPv4 address as one, also when it
    // reached a dual-stack port.
    static QString shownAddress(const QHostAddress &peer);

    // A malformed text admits nobody.
    explicit StationAddressRule(const QString &text, Lookup lookup = systemLookup(),
                                QObject *parent = nullptr);

    // True for a peer from the station's address; false counts the attempt.
    bool admits(const QHostAddress &peer);

    int refusedCount() const { return m_refusedCount; }
    // The last refused peer and when: "127.0.0.1, 14:05:09"; empty before the first.
    QString lastRefusal() const { return m_lastRefusal; }

signals:
    void refused();

private:
    bool matches(const QHostAddress &peer) const;
    void lookUp();
    void refuse(const QHostAddress &peer);

    Form m_form;
    QString m_hostName;
    Lookup m_lookup;
    QList<QHostAddress> m_addresses;
    bool m_lookupPending = false;
    qint64 m_lastLookupMs = 0;
    int m_refusedCount = 0;
    QString m_lastRefusal;
};
