#pragma once

#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

// What an operation that gives nothing back tells its caller: nothing when it
// worked, else why it did not, as the text for the operator. Tests true when the
// operation failed, so that `if (const Failure failure = open(...))` handles it.
class [[nodiscard]] Failure
{
public:
    Failure() = default;
    explicit Failure(const QString &text)
        : m_text(text)
    {
    }

    static Failure none() { return {}; }

    // Runs the steps in order up to the first that fails, and gives its failure.
    static Failure ofFirst(std::initializer_list<std::function<Failure()>> steps)
    {
        for (const auto &step : steps) {
            if (Failure failure = step())
                return failure;
        }
        return none();
    }

    explicit operator bool() const { return m_text.has_value(); }
    QString text() const { return m_text.value_or(QString()); }

private:
    std::optional<QString> m_text;
};
