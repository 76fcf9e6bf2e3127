#pragma once

#include <QVector>
#include <cstdint>

class IOHandler;

namespace bench {

// The relay's own link classes, in this process, as the window would set
// them up: one ground-station link (id 5) and vehicle links (ids 10..),
// registered in the registry and opened on UDP unicast at 127.0.0.1.
class RelayHarness
{
public:
    RelayHarness();
    ~RelayHarness();

    // Opens the ground-station link on a free port, answering peerPort.
    bool openGcs(std::uint16_t peerPort);
    // Grows or shrinks the vehicle list to match the peer ports, and opens
    // every vehicle link on a free port answering its peer.
    bool setVehicles(const QVector<std::uint16_t> &peerPorts);
    // The ground station as a TCP server on a free port, and one vehicle
    // as a TCP client of the server on serverPort.
    bool openGcsTcpServer();
    bool setTcpVehicle(std::uint16_t serverPort);
    // One vehicle link as a TCP client for each server port, in order.
    bool setTcpVehicles(const QVector<std::uint16_t> &serverPorts);
    // Adds vehicle links that stay closed (for idle measurements).
    void addClosedVehicles(int n);
    void removeAllVehicles();

    std::uint16_t gcsPort() const { return gcsLocalPort; }
    const QVector<std::uint16_t> &vehiclePorts() const { return vehicleLocalPorts; }
    int vehicleCount() const;
    // The vehicle links' counters, added up.
    struct VehicleTotals
    {
        std::uint64_t reconnects = 0;
        std::uint64_t dropped = 0;
        std::uint64_t sendErrors = 0;
    };
    VehicleTotals vehicleTotals() const;

    // Call before the QApplication exists: no display needed, and the links'
    // debug lines stay out of the figures.
    static void prepareProcess();

    // Empties the registry and joins every link thread.
    static void shutdown();

private:
    bool openUnicast(IOHandler *link, std::uint16_t localPort, std::uint16_t peerPort);
    // kind: an IOHandler::ConType.
    bool open(IOHandler *link, int kind, std::uint16_t localPort, std::uint16_t peerPort);
    void addVehicle();

    std::uint16_t gcsLocalPort = 0;
    QVector<std::uint16_t> vehicleLocalPorts;
};

} // namespace bench
