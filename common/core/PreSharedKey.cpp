#include "PreSharedKey.h"

#include <QRandomGenerator>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslPreSharedKeyAuthenticator>
#include <QSslSocket>

#include <algorithm>
#include <array>

namespace {
bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Key exchange on elliptic curves besides the key, so that a key found out later
// does not open recorded sessions; the plain key as the fallback.
QList<QSslCipher> pskCiphers()
{
    return {QSslCipher(QStringLiteral("ECDHE-PSK-CHACHA20-POLY1305")),
            QSslCipher(QStringLiteral("PSK-AES256-GCM-SHA384"))};
}
}

PreSharedKey::PreSharedKey(const QByteArray &secret, const QByteArray &identity)
    : m_secret(secret)
    , m_identity(identity)
{
}

PreSharedKey::Form PreSharedKey::formOf(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return Form::None;
    const bool valid = digits.size() >= minHexDigits && digits.size() <= maxHexDigits
        && digits.size() % 2 == 0 && std::all_of(digits.begin(), digits.end(), isHexDigit);
    return valid ? Form::Valid : Form::Malformed;
}

std::optional<PreSharedKey> PreSharedKey::fromText(const QString &text, int station)
{
    if (formOf(text) != Form::Valid)
        return std::nullopt;
    return PreSharedKey(QByteArray::fromHex(text.trimmed().toLatin1()),
                        "Station" + QByteArray::number(station));
}

QString PreSharedKey::randomText()
{
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(words.data()), sizeof words).toHex());
}

void PreSharedKey::apply(QSslSocket &socket) const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setCiphers(pskCiphers());
    socket.setSslConfiguration(configuration);
    QObject::connect(&socket, &QSslSocket::preSharedKeyAuthenticationRequired, &socket,
                     [&socket, secret = m_secret,
                      identity = m_identity](QSslPreSharedKeyAuthenticator *authenticator) {
                         if (socket.mode() == QSslSocket::SslClientMode)
                             authenticator->setIdentity(identity);
                         else if (authenticator->identity() != identity)
                             return; // no key: the handshake fails
                         authenticator->setPreSharedKey(secret);
                     });
}
