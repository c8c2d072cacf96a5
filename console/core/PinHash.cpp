#include "PinHash.h"

#include <sodium.h>

namespace {
// sodium_init is safe to call more than once; it fails only when no random source
// is there.
bool ready()
{
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}
}

PinHash::Limits PinHash::interactive()
{
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

std::optional<QString> PinHash::make(const QString &pin, const Limits &limits)
{
    const QByteArray secret = pin.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (!ready()
        || crypto_pwhash_str_alg(hash, secret.constData(), size_t(secret.size()), limits.operations,
                                 limits.memoryBytes, crypto_pwhash_ALG_ARGON2ID13)
            != 0)
        return std::nullopt;
    return QString::fromLatin1(hash);
}

bool PinHash::matches(const QString &hash, const QString &pin)
{
    const QByteArray stored = hash.toLatin1();
    const QByteArray secret = pin.toUtf8();
    return ready() && !stored.isEmpty() && stored.size() < crypto_pwhash_STRBYTES
        && crypto_pwhash_str_verify(stored.constData(), secret.constData(), size_t(secret.size()))
        == 0;
}
