#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// N simulators' TCP servers on 127.0.0.1, one port each, every one taking
// the connection the relay's client link makes to it. Plain sockets outside
// Qt, as the swarm's UDP peers are, so that they never share an event loop
// with the relay under test.
class TcpSimulators
{
public:
    explicit TcpSimulators(int n);
    ~TcpSimulators();
    TcpSimulators(const TcpSimulators &) = delete;
    TcpSimulators &operator=(const TcpSimulators &) = delete;

    bool isValid() const { return valid; }
    int count() const { return int(portList.size()); }
    const std::vector<std::uint16_t> &ports() const { return portList; }
    // Server i's connection, -1 while it has none.
    int connection(int i) const { return connections[std::size_t(i)]; }

    // Accepts until every server holds a connection or `timeoutMs` passes;
    // acceptedNs[i] is when server i took its connection (0: none came).
    // Returns how many servers hold one.
    int acceptAll(int timeoutMs, std::vector<std::uint64_t> &acceptedNs);
    // Every simulator stops at once: listening sockets and connections.
    void closeAll();
    // Every simulator starts again, on the port it had.
    bool listenAgain();

private:
    bool listenOn(std::size_t i, std::uint16_t port);

    std::vector<int> listeners;
    std::vector<int> connections;
    std::vector<std::uint16_t> portList;
    bool valid = true;
};

} // namespace bench
