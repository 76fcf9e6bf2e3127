// Benchmark of the relay against the limits of this machine: the relay's
// own link classes in this process, driven by plain sockets in other
// threads, side by side with a direct socket-to-socket path and, when
// installed, socat relaying the same traffic.
//
//   relay-bench [seconds-per-scenario=5] [seconds-of-sustained-load=60]
//   relay-bench low [seconds-per-scenario=10]   the low rates only: the tail
//                                                a swarm's commands feel
//   relay-bench tcp [seconds=5]                 the TCP row only, beside socat

#include "benchclock.h"
#include "procstats.h"
#include "relayharness.h"
#include "socatrelays.h"
#include "tcpscenario.h"
#include "trafficrun.h"
#include "windowfixture.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace bench;

namespace {

enum class Path
{
    Relay,
    // The same relay behind the real window.
    Window,
    Direct,
    Socat
};

const char *pathName(Path p)
{
    switch (p) {
    case Path::Relay:
        return "relay";
    case Path::Window:
        return "window";
    case Path::Direct:
        return "direct";
    case Path::Socat:
        return "socat";
    }
    return "?";
}

struct Row
{
    double p50 = 0, p99 = 0, p999 = 0, max = 0;
    double cpuNsPerDatagram = 0;
    std::uint64_t sent = 0, delivered = 0, lost = 0;
};

void printHeader()
{
    std::printf("| scenario | path | sent | delivered | lost | p50 us | p99 us | p99.9 us | "
                "max us | CPU ns/datagram |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
}

Row report(const char *scenario, Path path, TrafficResult &r, unsigned long long externalCpu)
{
    Row row;
    row.sent = r.sent;
    row.delivered = r.delivered;
    row.lost = r.lost();
    row.p50 = r.latency.percentileUs(50);
    row.p99 = r.latency.percentileUs(99);
    row.p999 = r.latency.percentileUs(99.9);
    row.max = r.latency.maxUs();
    const double cpu = path == Path::Socat ? double(externalCpu) : double(r.relayCpuNs());
    row.cpuNsPerDatagram = r.delivered ? cpu / double(r.delivered) : 0;
    std::printf("| %s | %s | %llu | %llu | %llu | %.0f | %.0f | %.0f | %.0f | %.0f |\n", scenario,
                pathName(path), (unsigned long long)row.sent, (unsigned long long)row.delivered,
                (unsigned long long)row.lost, row.p50, row.p99, row.p999, row.max,
                row.cpuNsPerDatagram);
    std::fflush(stdout);
    return row;
}

struct Fixture
{
    UdpPeer gcsPeer;
    std::vector<std::unique_ptr<UdpPeer>> vehicles;
    RelayHarness relay;

    bool setUp(int n)
    {
        vehicles.clear();
        QVector<std::uint16_t> ports;
        for (int i = 0; i < n; ++i) {
            vehicles.push_back(std::make_unique<UdpPeer>());
            ports.append(vehicles.back()->port());
        }
        return relay.openGcs(gcsPeer.port()) && relay.setVehicles(ports);
    }
};

// Ground station to n vehicles at a rate, over each path.
void downlink(Fixture &f, int n, double rate, double seconds)
{
    if (!f.setUp(n)) {
        std::printf("setup failed\n");
        return;
    }
    char scenario[96];
    std::snprintf(scenario, sizeof scenario, "gcs -> %d uav @ %.0f/s", n, rate);
    std::vector<Sink> sinks;
    std::vector<std::uint16_t> vehiclePorts;
    for (auto &v : f.vehicles) {
        sinks.push_back({v.get(), {0}});
        vehiclePorts.push_back(v->port());
    }

    TrafficRun relayRun({{&f.gcsPeer, {f.relay.gcsPort()}, 0, Flow::Plain, 1}}, sinks);
    TrafficResult relay = relayRun.run(rate, seconds, 64);
    const Row r = report(scenario, Path::Relay, relay, 0);

    TrafficRun directRun({{&f.gcsPeer, vehiclePorts, 0, Flow::Plain, 1}}, sinks);
    TrafficResult direct = directRun.run(rate, seconds, 64);
    const Row d = report(scenario, Path::Direct, direct, 0);

    if (haveSocat()) {
        SocatRelays socat;
        if (socat.start(vehiclePorts)) {
            TrafficRun socatRun({{&f.gcsPeer, socat.ports, 0, Flow::Plain, 1}}, sinks);
            const unsigned long long before = socat.cpuNs();
            TrafficResult s = socatRun.run(rate, seconds, 64);
            const Row so = report(scenario, Path::Socat, s, socat.cpuNs() - before);
            const double relayAdded = r.p50 - d.p50, socatAdded = so.p50 - d.p50;
            std::printf("|  | ratio | relay/direct p50 %.2f | relay/socat added p50 %.2f | "
                        "relay/socat CPU %.2f | | | | | |\n",
                        d.p50 > 0 ? r.p50 / d.p50 : 0, socatAdded > 0 ? relayAdded / socatAdded : 0,
                        so.cpuNsPerDatagram > 0 ? r.cpuNsPerDatagram / so.cpuNsPerDatagram : 0);
        }
    }
}

// Vehicle-to-vehicle frames among n vehicles, each sending at perVehicle/s.
void neighbours(Fixture &f, int n, double perVehicle, double seconds)
{
    if (!f.setUp(n))
        return;
    char scenario[96];
    std::snprintf(scenario, sizeof scenario, "uav <-> uav, %d uav @ %.0f/s each", n, perVehicle);
    std::vector<Flow> flows;
    std::vector<Sink> sinks;
    for (int i = 0; i < n; ++i) {
        flows.push_back({f.vehicles[i].get(),
                         {f.relay.vehiclePorts()[i]},
                         std::uint16_t(1 + i),
                         Flow::VehicleFrame,
                         1});
        Sink sink{f.vehicles[i].get(), {}};
        for (int j = 0; j < n; ++j)
            if (j != i)
                sink.streams.push_back(std::uint16_t(1 + j));
        sinks.push_back(sink);
    }
    TrafficRun run(flows, sinks);
    TrafficResult r = run.run(perVehicle, seconds, 36);
    report(scenario, Path::Relay, r, 0);
}

// The ground station's blocks to n vehicles through the real window.
void windowDownlink(int n, double rate, double seconds)
{
    WindowFixture w;
    if (!w.setUp(n)) {
        std::printf("| window set-up failed: not every link opened |\n");
        return;
    }
    char scenario[96];
    std::snprintf(scenario, sizeof scenario, "gcs -> %d uav @ %.0f/s", n, rate);
    std::vector<Sink> sinks;
    for (auto &v : w.vehicles)
        sinks.push_back({v.get(), {0}});
    TrafficRun traffic({{&w.gcsPeer, {w.gcsPort()}, 0, Flow::Plain, 1}}, sinks);
    TrafficResult r = w.run(traffic, rate, seconds, 64);
    report(scenario, Path::Window, r, 0);
}

void idle(int n, double seconds)
{
    Fixture f;
    if (!f.setUp(n))
        return;
    QThread::msleep(200);
    const std::uint64_t cpu0 = processCpuNs(), wall0 = monotonicNs();
    QThread::usleep(static_cast<unsigned long>(seconds * 1e6));
    const double share = double(processCpuNs() - cpu0) / double(monotonicNs() - wall0);
    std::printf("| idle, %d uav links open | %.2f%% of one core |\n", n, 100 * share);
    std::fflush(stdout);
}

void highestLossFree(Fixture &f, int n, double seconds)
{
    if (!f.setUp(n))
        return;
    std::vector<Sink> sinks;
    std::vector<std::uint16_t> ports;
    for (auto &v : f.vehicles) {
        sinks.push_back({v.get(), {0}});
        ports.push_back(v->port());
    }
    double best = 0, bestDirect = 0;
    for (double rate : {2000.0, 5000.0, 10000.0, 15000.0, 20000.0, 30000.0, 40000.0, 60000.0}) {
        TrafficRun run({{&f.gcsPeer, {f.relay.gcsPort()}, 0, Flow::Plain, 1}}, sinks);
        TrafficResult r = run.run(rate, seconds, 64);
        if (r.lost() || r.duplicates)
            break;
        best = rate;
    }
    for (double rate : {2000.0, 5000.0, 10000.0, 15000.0, 20000.0, 30000.0, 40000.0, 60000.0}) {
        TrafficRun run({{&f.gcsPeer, ports, 0, Flow::Plain, 1}}, sinks);
        TrafficResult r = run.run(rate, seconds, 64);
        if (r.lost() || r.duplicates)
            break;
        bestDirect = rate;
    }
    std::printf("| highest loss-free rate gcs -> %d uav | relay %.0f/s in (%.0f/s out) | direct "
                "%.0f/s in (%.0f/s out) |\n",
                n, best, best * n, bestDirect, bestDirect * n);
    std::fflush(stdout);
}

// The rate a swarm simulation really sends, held for a long time.
void sustained(Fixture &f, int n, double rate, double seconds)
{
    if (seconds <= 0 || !f.setUp(n))
        return;
    char scenario[96];
    std::snprintf(scenario, sizeof scenario, "gcs -> %d uav @ %.0f/s for %.0f s", n, rate, seconds);
    std::vector<Sink> sinks;
    for (auto &v : f.vehicles)
        sinks.push_back({v.get(), {0}});
    TrafficRun run({{&f.gcsPeer, {f.relay.gcsPort()}, 0, Flow::Plain, 1}}, sinks);
    TrafficResult r = run.run(rate, seconds, 64);
    report(scenario, Path::Relay, r, 0);
}

std::string cpuModel()
{
    FILE *f = std::fopen("/proc/cpuinfo", "r");
    if (!f)
        return "unknown CPU";
    char line[256];
    std::string model = "unknown CPU";
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "model name", 10) == 0) {
            const char *colon = std::strchr(line, ':');
            model = colon ? std::string(colon + 2) : model;
            if (!model.empty() && model.back() == '\n')
                model.pop_back();
            break;
        }
    }
    std::fclose(f);
    return model;
}

void memoryPerLink()
{
    Fixture f;
    f.setUp(1);
    QThread::msleep(300);
    const long rss1 = rssKiB();
    f.setUp(101);
    QThread::msleep(300);
    const long rss101 = rssKiB();
    std::printf("| memory, 1 -> 101 open uav links | %ld KiB -> %ld KiB, %.0f KiB per link |\n",
                rss1, rss101, double(rss101 - rss1) / 100.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "low") == 0) {
        const double lowSeconds = argc > 2 ? std::atof(argv[2]) : 10;
        Fixture f;
        printHeader();
        if (argc <= 3) {
            downlink(f, 1, 100, lowSeconds);
            downlink(f, 10, 100, lowSeconds);
            downlink(f, 10, 1000, lowSeconds);
        }
        RelayHarness::shutdown();
        windowDownlink(1, 100, lowSeconds);
        windowDownlink(10, 100, lowSeconds);
        windowDownlink(10, 1000, lowSeconds);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "tcp") == 0) {
        tcpDownlink(10000, argc > 2 ? std::atof(argv[2]) : 5);
        RelayHarness::shutdown();
        return 0;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5;
    const double sustainedSeconds = argc > 2 ? std::atof(argv[2]) : 60;
    std::printf("relay-bench: %.0f s per scenario, %ld cores (%s), %s, socat %s\n\n", seconds,
                sysconf(_SC_NPROCESSORS_ONLN), cpuModel().c_str(), qVersion(),
                haveSocat() ? "found" : "not installed");
    std::printf("Latencies are one way, peer to peer; CPU is the process's CPU time less "
                "the load generator's, per datagram delivered.\n\n");
    {
        Fixture f;
        printHeader();
        downlink(f, 1, 1000, seconds);
        downlink(f, 1, 10000, seconds);
        downlink(f, 10, 1000, seconds);
        downlink(f, 10, 10000, seconds);
        neighbours(f, 10, 100, seconds);
        sustained(f, 10, 10000, sustainedSeconds);
        tcpDownlink(10000, seconds);
        std::printf("\n");
        highestLossFree(f, 10, 3);
    }
    std::printf("\n");
    for (int n : {1, 10, 100})
        idle(n, seconds);
    memoryPerLink();
    RelayHarness::shutdown();
    return 0;
}
