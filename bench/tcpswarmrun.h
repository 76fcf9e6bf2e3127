#pragma once

#include "latencystats.h"
#include "lockstepledger.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace bench {

class TcpSimulators;

struct TcpSwarmResult
{
    std::uint64_t expected = 0;  // N·(N−1) deliveries per tick
    std::uint64_t delivered = 0; // distinct (tick, sender) seen by each receiver
    std::uint64_t duplicates = 0;
    std::uint64_t garbled = 0;      // bytes that were no frame of this run nor a block's tail
    std::uint64_t sendFailures = 0; // frames a simulator could not write whole
    std::uint64_t closed = 0;       // connections that ended during the run
    std::uint64_t wallNs = 0;       // first tick to the end of the last send
    std::uint64_t relayCpuNs = 0;   // the process less the simulators' two threads
    LatencyStats latency;           // per delivery, one way
    LatencyStats burst;             // per tick: first send to last delivery

    std::uint64_t lost() const { return expected > delivered ? expected - delivered : 0; }
};

// A lockstep swarm over TCP: on every tick each simulator writes one
// 36-byte vehicle frame into its connection, and cuts the frames of every
// other simulator back out of its byte stream. One thread sends, another
// receives every connection.
class TcpSwarmRun
{
public:
    explicit TcpSwarmRun(TcpSimulators &simulators);

    TcpSwarmResult run(double hz, double seconds);

private:
    void sendAll(double hz, TcpSwarmResult &result);
    void receiveAll(const std::atomic<bool> &stop, TcpSwarmResult &result);
    // Takes the whole frames at the front of sink's stream.
    void cut(std::size_t sink, std::uint64_t now, TcpSwarmResult &result);

    TcpSimulators &simulators;
    LockstepLedger ledger;
    std::vector<std::vector<char>> streams; // what each sink has not cut yet
    std::vector<int> tailOwed;              // zero bytes still due after a sink's last frame
    std::uint64_t senderCpuNs = 0, receiverCpuNs = 0;
};

} // namespace bench
