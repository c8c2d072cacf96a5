#pragma once

#include "Failure.h"

#include <utility>
#include <variant>

// What a query gives its caller: the value it read, or why it could not read one,
// as the text for the operator.
template<typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_outcome(std::move(value))
    {
    }
    Result(Failure failure)
        : m_outcome(std::move(failure))
    {
    }

    bool hasValue() const { return std::holds_alternative<T>(m_outcome); }
    const T &value() const { return std::get<T>(m_outcome); }
    const T *operator->() const { return &value(); }
    T valueOr(T fallback) const { return hasValue() ? value() : std::move(fallback); }
    Failure failure() const { return hasValue() ? Failure::none() : std::get<Failure>(m_outcome); }

private:
    std::variant<T, Failure> m_outcome;
};
