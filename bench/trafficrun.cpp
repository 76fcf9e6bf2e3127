#include "trafficrun.h"

#include "benchclock.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/prctl.h>
#include <thread>

namespace bench {

namespace {
constexpr std::uint32_t kMagic = 0x52424e43; // marks our plain blocks

struct Stamp
{
    std::uint16_t stream;
    std::uint64_t seq;
    std::uint64_t sentNs;
};

std::size_t encode(char *out, int payloadBytes, Flow::Kind kind, const Stamp &s)
{
    if (kind == Flow::GcsFrame) {
        // AA EC, three free bytes, the length byte, the payload, a last byte.
        const int length = payloadBytes < 18 ? 18 : (payloadBytes > 247 ? 247 : payloadBytes);
        std::memset(out, 0x33, std::size_t(length) + 7);
        out[0] = char(0xAA);
        out[1] = char(0xEC);
        out[5] = char(length);
        std::memcpy(out + 6, &s.stream, 2);
        std::memcpy(out + 8, &s.seq, 8);
        std::memcpy(out + 16, &s.sentNs, 8);
        return std::size_t(length) + 7;
    }
    if (kind == Flow::VehicleFrame) {
        std::memset(out, 0, 36);
        out[0] = char(0xEB);
        out[1] = char(0x91);
        std::memcpy(out + 2, &s.stream, 2);
        std::memcpy(out + 4, &s.seq, 8);
        std::memcpy(out + 12, &s.sentNs, 8);
        return 36;
    }
    const std::size_t size = std::size_t(payloadBytes < 24 ? 24 : payloadBytes);
    std::memset(out, 0x5A, size);
    std::memcpy(out, &kMagic, 4);
    const std::uint32_t stream = s.stream;
    std::memcpy(out + 4, &stream, 4);
    std::memcpy(out + 8, &s.seq, 8);
    std::memcpy(out + 16, &s.sentNs, 8);
    return size;
}

bool decode(const char *in, long size, Stamp &s)
{
    if (size >= 25 && std::uint8_t(in[0]) == 0xAA && std::uint8_t(in[1]) == 0xEC &&
        size == std::uint8_t(in[5]) + 7) {
        std::memcpy(&s.stream, in + 6, 2);
        std::memcpy(&s.seq, in + 8, 8);
        std::memcpy(&s.sentNs, in + 16, 8);
        return true;
    }
    if (size >= 36 && std::uint8_t(in[0]) == 0xEB && std::uint8_t(in[1]) == 0x91) {
        std::memcpy(&s.stream, in + 2, 2);
        std::memcpy(&s.seq, in + 4, 8);
        std::memcpy(&s.sentNs, in + 12, 8);
        return true;
    }
    std::uint32_t magic = 0;
    if (size < 24)
        return false;
    std::memcpy(&magic, in, 4);
    if (magic != kMagic)
        return false;
    std::uint32_t stream = 0;
    std::memcpy(&stream, in + 4, 4);
    s.stream = std::uint16_t(stream);
    std::memcpy(&s.seq, in + 8, 8);
    std::memcpy(&s.sentNs, in + 16, 8);
    return true;
}
} // namespace

TrafficRun::TrafficRun(std::vector<Flow> f, std::vector<Sink> s)
    : flows(std::move(f)), sinks(std::move(s))
{
}

void TrafficRun::sendAll(double rate, double seconds, int payloadBytes, TrafficResult &result)
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    const std::uint64_t cpuStart = threadCpuNs();
    const auto ticks = std::uint64_t(std::llround(rate * seconds));
    const double intervalNs = 1e9 / rate;
    const std::uint64_t start = monotonicNs();
    static thread_local char buffer[65536];
    for (std::uint64_t tick = 0; tick < ticks; ++tick) {
        const auto due = start + std::uint64_t(double(tick) * intervalNs);
        if (monotonicNs() < due) {
            timespec ts{time_t(due / 1000000000u), long(due % 1000000000u)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        }
        for (Flow &flow : flows) {
            if (tick % std::uint64_t(flow.every) != 0)
                continue;
            const Stamp stamp{flow.stream, sentPerStream[flow.stream], monotonicNs()};
            const std::size_t size = encode(buffer, payloadBytes, flow.kind, stamp);
            for (std::uint16_t port : flow.to) {
                flow.from->sendTo(port, buffer, size);
                ++result.sent;
            }
            ++sentPerStream[flow.stream];
        }
    }
    result.peerCpuNs += threadCpuNs() - cpuStart;
}

void TrafficRun::receiveAll(const std::atomic<bool> &stop, TrafficResult &result,
                            std::size_t perStream)
{
    const std::uint64_t cpuStart = threadCpuNs();
    std::vector<pollfd> fds;
    // seen[sink][stream] -> one byte per sequence number
    std::vector<std::map<std::uint16_t, std::vector<std::uint8_t>>> seen(sinks.size());
    for (std::size_t i = 0; i < sinks.size(); ++i) {
        fds.push_back({sinks[i].peer->handle(), POLLIN, 0});
        for (std::uint16_t stream : sinks[i].streams)
            seen[i][stream].assign(perStream, 0);
    }
    static thread_local char buffer[65536];
    result.deliveredPerSink.assign(sinks.size(), 0);
    while (!stop) {
        if (poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            long size;
            while ((size = sinks[i].peer->receive(buffer, sizeof buffer)) >= 0) {
                const std::uint64_t now = monotonicNs();
                Stamp stamp{};
                if (!decode(buffer, size, stamp)) {
                    ++result.unexpected;
                    continue;
                }
                auto it = seen[i].find(stamp.stream);
                if (it == seen[i].end() || stamp.seq >= it->second.size()) {
                    ++result.unexpected;
                    continue;
                }
                if (it->second[stamp.seq]++) {
                    ++result.duplicates;
                    continue;
                }
                ++result.delivered;
                ++result.deliveredPerSink[i];
                result.latency.add(now - stamp.sentNs);
            }
        }
    }
    result.peerCpuNs += threadCpuNs() - cpuStart;
}

TrafficResult TrafficRun::run(double rate, double seconds, int payloadBytes, double drainSeconds)
{
    TrafficResult result;
    std::uint16_t maxStream = 0;
    for (const Flow &f : flows)
        maxStream = std::max(maxStream, f.stream);
    sentPerStream.assign(maxStream + 1u, 0);
    const auto perStream = std::size_t(rate * seconds) + 16;
    for (const Flow &f : flows)
        if (f.every < 1)
            return result;
    result.latency.reserve(std::size_t(rate * seconds) * 4);

    TrafficResult received;
    std::atomic<bool> stop{false};
    const std::uint64_t cpuStart = processCpuNs();
    const std::uint64_t wallStart = monotonicNs();
    std::thread receiver([&] { receiveAll(stop, received, perStream); });
    std::thread sender([&] { sendAll(rate, seconds, payloadBytes, result); });
    sender.join();
    std::this_thread::sleep_for(std::chrono::duration<double>(drainSeconds));
    stop = true;
    receiver.join();
    result.wallNs = monotonicNs() - wallStart;
    result.processCpuNs = processCpuNs() - cpuStart;

    result.delivered = received.delivered;
    result.duplicates = received.duplicates;
    result.unexpected = received.unexpected;
    result.peerCpuNs += received.peerCpuNs;
    result.latency = std::move(received.latency);
    result.deliveredPerSink = received.deliveredPerSink;
    result.sentPerStream = sentPerStream;
    for (const Sink &sink : sinks) {
        std::uint64_t owed = 0;
        for (std::uint16_t stream : sink.streams)
            owed += stream < sentPerStream.size() ? sentPerStream[stream] : 0;
        result.expectedPerSink.push_back(owed);
        result.expected += owed;
    }
    return result;
}

} // namespace bench
