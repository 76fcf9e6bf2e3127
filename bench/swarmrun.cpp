#include "swarmrun.h"

#include "benchclock.h"
#include "lockstep.h"
#include "vehicleframe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>

namespace bench {

namespace {
constexpr int kFrame = VehicleFrame::size;
constexpr int kBatch = 64;

// The kernel's date of a datagram, on the monotonic clock; `fallback`
// without one.
std::uint64_t arrivalNs(msghdr &h, std::uint64_t realtimeAhead, std::uint64_t fallback)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts;
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            const std::uint64_t real =
                std::uint64_t(ts.tv_sec) * 1000000000u + std::uint64_t(ts.tv_nsec);
            return std::min(real - realtimeAhead, fallback);
        }
    return fallback;
}

} // namespace

SwarmRun::SwarmRun(std::vector<UdpPeer *> p, std::vector<std::uint16_t> ports, int neighbours)
    : peers(std::move(p)), relayPorts(std::move(ports)), neighbours(neighbours)
{
}

bool SwarmRun::hears(std::size_t sink, std::size_t source) const
{
    if (sink == source)
        return false;
    if (neighbours == 0)
        return true;
    const std::size_t apart = sink > source ? sink - source : source - sink;
    return std::min(apart, peers.size() - apart) <= std::size_t(neighbours / 2);
}

void SwarmRun::sendAll(Path path, double hz, std::uint64_t ticks, SwarmResult &result)
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    const std::uint64_t cpu0 = threadCpuNs();
    const std::size_t n = peers.size();
    std::vector<sockaddr_in> to(n);
    for (std::size_t i = 0; i < n; ++i)
        to[i] = loopbackAddress(path == Path::Relay ? relayPorts[i] : peers[i]->port());
    std::vector<mmsghdr> messages(n);
    std::vector<iovec> iov(n);
    char frame[kFrame];
    const double intervalNs = 1e9 / hz;
    const std::uint64_t start = monotonicNs();
    for (std::uint64_t tick = 0; tick < ticks; ++tick) {
        sleepUntilTick(start, tick, intervalNs);
        tickStart[tick] = monotonicNs();
        for (std::size_t i = 0; i < n; ++i) {
            VehicleFrame{std::uint16_t(i), tick, monotonicNs()}.encode(frame);
            const int fd = peers[i]->handle();
            if (path == Path::Relay) {
                sendto(fd, frame, kFrame, 0, reinterpret_cast<const sockaddr *>(&to[i]),
                       sizeof to[i]);
                continue;
            }
            std::size_t count = 0;
            for (std::size_t j = 0; j < n; ++j) {
                if (!hears(j, i))
                    continue;
                iov[count] = {frame, kFrame};
                messages[count].msg_hdr = {};
                messages[count].msg_hdr.msg_name = &to[j];
                messages[count].msg_hdr.msg_namelen = sizeof to[j];
                messages[count].msg_hdr.msg_iov = &iov[count];
                messages[count].msg_hdr.msg_iovlen = 1;
                ++count;
            }
            for (std::size_t done = 0; done < count;) {
                const int sent = sendmmsg(fd, messages.data() + done, unsigned(count - done), 0);
                if (sent <= 0)
                    break;
                done += std::size_t(sent);
            }
        }
    }
    result.wallNs = monotonicNs() - start;
    senderCpuNs = threadCpuNs() - cpu0;
}

void SwarmRun::receiveAll(const std::atomic<bool> &stop, SwarmResult &result)
{
    const std::uint64_t cpu0 = threadCpuNs();
    const std::size_t n = peers.size();
    std::vector<pollfd> fds;
    // Each datagram is dated by the kernel as it reaches the vehicle's
    // socket: this thread, one among the relay's thousand, may run late,
    // and its lateness is no part of the path measured.
    const int on = 1;
    for (UdpPeer *peer : peers) {
        fds.push_back({peer->handle(), POLLIN, 0});
        setsockopt(peer->handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    const std::uint64_t realtimeAhead = realtimeNs() - monotonicNs();
    char buffers[kBatch][64];
    alignas(cmsghdr) char control[kBatch][CMSG_SPACE(sizeof(timespec))];
    iovec iov[kBatch];
    mmsghdr messages[kBatch];
    while (!stop) {
        if (poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        for (std::size_t sink = 0; sink < n; ++sink) {
            if (!(fds[sink].revents & POLLIN))
                continue;
            const int fd = fds[sink].fd;
            for (;;) {
                for (int k = 0; k < kBatch; ++k) {
                    iov[k] = {buffers[k], sizeof buffers[k]};
                    messages[k].msg_hdr = {};
                    messages[k].msg_hdr.msg_iov = &iov[k];
                    messages[k].msg_hdr.msg_iovlen = 1;
                    messages[k].msg_hdr.msg_control = control[k];
                    messages[k].msg_hdr.msg_controllen = sizeof control[k];
                }
                const int got = recvmmsg(fd, messages, kBatch, MSG_DONTWAIT, nullptr);
                if (got <= 0)
                    break;
                const std::uint64_t read = monotonicNs();
                for (int k = 0; k < got; ++k) {
                    const std::uint64_t now = arrivalNs(messages[k].msg_hdr, realtimeAhead, read);
                    VehicleFrame f;
                    const bool decoded = f.decode(buffers[k]);
                    const std::uint16_t stream = f.sender;
                    const std::uint64_t tick = f.tick, sentNs = f.sentNs;
                    if (messages[k].msg_len < kFrame || !decoded || stream >= n ||
                        !hears(sink, stream) || tick >= result.ticks) {
                        ++result.unexpected;
                        continue;
                    }
                    std::uint8_t &mark = seen[(tick * n + sink) * n + stream];
                    if (mark++) {
                        ++result.duplicates;
                        continue;
                    }
                    ++result.delivered;
                    // Two clocks: the conversion may put an arrival a hair before its send.
                    result.latency.add(now > sentNs ? now - sentNs : 0);
                    tickLast[tick] = std::max(tickLast[tick], now);
                }
                deliveredSoFar.store(result.delivered, std::memory_order_relaxed);
                if (got < kBatch)
                    break;
            }
        }
    }
    receiverCpuNs = threadCpuNs() - cpu0;
}

SwarmResult SwarmRun::run(Path path, double hz, double seconds)
{
    SwarmResult result;
    const std::size_t n = peers.size();
    result.ticks = std::uint64_t(std::llround(hz * seconds));
    result.expected = result.ticks * n * (neighbours ? std::size_t(neighbours) : n - 1);
    tickStart.assign(result.ticks, 0);
    tickLast.assign(result.ticks, 0);
    seen.assign(result.ticks * n * n, 0);
    deliveredSoFar = 0;
    result.latency.reserve(result.expected);

    std::atomic<bool> stop{false};
    const std::uint64_t cpu0 = processCpuNs();
    std::thread receiver([&] { receiveAll(stop, result); });
    std::thread sender([&] { sendAll(path, hz, result.ticks, result); });
    sender.join();
    // Done once every delivery is in, or when nothing more comes.
    std::uint64_t before = ~0ull, now = 0;
    for (int quiet = 0; quiet < 5 && (now = deliveredSoFar.load()) < result.expected;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        quiet = before == now ? quiet + 1 : 0;
        before = now;
    }
    stop = true;
    receiver.join();
    const std::uint64_t processCpu = processCpuNs() - cpu0;
    result.pathCpuNs = path == Path::Direct
                           ? senderCpuNs
                           : processCpu - std::min(processCpu, senderCpuNs + receiverCpuNs);
    for (std::uint64_t t = 0; t < result.ticks; ++t)
        if (tickLast[t] >= tickStart[t] && tickLast[t]) {
            if (t == 0 && result.ticks > 1)
                result.firstBurstNs = tickLast[t] - tickStart[t];
            else
                result.burst.add(tickLast[t] - tickStart[t]);
        }
    return result;
}

} // namespace bench
