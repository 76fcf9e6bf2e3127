// Forwards a given number of datagrams through the relay one at a time, for
// an instruction count under callgrind (scripts/forward-cost.sh runs it with
// two counts and takes the difference, so start-up and shutdown cancel out).
//
//   relay-forward-cost <gcs|uav> <count>
//     gcs: one ground-station block to 10 vehicles per step
//     uav: one vehicle frame from vehicle 1 to the 9 others per step
//   relay-forward-cost <gcs|uav> <count> <profile>
//     the same through an emulated radio whose default is <profile> ("clean")

#include "radio/tradio.h"
#include "relayharness.h"
#include "udppeer.h"

#include <QApplication>
#include <QVector>

#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <vector>

using namespace bench;

namespace {
constexpr int kVehicles = 10;

// Waits until each of the peers has received one datagram.
bool awaitOneEach(const std::vector<UdpPeer *> &peers)
{
    std::vector<bool> got(peers.size(), false);
    std::size_t remaining = peers.size();
    char buffer[2048];
    while (remaining) {
        std::vector<pollfd> fds;
        for (UdpPeer *p : peers)
            fds.push_back({p->handle(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), 10000) <= 0)
            return false;
        for (std::size_t i = 0; i < peers.size(); ++i) {
            while (peers[i]->receive(buffer, sizeof buffer) >= 0) {
                if (!got[i]) {
                    got[i] = true;
                    --remaining;
                }
            }
        }
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const bool fromVehicle = std::strcmp(argv[1], "uav") == 0;
    const int count = std::atoi(argv[2]);
    if (argc > 3) {
        const QString profile = QString::fromLocal8Bit(argv[3]);
        QString error;
        const TRadioFile::Rule fallback{QStringLiteral("*"), QStringLiteral("*"), profile,
                                        TRadioProfile::parse(profile, error)};
        if (!error.isNull())
            return 2;
        TRadio::instance().install(
            std::make_shared<TRadioRules>(1, &fallback, QVector<TRadioFile::Rule>{}, 1, nullptr));
    }

    UdpPeer gcsPeer;
    std::vector<std::unique_ptr<UdpPeer>> peers;
    QVector<std::uint16_t> ports;
    for (int i = 0; i < kVehicles; ++i) {
        peers.push_back(std::make_unique<UdpPeer>());
        ports.append(peers.back()->port());
    }
    int failures = 0;
    {
        RelayHarness relay;
        if (!relay.openGcs(gcsPeer.port()) || !relay.setVehicles(ports))
            return 1;
        std::vector<UdpPeer *> targets;
        for (int i = 0; i < kVehicles; ++i)
            if (!fromVehicle || i != 1)
                targets.push_back(peers[i].get());
        char block[64];
        std::memset(block, 0x5A, sizeof block);
        char frame[36];
        std::memset(frame, 0x11, sizeof frame);
        frame[0] = char(0xEB);
        frame[1] = char(0x91);
        for (int n = 0; n < count; ++n) {
            if (fromVehicle)
                peers[1]->sendTo(relay.vehiclePorts()[1], frame, sizeof frame);
            else
                gcsPeer.sendTo(relay.gcsPort(), block, sizeof block);
            failures += !awaitOneEach(targets);
        }
    }
    RelayHarness::shutdown();
    std::printf("%d steps, %d failed\n", count, failures);
    return failures ? 1 : 0;
}
