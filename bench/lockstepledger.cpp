#include "lockstepledger.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace bench {

void LockstepLedger::open(std::size_t vehicles, std::uint64_t ticks)
{
    n = vehicles;
    tickCount = ticks;
    tickStart.assign(ticks, 0);
    tickLast.assign(ticks, 0);
    seen.assign(ticks * n * n, 0);
    deliveredCount = 0;
    duplicateCount = 0;
    latencies = LatencyStats();
    latencies.reserve(owed());
}

LockstepLedger::Entry LockstepLedger::enter(std::size_t sink, std::uint64_t sender,
                                            std::uint64_t tick, std::uint64_t sentNs,
                                            std::uint64_t now)
{
    if (sink >= n || sender >= n || sender == sink || tick >= tickCount)
        return Entry::Foreign;
    std::uint8_t &mark = seen[(tick * n + sink) * n + sender];
    if (mark) {
        ++duplicateCount;
        return Entry::Duplicate;
    }
    mark = 1;
    // One writer: a relaxed add is enough for the readers' progress checks.
    deliveredCount.store(deliveredCount.load(std::memory_order_relaxed) + 1,
                         std::memory_order_relaxed);
    latencies.add(now - sentNs);
    tickLast[tick] = std::max(tickLast[tick], now);
    return Entry::Delivered;
}

void LockstepLedger::waitForDeliveries() const
{
    std::uint64_t before = ~0ull, now = 0;
    for (int quiet = 0; quiet < 5 && (now = delivered()) < owed();) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        quiet = before == now ? quiet + 1 : 0;
        before = now;
    }
}

LatencyStats LockstepLedger::bursts() const
{
    LatencyStats burst;
    for (std::uint64_t t = 0; t < tickCount; ++t)
        if (tickLast[t] && tickLast[t] >= tickStart[t])
            burst.add(tickLast[t] - tickStart[t]);
    return burst;
}

} // namespace bench
