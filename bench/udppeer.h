#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

namespace bench {

// A plain non-blocking UDP socket on 127.0.0.1, outside Qt so that the
// peers cost as little as possible and never share an event loop with the
// relay under test.
class UdpPeer
{
public:
    UdpPeer();
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool isValid() const { return fd >= 0; }
    int handle() const { return fd; }
    std::uint16_t port() const { return boundPort; }

    bool sendTo(std::uint16_t port, const void *data, std::size_t size);
    // One datagram, or -1 when none is pending.
    long receive(void *buffer, std::size_t capacity);
    // Joins a multicast group on the loopback interface.
    bool joinGroupOnLoopback(const char *group);

private:
    int fd = -1;
    std::uint16_t boundPort = 0;
};

// 127.0.0.1:port as the socket calls take it.
sockaddr_in loopbackAddress(std::uint16_t port);

// A free UDP port on 127.0.0.1 (bound once and released).
std::uint16_t freeLoopbackPort();

} // namespace bench
