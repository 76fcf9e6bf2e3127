// Soak run of the relay: one ground station and many vehicles at realistic
// rates for a chosen time, with per-link counts and any loss.
//
//   relay-soak [seconds=600] [vehicles=20]

#include "relayharness.h"
#include "trafficrun.h"

#include "procstats.h"

#include <QApplication>
#include <cstdio>
#include <memory>

using namespace bench;

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600;
    const int vehicles = argc > 2 ? std::atoi(argv[2]) : 20;
    const double tickHz = 50;     // ground-station commands and vehicle telemetry
    const int neighbourEvery = 5; // vehicle-to-vehicle frames at 10 Hz

    const long threadsBefore = threadCount();
    const long rssBefore = rssKiB();

    UdpPeer gcsPeer;
    std::vector<std::unique_ptr<UdpPeer>> peers;
    QVector<std::uint16_t> peerPorts;
    for (int i = 0; i < vehicles; ++i) {
        peers.push_back(std::make_unique<UdpPeer>());
        peerPorts.append(peers.back()->port());
    }
    {
        RelayHarness relay;
        if (!relay.openGcs(gcsPeer.port()) || !relay.setVehicles(peerPorts)) {
            std::fprintf(stderr, "could not open the links\n");
            return 1;
        }
        std::vector<Flow> flows;
        std::vector<Sink> sinks;
        flows.push_back({&gcsPeer, {relay.gcsPort()}, 0, Flow::Plain, 1});
        Sink gcsSink{&gcsPeer, {}};
        for (int i = 0; i < vehicles; ++i) {
            const auto telemetry = std::uint16_t(1 + i);
            const auto neighbour = std::uint16_t(1000 + i);
            flows.push_back(
                {peers[i].get(), {relay.vehiclePorts()[i]}, telemetry, Flow::GcsFrame, 1});
            flows.push_back({peers[i].get(),
                             {relay.vehiclePorts()[i]},
                             neighbour,
                             Flow::VehicleFrame,
                             neighbourEvery});
            gcsSink.streams.push_back(telemetry);
        }
        sinks.push_back(gcsSink);
        for (int i = 0; i < vehicles; ++i) {
            Sink sink{peers[i].get(), {0}};
            for (int j = 0; j < vehicles; ++j)
                if (j != i)
                    sink.streams.push_back(std::uint16_t(1000 + j));
            sinks.push_back(sink);
        }

        std::printf("soak: 1 ground station + %d vehicles, %.0f s, %g Hz ticks\n", vehicles,
                    seconds, tickHz);
        TrafficRun run(flows, sinks);
        TrafficResult r = run.run(tickHz, seconds, 100, 1.0);

        std::printf("\n| link | blocks in | blocks out | owed | lost | frames it forwarded |\n");
        std::printf("|---|---|---|---|---|---|\n");
        std::printf("| gcs (5) | %llu | %llu | %llu | %llu | %llu blocks to %d vehicles |\n",
                    (unsigned long long)r.sentPerStream[0],
                    (unsigned long long)r.deliveredPerSink[0],
                    (unsigned long long)r.expectedPerSink[0],
                    (unsigned long long)(r.expectedPerSink[0] - r.deliveredPerSink[0]),
                    (unsigned long long)r.sentPerStream[0], vehicles);
        for (int i = 0; i < vehicles; ++i) {
            const auto in = r.sentPerStream[1 + i] + r.sentPerStream[1000 + i];
            const auto out = r.deliveredPerSink[1 + i];
            const auto owed = r.expectedPerSink[1 + i];
            std::printf("| uav %d (%d) | %llu | %llu | %llu | %llu | %llu to gcs, %llu x %d "
                        "neighbours |\n",
                        i, 10 + i, (unsigned long long)in, (unsigned long long)out,
                        (unsigned long long)owed, (unsigned long long)(owed - out),
                        (unsigned long long)r.sentPerStream[1 + i],
                        (unsigned long long)r.sentPerStream[1000 + i], vehicles - 1);
        }
        std::printf("\ntotal: sent %llu, owed %llu, delivered %llu, lost %llu, duplicates %llu, "
                    "stray %llu\n",
                    (unsigned long long)r.sent, (unsigned long long)r.expected,
                    (unsigned long long)r.delivered, (unsigned long long)r.lost(),
                    (unsigned long long)r.duplicates, (unsigned long long)r.unexpected);
        std::printf("latency us: p50 %.0f  p99 %.0f  p99.9 %.0f  max %.0f\n",
                    r.latency.percentileUs(50), r.latency.percentileUs(99),
                    r.latency.percentileUs(99.9), r.latency.maxUs());
        std::printf("relay CPU: %.2f%% of one core\n",
                    100.0 * double(r.relayCpuNs()) / double(r.wallNs));
    }
    RelayHarness::shutdown();
    std::printf("threads: %d before, %d after; RSS KiB: %lld before, %lld after\n",
                int(threadsBefore), int(threadCount()), (long long)rssBefore, (long long)rssKiB());
    return 0;
}
