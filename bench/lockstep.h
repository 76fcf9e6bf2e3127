#pragma once

#include "benchclock.h"
#include "latencystats.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <thread>
#include <vector>

namespace bench {

// What the lockstep swarm benches share, whatever carries their frames.

// Sleeps until tick `tick` of a run that began at `startNs` is due.
inline void sleepUntilTick(std::uint64_t startNs, std::uint64_t tick, double intervalNs)
{
    const auto due = startNs + std::uint64_t(double(tick) * intervalNs);
    if (monotonicNs() >= due)
        return;
    timespec ts{time_t(due / 1000000000u), long(due % 1000000000u)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

// Returns once every delivery owed is in, or when half a second brings none.
inline void waitForDeliveries(const std::atomic<std::uint64_t> &soFar, std::uint64_t owed)
{
    std::uint64_t before = ~0ull, now = 0;
    for (int quiet = 0; quiet < 5 && (now = soFar.load()) < owed;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        quiet = before == now ? quiet + 1 : 0;
        before = now;
    }
}

// A tick's burst: its first send to its last delivery.
inline void addBursts(const std::vector<std::uint64_t> &tickStart,
                      const std::vector<std::uint64_t> &tickLast, LatencyStats &burst)
{
    for (std::size_t t = 0; t < tickStart.size() && t < tickLast.size(); ++t)
        if (tickLast[t] && tickLast[t] >= tickStart[t])
            burst.add(tickLast[t] - tickStart[t]);
}

} // namespace bench
