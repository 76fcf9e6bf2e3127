#include "relayharness.h"

#include "link/iohandler.h"
#include "link/tlinkevents.h"
#include "link/tlinkmanager.h"
#include "link/tlinkthread.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"
#include "session/tapp.h"
#include "udppeer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace bench {

namespace {
constexpr int kGcsId = 5;

// Waits until the link's thread has run init(), so requests reach it.
void waitUntilRunning(IOHandler *link)
{
    QMetaObject::invokeMethod(
        link, [] {}, Qt::BlockingQueuedConnection);
}
} // namespace

RelayHarness::RelayHarness()
{
    // As the program does, so that the links cost what they cost there.
    TLinkThread::preferPlainEventLoops();
    auto *registry = TLinkManager::instance();
    if (!registry->getLink(kGcsId)) {
        auto *gcs = new TGcsPtl(kGcsId, true);
        waitUntilRunning(gcs);
        registry->addLink(kGcsId, gcs);
    }
}

RelayHarness::~RelayHarness()
{
    removeAllVehicles();
}

int RelayHarness::vehicleCount() const
{
    return TLinkManager::instance()->uavList().size();
}

RelayHarness::VehicleTotals RelayHarness::vehicleTotals() const
{
    VehicleTotals totals;
    for (IOHandler *link : TLinkManager::instance()->uavList()) {
        const TLinkCounters::Snapshot s = link->countersSnapshot();
        totals.reconnects += s.reconnects;
        totals.dropped += s.dropped;
        totals.sendErrors += s.sendErrors;
    }
    return totals;
}

void RelayHarness::addVehicle()
{
    auto *registry = TLinkManager::instance();
    const int id = 10 + registry->uavList().size();
    auto *uav = new TUavPtl(id, true);
    waitUntilRunning(uav);
    registry->addVehicle(id, uav);
}

void RelayHarness::addClosedVehicles(int n)
{
    for (int i = 0; i < n; ++i)
        addVehicle();
}

void RelayHarness::removeAllVehicles()
{
    auto *registry = TLinkManager::instance();
    while (registry->removeLastVehicle()) {
    }
    vehicleLocalPorts.clear();
    QCoreApplication::processEvents();
}

bool RelayHarness::openUnicast(IOHandler *link, std::uint16_t localPort, std::uint16_t peerPort)
{
    return open(link, IOHandler::UdpUnicast, localPort, peerPort);
}

bool RelayHarness::openGcsTcpServer()
{
    gcsLocalPort = freeLoopbackPort();
    return open(TLinkManager::instance()->getLink(kGcsId), IOHandler::TcpServer, gcsLocalPort, 0);
}

bool RelayHarness::setTcpVehicle(std::uint16_t serverPort)
{
    return setTcpVehicles({serverPort});
}

bool RelayHarness::setTcpVehicles(const QVector<std::uint16_t> &serverPorts)
{
    removeAllVehicles();
    for (int i = 0; i < serverPorts.size(); ++i) {
        addVehicle();
        vehicleLocalPorts.append(0);
        if (!open(TLinkManager::instance()->getLink(10 + i), IOHandler::TcpClient, 0,
                  serverPorts[i]))
            return false;
    }
    return true;
}

bool RelayHarness::open(IOHandler *link, int kind, std::uint16_t localPort, std::uint16_t peerPort)
{
    IOHandler::DeviceInfo device{};
    device.id = link->getDevice().id;
    device.conType = IOHandler::ConType(kind);
    device.udp.localAddr = QHostAddress(QHostAddress::LocalHost);
    device.udp.localPort = localPort;
    device.udp.remoteAddr = QHostAddress(QHostAddress::LocalHost);
    device.udp.remotePort = peerPort;

    QEventLoop loop;
    int outcome = 0;
    QObject context;
    QObject::connect(TLinkEvents::instance(), &TLinkEvents::linkEvent, &context,
                     [&](int event, int, QVariant var) {
                         if (IOHandler::deviceFromVariant(var).id != device.id)
                             return;
                         if (event == IOHandler::LinkOpened || event == IOHandler::LinkOpenFailed) {
                             outcome = event;
                             loop.quit();
                         }
                     });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    emit link->openDeviceSignal(device, true);
    loop.exec();
    return outcome == IOHandler::LinkOpened;
}

bool RelayHarness::openGcs(std::uint16_t peerPort)
{
    gcsLocalPort = freeLoopbackPort();
    return openUnicast(TLinkManager::instance()->getLink(kGcsId), gcsLocalPort, peerPort);
}

bool RelayHarness::setVehicles(const QVector<std::uint16_t> &peerPorts)
{
    removeAllVehicles();
    for (int i = 0; i < peerPorts.size(); ++i) {
        addVehicle();
        const std::uint16_t port = freeLoopbackPort();
        if (!openUnicast(TLinkManager::instance()->getLink(10 + i), port, peerPorts[i]))
            return false;
        vehicleLocalPorts.append(port);
    }
    return true;
}

void RelayHarness::prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "default.debug=false");
}

void RelayHarness::shutdown()
{
    TLinkManager::instance()->shutdownAll();
}

} // namespace bench
