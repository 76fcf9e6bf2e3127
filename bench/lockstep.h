#pragma once

#include "benchclock.h"

#include <cstdint>
#include <ctime>

namespace bench {

// Sleeps until tick `tick` of a lockstep run that began at `startNs` is due.
inline void sleepUntilTick(std::uint64_t startNs, std::uint64_t tick, double intervalNs)
{
    const auto due = startNs + std::uint64_t(double(tick) * intervalNs);
    if (monotonicNs() >= due)
        return;
    timespec ts{time_t(due / 1000000000u), long(due % 1000000000u)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

} // namespace bench
