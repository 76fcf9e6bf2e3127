#pragma once

#include "trafficrun.h"
#include "udppeer.h"

#include <QTemporaryDir>

#include <cstdint>
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
    // A run while the window's thread goes on serving its events.
    TrafficResult run(TrafficRun &traffic, double rate, double seconds, int payloadBytes);

    UdpPeer gcsPeer;
    std::vector<std::unique_ptr<UdpPeer>> vehicles;

private:
    QTemporaryDir dir;
    QThread *worker = nullptr;
    std::unique_ptr<TMainWidget> window;
    std::uint16_t gcsLocalPort = 0;
};

} // namespace bench
