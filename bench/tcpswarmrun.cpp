#include "tcpswarmrun.h"

#include "benchclock.h"
#include "lockstep.h"
#include "tcpsimulators.h"
#include "vehicleframe.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace bench {

namespace {
constexpr int kBlockTail = 4;
} // namespace

TcpSwarmRun::TcpSwarmRun(TcpSimulators &s) : simulators(s) {}

void TcpSwarmRun::sendAll(double hz, TcpSwarmResult &result)
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    const std::uint64_t cpu0 = threadCpuNs();
    const int n = simulators.count();
    char bytes[VehicleFrame::size];
    const double intervalNs = 1e9 / hz;
    const std::uint64_t start = monotonicNs();
    for (std::uint64_t tick = 0; tick < ledger.ticks(); ++tick) {
        sleepUntilTick(start, tick, intervalNs);
        ledger.tickStarted(tick, monotonicNs());
        for (int i = 0; i < n; ++i) {
            VehicleFrame{std::uint16_t(i), tick, monotonicNs()}.encode(bytes);
            const int fd = simulators.connection(i);
            // A part written would garble every later frame of the stream.
            if (fd < 0 || write(fd, bytes, sizeof bytes) != ssize_t(sizeof bytes))
                ++result.sendFailures;
        }
    }
    result.wallNs = monotonicNs() - start;
    senderCpuNs = threadCpuNs() - cpu0;
}

void TcpSwarmRun::cut(std::size_t sink, std::uint64_t now, TcpSwarmResult &result)
{
    std::vector<char> &stream = streams[sink];
    std::size_t at = 0;
    for (;;) {
        // The relay hands a frame on as a block with four zero bytes after it.
        for (; tailOwed[sink] > 0 && at < stream.size() && stream[at] == 0; ++at)
            --tailOwed[sink];
        if (at < stream.size())
            tailOwed[sink] = 0;
        if (stream.size() - at < std::size_t(VehicleFrame::size))
            break;
        VehicleFrame frame;
        if (!frame.decode(stream.data() + at) ||
            ledger.enter(sink, frame.sender, frame.tick, frame.sentNs, now) ==
                LockstepLedger::Entry::Foreign) {
            // Not a frame of this run where one should start: find the next.
            ++result.garbled;
            ++at;
            continue;
        }
        at += VehicleFrame::size;
        tailOwed[sink] = kBlockTail;
    }
    stream.erase(stream.begin(), stream.begin() + long(at));
}

void TcpSwarmRun::receiveAll(const std::atomic<bool> &stop, TcpSwarmResult &result)
{
    const std::uint64_t cpu0 = threadCpuNs();
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    for (int i = 0; i < simulators.count(); ++i) {
        epoll_event want{};
        want.events = EPOLLIN;
        want.data.u32 = std::uint32_t(i);
        if (simulators.connection(i) >= 0)
            epoll_ctl(poller, EPOLL_CTL_ADD, simulators.connection(i), &want);
    }
    epoll_event ready[64];
    char chunk[65536];
    while (!stop) {
        const int count = epoll_wait(poller, ready, 64, 20);
        for (int k = 0; k < count; ++k) {
            const std::size_t sink = ready[k].data.u32;
            const int fd = simulators.connection(int(sink));
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                ++result.closed;
                epoll_ctl(poller, EPOLL_CTL_DEL, fd, nullptr);
                continue;
            }
            if (got < 0)
                continue;
            streams[sink].insert(streams[sink].end(), chunk, chunk + got);
            cut(sink, monotonicNs(), result);
        }
    }
    close(poller);
    for (const std::vector<char> &rest : streams)
        result.garbled += rest.size();
    receiverCpuNs = threadCpuNs() - cpu0;
}

TcpSwarmResult TcpSwarmRun::run(double hz, double seconds)
{
    TcpSwarmResult result;
    const std::size_t n = std::size_t(simulators.count());
    ledger.open(n, std::uint64_t(std::llround(hz * seconds)));
    result.expected = ledger.owed();
    streams.assign(n, {});
    tailOwed.assign(n, 0);

    std::atomic<bool> stop{false};
    const std::uint64_t cpu0 = processCpuNs();
    std::thread receiver([&] { receiveAll(stop, result); });
    std::thread sender([&] { sendAll(hz, result); });
    sender.join();
    ledger.waitForDeliveries();
    stop = true;
    receiver.join();
    const std::uint64_t processCpu = processCpuNs() - cpu0;
    result.relayCpuNs = processCpu - std::min(processCpu, senderCpuNs + receiverCpuNs);
    result.delivered = ledger.delivered();
    result.duplicates = ledger.duplicates();
    result.latency = std::move(ledger.latency());
    result.burst = ledger.bursts();
    return result;
}

} // namespace bench
