#include "tcpsimulators.h"

#include "benchclock.h"
#include "udppeer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

TcpSimulators::TcpSimulators(int n)
    : listeners(std::size_t(n), -1), connections(std::size_t(n), -1), portList(std::size_t(n), 0)
{
    for (std::size_t i = 0; i < listeners.size(); ++i)
        valid = listenOn(i, 0) && valid;
}

TcpSimulators::~TcpSimulators()
{
    closeAll();
}

bool TcpSimulators::listenOn(std::size_t i, std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // The port comes back while the connections it had still linger.
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = loopbackAddress(port);
    socklen_t size = sizeof addr;
    // Every client may come back on the same tick: no SYN may be dropped.
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &size) != 0) {
        close(fd);
        return false;
    }
    listeners[i] = fd;
    portList[i] = ntohs(addr.sin_port);
    return true;
}

int TcpSimulators::acceptAll(int timeoutMs, std::vector<std::uint64_t> &acceptedNs)
{
    acceptedNs.assign(listeners.size(), 0);
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    int held = 0;
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        if (connections[i] >= 0) {
            ++held;
            continue;
        }
        epoll_event want{};
        want.events = EPOLLIN;
        want.data.u32 = std::uint32_t(i);
        if (listeners[i] >= 0)
            epoll_ctl(poller, EPOLL_CTL_ADD, listeners[i], &want);
    }
    const std::uint64_t deadline = monotonicNs() + std::uint64_t(timeoutMs) * 1000000u;
    epoll_event ready[64];
    while (held < int(listeners.size()) && monotonicNs() < deadline) {
        const int count = epoll_wait(poller, ready, 64, 20);
        for (int k = 0; k < count; ++k) {
            const std::size_t i = ready[k].data.u32;
            const int fd = accept4(listeners[i], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0 || connections[i] >= 0) {
                // One client per simulator: a second one is not the relay's.
                if (fd >= 0)
                    close(fd);
                continue;
            }
            acceptedNs[i] = monotonicNs();
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            connections[i] = fd;
            ++held;
            epoll_ctl(poller, EPOLL_CTL_DEL, listeners[i], nullptr);
        }
    }
    close(poller);
    return held;
}

void TcpSimulators::closeAll()
{
    for (int &fd : connections) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    for (int &fd : listeners) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

bool TcpSimulators::listenAgain()
{
    bool all = true;
    for (std::size_t i = 0; i < listeners.size(); ++i)
        all = (listeners[i] >= 0 || listenOn(i, portList[i])) && all;
    return all;
}

} // namespace bench
