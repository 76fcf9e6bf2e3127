#pragma once

#include "latencystats.h"
#include "udppeer.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace bench {

struct SwarmResult
{
    std::uint64_t ticks = 0;
    std::uint64_t expected = 0;  // N·(N−1), or N·neighbours, deliveries per tick
    std::uint64_t delivered = 0; // distinct deliveries seen
    std::uint64_t duplicates = 0;
    std::uint64_t unexpected = 0;
    std::uint64_t wallNs = 0;    // first tick to the end of the last send
    std::uint64_t pathCpuNs = 0; // CPU of what carries the frames (relay, or the floor's sends)
    LatencyStats latency;        // per delivery, one way
    // Per tick: first send to last delivery; the first tick, which meets
    // every path cold (its links' first sends, the radio's first
    // decisions), apart.
    LatencyStats burst;
    std::uint64_t firstBurstNs = 0;

    std::uint64_t lost() const { return expected > delivered ? expected - delivered : 0; }
};

// A lockstep swarm: every simulated vehicle sends one 36-byte vehicle frame
// on the same tick, and every other vehicle must receive it exactly once.
// One thread sends, another receives every peer's socket.
class SwarmRun
{
public:
    enum class Path
    {
        // Each peer sends its frame once, to its vehicle link in the relay.
        Relay,
        // The floor: each peer sends its frame straight to every other peer
        // with one sendmmsg; the sending thread's CPU is the path's cost.
        Direct
    };

    // relayPorts[i] is the relay's vehicle link that peers[i] talks to.
    // `neighbours` 0: every vehicle hears every other; else each hears the
    // `neighbours` nearest it on a ring, half on either side, and a frame
    // from any other is unexpected.
    SwarmRun(std::vector<UdpPeer *> peers, std::vector<std::uint16_t> relayPorts,
             int neighbours = 0);
    // Whether vehicle `sink` hears vehicle `source`.
    bool hears(std::size_t sink, std::size_t source) const;

    SwarmResult run(Path path, double hz, double seconds);

private:
    void sendAll(Path path, double hz, std::uint64_t ticks, SwarmResult &result);
    void receiveAll(const std::atomic<bool> &stop, SwarmResult &result);

    std::vector<UdpPeer *> peers;
    std::vector<std::uint16_t> relayPorts;
    int neighbours;
    std::vector<std::uint64_t> tickStart; // ns, by tick
    std::vector<std::uint64_t> tickLast;  // ns of the tick's last delivery
    std::vector<std::uint8_t> seen;       // [tick][sink][stream]
    std::uint64_t senderCpuNs = 0, receiverCpuNs = 0;
    std::atomic<std::uint64_t> deliveredSoFar{0}; // read while the receiver runs
};

} // namespace bench
