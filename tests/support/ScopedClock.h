#pragma once

#include "Clock.h"

// Installs a clock for the lifetime of the guard.
class ScopedClock
{
public:
    explicit ScopedClock(Clock &clock) { Clock::install(&clock); }
    ~ScopedClock() { Clock::install(nullptr); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};
