// A lockstep swarm over TCP through the relay's own link classes: N
// simulators, each a TCP server on 127.0.0.1 that one of the relay's
// vehicle links connects to as a client, send one vehicle frame each on
// the same tick at 10 Hz, and the relay hands every frame to the N−1
// others. Then every simulator restarts at once: all servers and their
// connections closed, listening again on the same ports after a pause,
// and the clients must all be back within 5 s; then the lockstep again.
//
//   relay-tcpswarm [seconds=10] [vehicles=200] [servers-down-ms=1000]

#include "benchclock.h"
#include "latencystats.h"
#include "procstats.h"
#include "relayharness.h"
#include "tcpsimulators.h"
#include "tcpswarmrun.h"

#include <QCoreApplication>
#include <QThread>
#include <QVector>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace bench;

namespace {

constexpr double kHz = 10;
// The relay's clients retry every 500 ms at first: several tries' worth.
constexpr int kAcceptTimeoutMs = 20000;

void report(const char *phase, int n, double seconds, TcpSwarmResult &r)
{
    const double core = r.wallNs ? 100.0 * double(r.relayCpuNs) / double(r.wallNs) : 0;
    const double perDelivery = r.delivered ? double(r.relayCpuNs) / double(r.delivered) : 0;
    std::printf("| %s | %d | %.0f s | %llu | %llu | %llu | %llu | %llu | %.1f / %.1f | "
                "%.1f / %.1f | %.0f %% | %.2f |\n",
                phase, n, seconds, (unsigned long long)r.expected, (unsigned long long)r.delivered,
                (unsigned long long)r.lost(), (unsigned long long)r.duplicates,
                (unsigned long long)r.garbled, r.burst.percentileUs(50) / 1000,
                r.burst.percentileUs(99) / 1000, r.latency.percentileUs(50) / 1000,
                r.latency.percentileUs(99) / 1000, core, perDelivery / 1000);
    if (r.sendFailures || r.closed)
        std::printf("|  | %s: %llu frames not written whole, %llu connections ended | | | | | | "
                    "| | | | |\n",
                    phase, (unsigned long long)r.sendFailures, (unsigned long long)r.closed);
    std::fflush(stdout);
}

// Accepts on every simulator in a thread of its own while this thread runs
// `meanwhile` and then keeps the relay's events flowing until it is done.
template <class F>
int acceptWhile(TcpSimulators &simulators, std::vector<std::uint64_t> &acceptedNs, F meanwhile)
{
    std::atomic<int> held{-1};
    std::thread acceptor([&] { held = simulators.acceptAll(kAcceptTimeoutMs, acceptedNs); });
    meanwhile();
    while (held.load() < 0) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    acceptor.join();
    return held;
}

// Time from `sinceNs` to each accept, as p50 and max in ms.
void connectTimes(const char *what, int held, int n, const std::vector<std::uint64_t> &acceptedNs,
                  std::uint64_t sinceNs)
{
    LatencyStats times;
    for (std::uint64_t at : acceptedNs)
        if (at)
            times.add(at > sinceNs ? at - sinceNs : 0);
    std::printf("| %s | %d of %d | %.0f | %.0f |\n", what, held, n, times.percentileUs(50) / 1000,
                times.maxUs() / 1000);
}

} // namespace

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const int n = argc > 2 ? std::atoi(argv[2]) : 200;
    // Past 5 s down the clients try only every 2 s.
    const int downMs = argc > 3 ? std::atoi(argv[3]) : 1000;
    std::printf("relay-tcpswarm: %d TCP vehicles in lockstep at %.0f Hz, 36-byte vehicle frames, "
                "servers down %d ms on the restart, %ld cores\n\n",
                n, kHz, downMs, sysconf(_SC_NPROCESSORS_ONLN));
    TcpSimulators simulators(n);
    if (!simulators.isValid()) {
        std::printf("cannot listen on %d loopback ports\n", n);
        return 1;
    }
    const QVector<std::uint16_t> ports(simulators.ports().begin(), simulators.ports().end());
    std::vector<std::uint64_t> firstAccepts, againAccepts;
    std::uint64_t closedNs = 0, relistenNs = 0;
    {
        RelayHarness relay;
        const std::uint64_t openNs = monotonicNs();
        bool opened = false;
        const int first =
            acceptWhile(simulators, firstAccepts, [&] { opened = relay.setTcpVehicles(ports); });
        if (!opened || first < n) {
            std::printf("setup failed: %d of %d connected\n", first, n);
            RelayHarness::shutdown();
            return 1;
        }
        // Before the runs' own tables: what the relay's connected links hold.
        const long connectedKiB = rssKiB();
        std::printf("| phase | vehicles | time | deliveries owed | delivered | lost | duplicates "
                    "| garbled bytes | burst p50 / p99 ms | latency p50 / p99 ms | relay CPU, one "
                    "core | relay CPU us per delivery |\n"
                    "|---|---|---|---|---|---|---|---|---|---|---|---|\n");
        TcpSwarmRun run(simulators);
        TcpSwarmResult before = run.run(kHz, seconds);
        report("before the restart", n, seconds, before);

        closedNs = monotonicNs();
        simulators.closeAll();
        QThread::msleep(unsigned(downMs));
        relistenNs = monotonicNs();
        int again = 0;
        if (simulators.listenAgain())
            again = acceptWhile(simulators, againAccepts, [] {});
        TcpSwarmResult after;
        if (again == n)
            after = run.run(kHz, seconds);
        report("after the restart", n, seconds, after);

        std::printf("\n| connections | open | p50 ms | max ms |\n|---|---|---|---|\n");
        connectTimes("first connect, from the first link's Connect", first, n, firstAccepts,
                     openNs);
        connectTimes("after the restart, from listening again", again, n, againAccepts, relistenNs);
        connectTimes("after the restart, from the servers' close", again, n, againAccepts,
                     closedNs);
        const RelayHarness::VehicleTotals totals = relay.vehicleTotals();
        std::printf(
            "\nthe relay's vehicle links: reconnects %llu, dropped %llu, send errors %llu\n",
            (unsigned long long)totals.reconnects, (unsigned long long)totals.dropped,
            (unsigned long long)totals.sendErrors);
        std::printf("resident memory once all were connected: %ld KiB; at the end, with this "
                    "bench's tables of every delivery: %ld KiB; %ld threads\n",
                    connectedKiB, rssKiB(), threadCount());
    }
    RelayHarness::shutdown();
    return 0;
}
