#include "StationAddressRule.h"

#include "Clock.h"
#include "TextFormats.h"

#include <QHostInfo>

#include <algorithm>

namespace {
bool allDigits(QStringView text)
{
    return !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool isIpv4(const QString &text)
{
    const QStringList parts = text.split(u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const QString &part) {
               return allDigits(part) && part.size() <= 3
                   && (part.size() == 1 || part.front() != u'0') && part.toInt() <= 255;
           });
}

bool isHostLabel(const QString &label)
{
    return !label.isEmpty() && label.size() <= 63 && label.front() != u'-' && label.back() != u'-'
        && std::all_of(label.begin(), label.end(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                   || (c >= u'0' && c <= u'9') || c == u'-';
           });
}

bool isHostName(const QString &text)
{
    const QStringList labels = text.split(u'.');
    return text.size() <= 253 && std::all_of(labels.begin(), labels.end(), isHostLabel)
        && !allDigits(labels.back());
}
}

QString StationAddressRule::shownAddress(const QHostAddress &peer)
{
    bool isIpv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4).toString() : peer.toString();
}

StationAddressRule::Lookup StationAddressRule::systemLookup()
{
    return [](const QString &hostName, QObject *context, Done done) {
        QHostInfo::lookupHost(hostName, context, [done = std::move(done)](const QHostInfo &info) {
            done(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
        });
    };
}

StationAddressRule::Form StationAddressRule::formOf(const QString &text)
{
    const QString address = text.trimmed();
    if (address.isEmpty())
        return Form::None;
    if (isIpv4(address))
        return Form::Ipv4;
    return isHostName(address) ? Form::HostName : Form::Malformed;
}

StationAddressRule::StationAddressRule(const QString &text, Lookup lookup, QObject *parent)
    : QObject(parent)
    , m_form(formOf(text))
    , m_lookup(std::move(lookup))
{
    if (m_form == Form::Ipv4)
        m_addresses = {QHostAddress(text.trimmed())};
    if (m_form == Form::HostName) {
        m_hostName = text.trimmed();
        lookUp();
    }
}

bool StationAddressRule::admits(const QHostAddress &peer)
{
    if (matches(peer))
        return true;
    refuse(peer);
    return false;
}

bool StationAddressRule::matches(const QHostAddress &peer) const
{
    return std::any_of(m_addresses.begin(), m_addresses.end(),
                       [&peer](const QHostAddress &allowed) {
                           return allowed.isEqual(peer, QHostAddress::ConvertV4MappedToIPv4);
                       });
}

void StationAddressRule::lookUp()
{
    m_lookupPending = true;
    m_lastLookupMs = Clock::current().elapsedMs();
    // A failed lookup keeps the addresses known before.
    m_lookup(m_hostName, this, [this](const QList<QHostAddress> &addresses) {
        m_lookupPending = false;
        if (!addresses.isEmpty())
            m_addresses = addresses;
    });
}

void StationAddressRule::refuse(const QHostAddress &peer)
{
    ++m_refusedCount;
    m_lastRefusal = QStringLiteral("%1, %2").arg(
        shownAddress(peer), TextFormats::timeOfDay(Clock::current().now().time()));
    if (m_form == Form::HostName && !m_lookupPending
        && Clock::current().elapsedMs() - m_lastLookupMs >= lookupSpacingMs)
        lookUp();
    emit refused();
}
