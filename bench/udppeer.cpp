#include "udppeer.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

sockaddr_in loopbackAddress(std::uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

UdpPeer::UdpPeer()
{
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    const int buffer = 8 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    sockaddr_in addr = loopbackAddress(0);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        close(fd);
        fd = -1;
        return;
    }
    boundPort = ntohs(addr.sin_port);
}

UdpPeer::~UdpPeer()
{
    if (fd >= 0)
        close(fd);
}

bool UdpPeer::sendTo(std::uint16_t port, const void *data, std::size_t size)
{
    const sockaddr_in to = loopbackAddress(port);
    return sendto(fd, data, size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
           long(size);
}

long UdpPeer::receive(void *buffer, std::size_t capacity)
{
    return recv(fd, buffer, capacity, 0);
}

bool UdpPeer::joinGroupOnLoopback(const char *group)
{
    ip_mreqn request{};
    inet_pton(AF_INET, group, &request.imr_multiaddr);
    request.imr_ifindex = int(if_nametoindex("lo"));
    return setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
}

std::uint16_t freeLoopbackPort()
{
    UdpPeer probe;
    return probe.port();
}

} // namespace bench
