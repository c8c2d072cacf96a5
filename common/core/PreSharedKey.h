#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QSslSocket;

// The secret that one station and the console share, written in Kavo.ini and
// Client.ini as hexadecimal text. With it their link is TLS 1.2 under this key
// alone (no certificates): only a peer that knows the key gets through the
// handshake, and what crosses afterwards can be neither read, changed nor replayed.
class PreSharedKey
{
public:
    // 16 to 64 bytes.
    static constexpr int minHexDigits = 32;
    static constexpr int maxHexDigits = 128;

    enum class Form { None, Valid, Malformed };
    // Empty (no key), an even number of 32 to 128 hexadecimal digits, or neither;
    // blanks around the text do not count.
    static Form formOf(const QString &text);

    // The key of a text of the valid form, shared with station `station`.
    static std::optional<PreSharedKey> fromText(const QString &text, int station);

    // A fresh secret: 16 bytes of the system's random generator as 32 hex digits.
    static QString randomText();

    // The name the station gives itself in the handshake: "Station2".
    QByteArray identity() const { return m_identity; }

    // The socket speaks TLS 1.2 with this key only, and takes the peer's word only
    // under this key's identity. Called before the handshake starts.
    void apply(QSslSocket &socket) const;

private:
    PreSharedKey(const QByteArray &secret, const QByteArray &identity);

    QByteArray m_secret;
    QByteArray m_identity;
};
