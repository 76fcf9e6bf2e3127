// A lockstep swarm through the relay's own link classes: N simulated
// vehicles send one vehicle frame each on the same tick, at 10 Hz, and the
// relay hands every frame to the N−1 others; beside it, in the same run, the
// floor: the same sockets sending the same frames straight to each other
// with sendmmsg from one thread.
//
//   relay-swarm [seconds=10] [seconds-at-200=60] [vehicles...=50 100 200 1000/20]
//
// "N/K" is N vehicles of which each hears only its K nearest on a ring
// through the emulated radio (every other pair down), beside the floor
// sending each frame to those K alone.

#include "benchclock.h"
#include "procstats.h"
#include "radio/tradio.h"
#include "relayharness.h"
#include "swarmrun.h"
#include "windowfixture.h"

#include <QApplication>
#include <QThread>
#include <QVector>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace bench;

namespace {

constexpr double kHz = 10;

struct Row
{
    double burstP99 = 0;
    double cpuNsPerDelivery = 0;
};

Row report(int n, const char *path, double seconds, SwarmResult &r)
{
    Row row;
    row.burstP99 = r.burst.percentileUs(99) / 1000;
    row.cpuNsPerDelivery = r.delivered ? double(r.pathCpuNs) / double(r.delivered) : 0;
    const double core = r.wallNs ? 100.0 * double(r.pathCpuNs) / double(r.wallNs) : 0;
    std::printf(
        "| %d | %s | %.0f s | %llu | %llu | %llu | %llu | %.1f / %.1f | %.1f | %.1f / %.1f | "
        "%.0f %% | %.2f |\n",
        n, path, seconds, (unsigned long long)r.expected, (unsigned long long)r.delivered,
        (unsigned long long)r.lost(), (unsigned long long)r.duplicates,
        r.burst.percentileUs(50) / 1000, row.burstP99, double(r.firstBurstNs) / 1e6,
        r.latency.percentileUs(50) / 1000, r.latency.percentileUs(99) / 1000, core,
        row.cpuNsPerDelivery / 1000);
    std::fflush(stdout);
    return row;
}

// What one size of swarm measured, with and without the radio.
struct Size
{
    Row relay, floor, radio;
};

// N simulated vehicles, each with a vehicle link of the relay of its own.
struct Swarm
{
    std::vector<std::unique_ptr<UdpPeer>> owned;
    std::vector<UdpPeer *> peers;

    bool setUp(RelayHarness &relay, int n)
    {
        QVector<std::uint16_t> peerPorts;
        for (int i = 0; i < n; ++i) {
            owned.push_back(std::make_unique<UdpPeer>());
            peers.push_back(owned.back().get());
            peerPorts.append(owned.back()->port());
        }
        if (relay.setVehicles(peerPorts))
            return true;
        std::printf("| %d | setup failed |\n", n);
        return false;
    }
    std::vector<std::uint16_t> ports(const RelayHarness &relay) const
    {
        return {relay.vehiclePorts().begin(), relay.vehiclePorts().end()};
    }
};

// Waits, up to 20 s, until the relay is idle again: a row that fell
// behind leaves blocks in its delay lines and send queues, and the next
// row must not pay for them.
void settle()
{
    for (int i = 0; i < 100; ++i) {
        const std::uint64_t before = processCpuNs();
        QThread::msleep(200);
        if (processCpuNs() - before < 10 * 1000 * 1000)
            return;
    }
}

TRadioFile::Rule rule(const QString &from, const QString &to, const QString &profile)
{
    QString error;
    return {from, to, profile, TRadioProfile::parse(profile, error)};
}

Size swarm(RelayHarness &relay, int n, double seconds, bool withFloor)
{
    Size size;
    Swarm swarm;
    if (!swarm.setUp(relay, n))
        return size;
    SwarmRun run(swarm.peers, swarm.ports(relay));
    SwarmResult viaRelay = run.run(SwarmRun::Path::Relay, kHz, seconds);
    size.relay = report(n, "relay", seconds, viaRelay);
    if (!withFloor)
        return size;
    SwarmResult direct = run.run(SwarmRun::Path::Direct, kHz, seconds);
    size.floor = report(n, "floor", seconds, direct);
    std::printf("| %d | relay ÷ floor | | | | | | burst p99 %.2f | | | | CPU %.2f |\n", n,
                size.floor.burstP99 > 0 ? size.relay.burstP99 / size.floor.burstP99 : 0,
                size.floor.cpuNsPerDelivery > 0
                    ? size.relay.cpuNsPerDelivery / size.floor.cpuNsPerDelivery
                    : 0);
    // The same swarm through an emulated radio that delays every frame.
    const QString profile = QStringLiteral("delay 50ms 10ms");
    const TRadioFile::Rule fallback = rule(QStringLiteral("*"), QStringLiteral("*"), profile);
    TRadio &radio = TRadio::instance();
    radio.lateness().clear();
    radio.install(
        std::make_shared<TRadioRules>(1, &fallback, QVector<TRadioFile::Rule>{}, 1, nullptr));
    SwarmResult delayed = run.run(SwarmRun::Path::Relay, kHz, seconds);
    radio.uninstall();
    char path[64];
    std::snprintf(path, sizeof path, "relay, radio %s", qPrintable(profile));
    size.radio = report(n, path, seconds, delayed);
    std::printf("| %d | radio ÷ relay | | | | | | | | leaves late p50 %.2f / p99 %.2f ms | | CPU "
                "%.2f |\n",
                n, double(radio.lateness().percentileUs(50)) / 1000,
                double(radio.lateness().percentileUs(99)) / 1000,
                size.relay.cpuNsPerDelivery > 0
                    ? size.radio.cpuNsPerDelivery / size.relay.cpuNsPerDelivery
                    : 0);
    std::fflush(stdout);
    settle();
    return size;
}

// The same swarm through the real window, as the program runs it, beside
// the floor of the same sockets.
void windowSwarm(int n, double seconds)
{
    WindowFixture w;
    if (!w.setUp(n)) {
        std::printf("| %d | window set-up failed: not every link opened |\n", n);
        return;
    }
    std::vector<UdpPeer *> peers;
    for (auto &v : w.vehicles)
        peers.push_back(v.get());
    SwarmRun run(peers, w.vehiclePorts());
    SwarmResult viaWindow, direct;
    w.serve([&] { viaWindow = run.run(SwarmRun::Path::Relay, kHz, seconds); });
    const Row r = report(n, "relay, window", seconds, viaWindow);
    w.serve([&] { direct = run.run(SwarmRun::Path::Direct, kHz, seconds); });
    const Row d = report(n, "floor", seconds, direct);
    std::printf("| %d | window ÷ floor | | | | | | burst p99 %.2f | | | | CPU %.2f |\n", n,
                d.burstP99 > 0 ? r.burstP99 / d.burstP99 : 0,
                d.cpuNsPerDelivery > 0 ? r.cpuNsPerDelivery / d.cpuNsPerDelivery : 0);
    std::fflush(stdout);
}

// Each vehicle hears its `k` neighbours on a ring, every other pair down.
void neighbourSwarm(RelayHarness &relay, int n, int k, double seconds)
{
    Swarm swarm;
    if (!swarm.setUp(relay, n))
        return;
    SwarmRun run(swarm.peers, swarm.ports(relay), k);
    QVector<TRadioFile::Rule> rules;
    for (int sink = 0; sink < n; ++sink)
        for (int source = 0; source < n; ++source)
            if (run.hears(std::size_t(sink), std::size_t(source)))
                rules.append(rule(QStringLiteral("uav%1").arg(source + 1),
                                  QStringLiteral("uav%1").arg(sink + 1), QStringLiteral("clean")));
    const TRadioFile::Rule fallback =
        rule(QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("down"));
    TRadio::instance().install(std::make_shared<TRadioRules>(1, &fallback, rules, 1, nullptr));
    char path[64];
    std::snprintf(path, sizeof path, "relay, radio: %d neighbours, the rest down", k);
    SwarmResult viaRelay = run.run(SwarmRun::Path::Relay, kHz, seconds);
    TRadio::instance().uninstall();
    const Row r = report(n, path, seconds, viaRelay);
    SwarmResult direct = run.run(SwarmRun::Path::Direct, kHz, seconds);
    const Row d = report(n, "floor, to the neighbours", seconds, direct);
    std::printf("| %d | relay ÷ floor | | | | | | burst p99 %.2f | | | | CPU %.2f |\n", n,
                d.burstP99 > 0 ? r.burstP99 / d.burstP99 : 0,
                d.cpuNsPerDelivery > 0 ? r.cpuNsPerDelivery / d.cpuNsPerDelivery : 0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const double longSeconds = argc > 2 ? std::atof(argv[2]) : 60;
    // A size, and how many neighbours each vehicle hears (0: all).
    QVector<QPair<int, int>> sizes;
    for (int i = 3; i < argc; ++i) {
        const char *slash = std::strchr(argv[i], '/');
        sizes.append({std::atoi(argv[i]), slash ? std::atoi(slash + 1) : 0});
    }
    if (sizes.isEmpty())
        sizes = {{50, 0}, {100, 0}, {200, 0}, {1000, 20}};
    std::printf("relay-swarm: lockstep at %.0f Hz, 36-byte vehicle frames, %ld cores\n\n", kHz,
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf(
        "| vehicles | path | time | deliveries owed | delivered | lost | duplicates | "
        "burst p50 / p99 ms | first tick ms | latency p50 / p99 ms | CPU, one core | CPU us "
        "per delivery |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    {
        RelayHarness relay;
        for (const auto &size : qAsConst(sizes))
            if (size.second == 0)
                swarm(relay, size.first, seconds, true);
        if (longSeconds > 0)
            swarm(relay, 200, longSeconds, false);
        for (const auto &size : qAsConst(sizes))
            if (size.second > 0)
                neighbourSwarm(relay, size.first, size.second, seconds);
        std::printf("\nresident memory at the end: %ld KiB, %ld threads\n", rssKiB(),
                    threadCount());
    }
    RelayHarness::shutdown();
    for (const auto &size : qAsConst(sizes))
        if (size.second == 0)
            windowSwarm(size.first, seconds);
    return 0;
}
