#pragma once

#include "latencystats.h"

#include <cstdint>

namespace bench {

// Stamped 64-byte records from a TCP client to a TCP server, at a fixed
// rate, through whatever joins the two (the relay, socat): what arrives is
// cut back into records by the server and matched by sequence number.
struct TcpRunResult
{
    std::uint64_t sent = 0;
    std::uint64_t delivered = 0;
    std::uint64_t duplicates = 0;
    LatencyStats latency;
    std::uint64_t lost() const { return sent > delivered ? sent - delivered : 0; }
};

class TcpServerPeer
{
public:
    TcpServerPeer();
    ~TcpServerPeer();
    std::uint16_t port() const { return listenPort; }
    // Sends `rate` records a second for `seconds` into a connection to
    // `sendPort`, and receives them on a connection this server accepts
    // (one the path made already, or makes once the client connects).
    TcpRunResult run(std::uint16_t sendPort, double rate, double seconds);

private:
    int listenFd = -1;
    int acceptedFd = -1;
    std::uint16_t listenPort = 0;
};

} // namespace bench
