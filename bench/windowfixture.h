#pragma once

#include "trafficrun.h"
#include "udppeer.h"

#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QThread;
class TMainWidget;

namespace bench {

// The real window, as the program runs it (the application object in its
// worker thread, the rows' live lines refreshed), with the ground station
// and `n` vehicles on unicast to plain peers, all connected with "全部连接".
// It works in a settings file of its own.
class WindowFixture
{
public:
    WindowFixture();
    ~WindowFixture();

    bool setUp(int vehicles);
    std::uint16_t gcsPort() const { return gcsLocalPort; }
    // The relay's vehicle links' ports, vehicles[i] answered by the i-th.
    const std::vector<std::uint16_t> &vehiclePorts() const { return vehicleLocalPorts; }
    // A run while the window's thread goes on serving its events.
    TrafficResult run(TrafficRun &traffic, double rate, double seconds, int payloadBytes);
    // `work` in a thread of its own while the window's thread serves its
    // events, as in the program.
    void serve(const std::function<void()> &work);

    UdpPeer gcsPeer;
    std::vector<std::unique_ptr<UdpPeer>> vehicles;

private:
    QTemporaryDir dir;
    QThread *worker = nullptr;
    std::unique_ptr<TMainWidget> window;
    std::uint16_t gcsLocalPort = 0;
    std::vector<std::uint16_t> vehicleLocalPorts;
};

} // namespace bench
