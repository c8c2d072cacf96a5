#pragma once

#include <ctime>

// The processor time of this process so far in milliseconds, which a busy machine
// does not stretch as it does the wall clock.
inline double processorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}
