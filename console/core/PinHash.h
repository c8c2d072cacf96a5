#pragma once

#include <QString>

#include <optional>

// A PIN kept only as a salted, slow hash (Argon2id through libsodium), in the text
// form that carries its salt and limits: "$argon2id$v=19$m=65536,t=2,p=1$…".
class PinHash
{
public:
    // How much work and memory one hash costs. The console uses at least the
    // library's interactive limits; tests may pass cheaper ones.
    struct Limits
    {
        unsigned long long operations;
        size_t memoryBytes;
    };
    static Limits interactive();

    // The hash of the PIN; nothing when the library can't make one (out of memory).
    static std::optional<QString> make(const QString &pin, const Limits &limits = interactive());
    // Whether the PIN gives the stored hash.
    static bool matches(const QString &hash, const QString &pin);
};
