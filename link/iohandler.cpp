#include "link/iohandler.h"

#include "capture/tcapturetap.h"
#include "link/tdevicerecord.h"
#include "link/tlinkerrors.h"
#include "link/tlinkevents.h"
#include "link/tlinknames.h"
#include "link/tlinksender.h"
#include "link/tlinktap.h"
#include "link/tlinkthread.h"
#include "link/tpeerrule.h"
#include "link/treconnect.h"
#include "link/tserialendpoint.h"
#include "link/ttcpclientendpoint.h"
#include "link/ttcpserverendpoint.h"
#include "link/tudpendpoint.h"
#include "msg/tmsgmanager.h"

#include <QDebug>
#include <QSerialPort>
#include <QThread>

IOHandler::IOHandler(int id, bool ownThread, QObject *parent)
    : IOHandler(id, ownThread, parent, StartLater)
{
    start();
}

IOHandler::IOHandler(int id, bool ownThread, QObject *parent, StartLaterTag)
    : QObject(parent), tap(std::make_unique<TLinkTap>()),
      sendPath(std::make_unique<TLinkSender>(deviceInfo, linkCounters, *tap, operatorNews())),
      ownsThread(ownThread)
{
    deviceInfo.id = id;
    registerMetaTypes();
    // Made here rather than in init() so that a request sent while the
    // link's thread is still starting waits in its queue instead of being
    // lost; the thread runs init() before it serves any queued call.
    connect(this, &IOHandler::openDeviceSignal, this, &IOHandler::openDevice);
    // Direct: the emitting thread queues the block itself, and the link's
    // thread is woken once for a whole fan-out rather than once per block.
    connect(this, &IOHandler::sendBuffSignal, this, &IOHandler::queueSend, Qt::DirectConnection);
}

// Runs once the whole object is built, so that init() in the new thread
// never meets a half-constructed link.
void IOHandler::start()
{
    if (!ownsThread) {
        init();
        return;
    }
    workerThread = TLinkThread::start(this, [this] { init(); });
}

IOHandler::~IOHandler()
{
    qDebug() << "IOHandler delete: " << this << deviceInfo.id << name();
    // Its device goes down silently, before the record and counters do.
    sendPath->setEndpoint(nullptr);
    sendPath->setSpare(nullptr);
    delete endpoint;
    delete spare;
    if (workerThread)
        workerThread->quit();
}

void IOHandler::registerMetaTypes()
{
    TDeviceRecord::registerMetaTypes();
}

IOHandler::DeviceInfo IOHandler::deviceFromVariant(const QVariant &device)
{
    return TDeviceRecord::fromVariant(device);
}

void IOHandler::shutdown()
{
    TLinkThread::stop(this, workerThread);
}

void IOHandler::init()
{
    qDebug() << "IOHandler init::" << this << deviceInfo.id << name() << QThread::currentThreadId()
             << thread();
    if (!spare) {
        // Never opened, so it reads nothing: it only sends to records
        // callers give, as an unbound socket can.
        spare = makeEndpoint(UdpUnicast);
        sendPath->setSpare(spare);
    }
    // A flush that stops early to let the socket be read wakes itself again.
    wakeUp.attach(this, [this] {
        if (sendPath->flush() == TLinkSender::Flush::More)
            wakeUp.wake();
    });
    delayLine.attach(this, [this](const std::vector<TDelayLine::Block> &due, qint64 now) {
        leaveDelayLine(due, now);
    });
    if (!reconnect)
        reconnect = new TReconnect(
            deviceInfo,
            [this] {
                sendPath->setEndpoint(endpoint);
                linkCounters.reconnected();
                qDebug() << "link" << name() << "is back";
                emitEvent(LinkOpened);
            },
            this);
}

bool IOHandler::openDevice(IOHandler::DeviceInfo device, bool isConFlag)
{
    if (device.id != deviceInfo.id)
        return false;
    // Whatever is asked now replaces a wait for a lost device.
    reconnect->stop();
    deviceInfo.conType = device.conType;
    deviceInfo.serial = device.serial;
    deviceInfo.udp = device.udp;
    const ConType kind = device.conType;
    // A client always waits for a peer that is not there.
    deviceInfo.reconnect = device.reconnect || kind == TcpClient;
    if (kind < Serial || kind > TcpServer)
        return false;
    // A link reads one device only: whatever it held before is let go first,
    // or a socket still bound would keep its port without anyone reading it.
    // A serial port given up for a socket is told closed, as it always was.
    const bool serialGoes = endpoint && endpoint->sends(Serial) && endpoint->isOpen();
    dropEndpoint();
    if (serialGoes && kind != Serial) {
        closed();
        deviceInfo.conType = kind;
    }
    if (!isConFlag)
        return closed();
    endpoint = makeEndpoint(kind);
    QString failure;
    if (!endpoint->open(deviceInfo, failure)) {
        // An interface that is down or not there yet may come.
        if (!deviceInfo.reconnect || !endpoint->mayComeBack())
            return failOpen(failure);
        reportLinkError(failure);
        waitForDevice(kind);
        return false;
    }
    deviceInfo.conType = kind;
    if (kind != Serial)
        TPeerRule::noteOpened(deviceInfo, name(), linkCounters);
    sendPath->setEndpoint(endpoint);
    const bool datagrams = kind == UdpUnicast || kind == UdpMulticast;
    gathering.note(datagrams && deviceInfo.id != TLinkNames::gcsLinkId
                       ? TStreamGathering::Sends::Datagrams
                       : TStreamGathering::Sends::Streams);
    emitEvent(LinkOpened);
    return true;
}

// The one place a kind of link is turned into its device.
TEndpoint *IOHandler::makeEndpoint(ConType kind)
{
    const auto received = kind == Serial ? &IOHandler::onSerialBlock : &IOHandler::onDatagram;
    TEndpoint::Sink sink{[this, received](const QByteArray &data, const QHostAddress &sender,
                                          quint16 port) { (this->*received)(data, sender, port); },
                         operatorNews(), [this](const QString &text) { onDeviceLost(text); }};
    if (kind == Serial)
        return new TSerialEndpoint(deviceInfo.id, std::move(sink), this);
    if (kind == TcpClient)
        return new TTcpClientEndpoint(deviceInfo.id, *tap, loopGuard, std::move(sink), this);
    if (kind == TcpServer)
        return new TTcpServerEndpoint(deviceInfo.id, linkCounters, *tap, loopGuard, std::move(sink),
                                      this);
    return new TUdpEndpoint(deviceInfo.id, kind, loopGuard, ownDropped, std::move(sink), this);
}

void IOHandler::dropEndpoint()
{
    if (!endpoint)
        return;
    sendPath->setEndpoint(nullptr);
    gathering.note(TStreamGathering::Sends::Streams);
    endpoint->close();
    // Later: a device lost tells so from inside its own handler.
    endpoint->deleteLater();
    endpoint = nullptr;
}

void IOHandler::onSerialBlock(const QByteArray &b, const QHostAddress &, quint16)
{
    linkCounters.received(b.size());
    if (TCaptureTap::on())
        tap->serialIn(deviceInfo, b);
    emit recIoBuff(b, QVariant::fromValue(deviceInfo));
}

void IOHandler::onDeviceLost(const QString &text)
{
    reportLinkError(text);
    if (deviceInfo.reconnect) {
        waitForDevice(deviceInfo.conType);
        return;
    }
    dropEndpoint();
    closed();
}

void IOHandler::waitForDevice(ConType kind)
{
    // The endpoint stays, closed, for the tries; nothing is sent meanwhile.
    sendPath->setEndpoint(nullptr);
    // Told while the record still names the kind awaited: a port, or a peer.
    emitEvent(LinkWaiting);
    reconnect->waitFor(*endpoint, kind);
    qDebug() << "link" << name() << "waiting for its device to come back";
}

// A close request is answered with the closed event whether or not anything
// was open: the form takes its lock state from the events.
bool IOHandler::closed()
{
    deviceInfo.conType = None;
    emitEvent(LinkClosed);
    return false;
}

void IOHandler::emitEvent(int event)
{
    // Every change of the link's own record is followed by an event.
    packedDevice = QVariant();
    emit TLinkEvents::instance()->linkEvent(event, deviceInfo.id, QVariant::fromValue(deviceInfo));
}

// The forwarding path: called for every datagram, so the record is packed
// once for each sender rather than once for each datagram.
void IOHandler::onDatagram(const QByteArray &data, const QHostAddress &sender, quint16 senderPort)
{
    switch (TPeerRule::hear(deviceInfo, sender, senderPort, linkCounters)) {
    case TPeerRule::Verdict::Foreign:
        return;
    case TPeerRule::Verdict::Moved:
        packedDevice = QVariant();
        break;
    case TPeerRule::Verdict::Same:
        break;
    }
    if (!packedDevice.isValid())
        packedDevice = QVariant::fromValue(deviceInfo);
    linkCounters.received(data.size());
    if (TCaptureTap::on() && deviceInfo.conType < TcpClient)
        tap->udpIn(deviceInfo, sender, senderPort, data);
    emit recIoBuff(data, packedDevice);
}

void IOHandler::sendData(QByteArray b, QVariant device)
{
    sendPath->send(b, device);
}

void IOHandler::setSendLimits(const TSendLimits &limits)
{
    sendPath->setLimits(limits);
}

void IOHandler::leaveDelayLine(const std::vector<TDelayLine::Block> &due, qint64 nowUs)
{
    if (sendPath->sendDelayed(due, nowUs))
        wakeUp.wake();
}

void IOHandler::queueSend(const QByteArray &b, const QVariant &device)
{
    if (sendPath->take(b, device, QThread::currentThread() == thread()))
        wakeUp.wake();
}

QString IOHandler::name() const
{
    return TLinkNames::rowName(deviceInfo.id);
}

void IOHandler::reportLinkError(const QString &text)
{
    linkCounters.noteError(text);
    emit TLinkEvents::instance()->linkEvent(LinkError, deviceInfo.id, QVariant(text));
    emit TMsgManager::instance()->showMsg(deviceInfo.id, BoxMsg, Warn,
                                          TLinkErrors::forRow(deviceInfo.id, text));
}

// Every open that fails ends here: the operator hears of it once, with the
// row and the reason, and the form learns that the link stays closed.
bool IOHandler::failOpen(const QString &text)
{
    qDebug() << "link" << name() << "open failed:" << text;
    deviceInfo.conType = None;
    reportLinkError(text);
    emitEvent(LinkOpenFailed);
    return false;
}
