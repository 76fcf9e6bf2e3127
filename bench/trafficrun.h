#pragma once

#include "latencystats.h"
#include "udppeer.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace bench {

// One stream of stamped datagrams from a peer to one or more ports.
struct Flow
{
    UdpPeer *from = nullptr;
    std::vector<std::uint16_t> to;
    std::uint16_t stream = 0;
    enum Kind
    {
        Plain,
        VehicleFrame,
        GcsFrame
    } kind = Plain;
    int every = 1; // sends on every n-th tick of the run
};

// A peer and the streams it must receive, each datagram exactly once.
struct Sink
{
    UdpPeer *peer = nullptr;
    std::vector<std::uint16_t> streams;
};

struct TrafficResult
{
    std::uint64_t sent = 0;      // datagrams the flows sent (per destination)
    std::uint64_t expected = 0;  // deliveries owed to the sinks
    std::uint64_t delivered = 0; // distinct deliveries seen
    std::uint64_t duplicates = 0;
    std::uint64_t unexpected = 0; // datagrams a sink was not owed
    std::uint64_t peerCpuNs = 0;  // CPU the load generator itself used
    std::uint64_t processCpuNs = 0;
    std::uint64_t wallNs = 0;
    LatencyStats latency;
    std::vector<std::uint64_t> deliveredPerSink;
    std::vector<std::uint64_t> expectedPerSink;
    std::vector<std::uint64_t> sentPerStream;

    std::uint64_t lost() const { return expected > delivered ? expected - delivered : 0; }
    // CPU of everything in the process except the load generator.
    std::uint64_t relayCpuNs() const
    {
        return processCpuNs > peerCpuNs ? processCpuNs - peerCpuNs : 0;
    }
};

// Sends the flows from one thread at a fixed tick rate (each flow on every
// n-th tick), without waiting for anything, and receives on the sinks in
// another, matching every datagram by stream and sequence number.
class TrafficRun
{
public:
    TrafficRun(std::vector<Flow> flows, std::vector<Sink> sinks);

    // Payloads of plain blocks and ground-station frames are payloadBytes
    // long (at least the 24-byte stamp); vehicle frames are always 36 bytes.
    TrafficResult run(double ticksPerSecond, double seconds, int payloadBytes,
                      double drainSeconds = 0.5);

private:
    void sendAll(double rate, double seconds, int payloadBytes, TrafficResult &result);
    void receiveAll(const std::atomic<bool> &stop, TrafficResult &result, std::size_t perStream);

    std::vector<Flow> flows;
    std::vector<Sink> sinks;
    std::vector<std::uint64_t> sentPerStream;
};

} // namespace bench
