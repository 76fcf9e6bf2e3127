#include "tcprun.h"

#include "benchclock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace bench {

namespace {
constexpr int recordBytes = 64;

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

void noDelay(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}
} // namespace

TcpServerPeer::TcpServerPeer()
{
    listenFd = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    if (bind(listenFd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        listen(listenFd, 8) == 0 &&
        getsockname(listenFd, reinterpret_cast<sockaddr *>(&a), &size) == 0)
        listenPort = ntohs(a.sin_port);
}

TcpServerPeer::~TcpServerPeer()
{
    if (acceptedFd >= 0)
        close(acceptedFd);
    if (listenFd >= 0)
        close(listenFd);
}

TcpRunResult TcpServerPeer::run(std::uint16_t sendPort, double rate, double seconds)
{
    TcpRunResult result;
    const int out = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = loopback(sendPort);
    if (connect(out, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        close(out);
        return result;
    }
    noDelay(out);
    if (acceptedFd < 0) {
        pollfd p{listenFd, POLLIN, 0};
        if (poll(&p, 1, 3000) == 1)
            acceptedFd = accept(listenFd, nullptr, nullptr);
    }
    if (acceptedFd < 0) {
        close(out);
        return result;
    }
    const std::uint64_t count = std::uint64_t(rate * seconds);
    std::vector<bool> seen(count, false);
    result.latency.reserve(count);
    std::atomic<bool> sending{true};
    std::thread receiver([&] {
        std::vector<char> buffer;
        char chunk[65536];
        std::uint64_t quietSince = 0;
        for (;;) {
            pollfd p{acceptedFd, POLLIN, 0};
            if (poll(&p, 1, 50) == 1) {
                const ssize_t n = read(acceptedFd, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                const std::uint64_t now = monotonicNs();
                buffer.insert(buffer.end(), chunk, chunk + n);
                std::size_t at = 0;
                for (; buffer.size() - at >= recordBytes; at += recordBytes) {
                    std::uint64_t seq = 0, stamp = 0;
                    std::memcpy(&seq, buffer.data() + at, 8);
                    std::memcpy(&stamp, buffer.data() + at + 8, 8);
                    if (seq >= count || seen[seq]) {
                        ++result.duplicates;
                        continue;
                    }
                    seen[seq] = true;
                    ++result.delivered;
                    result.latency.add(now - stamp);
                }
                buffer.erase(buffer.begin(), buffer.begin() + long(at));
                quietSince = 0;
            } else if (!sending.load()) {
                // Half a second with nothing after the last send ends it.
                const std::uint64_t now = monotonicNs();
                if (!quietSince)
                    quietSince = now;
                else if (now - quietSince > 500000000u)
                    break;
            }
        }
    });
    char record[recordBytes] = {};
    const std::uint64_t start = monotonicNs();
    for (std::uint64_t seq = 0; seq < count; ++seq) {
        const std::uint64_t due = start + std::uint64_t(double(seq) * 1e9 / rate);
        while (monotonicNs() < due)
            std::this_thread::yield();
        const std::uint64_t now = monotonicNs();
        std::memcpy(record, &seq, 8);
        std::memcpy(record + 8, &now, 8);
        if (write(out, record, recordBytes) == recordBytes)
            ++result.sent;
    }
    sending = false;
    receiver.join();
    close(out);
    return result;
}

} // namespace bench
