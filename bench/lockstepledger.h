#pragma once

#include "latencystats.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace bench {

// The books of a lockstep swarm run, whatever carries its frames: each
// receiver must see each other vehicle's frame of every tick exactly once.
// The sending thread notes when each tick starts, the receiving thread
// enters what arrives; the count delivered so far may be read from any.
class LockstepLedger
{
public:
    enum class Entry
    {
        Delivered,
        Duplicate,
        // No frame of this run for this receiver (a bad sender or tick).
        Foreign
    };

    // Opens new books for `vehicles` over `ticks` ticks.
    void open(std::size_t vehicles, std::uint64_t ticks);
    std::uint64_t ticks() const { return tickCount; }
    // N·(N−1) deliveries per tick.
    std::uint64_t owed() const { return tickCount * n * (n - 1); }
    std::uint64_t delivered() const { return deliveredCount.load(std::memory_order_relaxed); }
    std::uint64_t duplicates() const { return duplicateCount; }

    void tickStarted(std::uint64_t tick, std::uint64_t ns) { tickStart[tick] = ns; }
    Entry enter(std::size_t sink, std::uint64_t sender, std::uint64_t tick, std::uint64_t sentNs,
                std::uint64_t now);
    // Returns once every delivery owed is in, or when half a second brings none.
    void waitForDeliveries() const;

    // After the run: one way, per delivery; and per tick, its first send to
    // its last delivery.
    LatencyStats &latency() { return latencies; }
    LatencyStats bursts() const;

private:
    std::size_t n = 0;
    std::uint64_t tickCount = 0;
    std::vector<std::uint64_t> tickStart; // ns, by tick
    std::vector<std::uint64_t> tickLast;  // ns of the tick's last delivery
    std::vector<std::uint8_t> seen;       // [tick][sink][sender]
    std::atomic<std::uint64_t> deliveredCount{0};
    std::uint64_t duplicateCount = 0;
    LatencyStats latencies;
};

} // namespace bench
