#include "link/iohandler.h"

#include "app/tapp.h"
#include "link/tlinkerrors.h"
#include "link/tlinknames.h"
#include "link/townendpoints.h"
#include "msg/tmsgmanager.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

IOHandler::IOHandler(int id, bool ownThread, QObject *parent)
    : IOHandler(id, ownThread, parent, StartLater)
{
    start();
}

IOHandler::IOHandler(int id, bool ownThread, QObject *parent, StartLaterTag)
    : QObject(parent), ownsThread(ownThread)
{
    deviceInfo.id = id;
    registerMetaTypes();
    // Made here rather than in init() so that a request sent while the
    // link's thread is still starting waits in its queue instead of being
    // lost; the thread runs init() before it serves any queued call.
    connect(this, &IOHandler::openDeviceSignal, this, &IOHandler::openDevice);
    connect(this, &IOHandler::sendBuffSignal, this, &IOHandler::sendData);
}

// Runs once the whole object is built, so that init() in the new thread
// never meets a half-constructed link.
void IOHandler::start()
{
    if (!ownsThread) {
        init();
        return;
    }
    preferPlainEventLoops();
    workerThread = new QThread;
    moveToThread(workerThread);
    connect(workerThread, &QThread::started, this, &IOHandler::init);
    connect(workerThread, &QThread::finished, workerThread, &QObject::deleteLater);
    workerThread->start(QThread::InheritPriority);
}

IOHandler::~IOHandler()
{
    qDebug() << "IOHandler delete: " << this << deviceInfo.id << name();
    // Errors raised while the devices go down must not reach a half-destroyed
    // link, and the timer must stop in the thread that started it.
    if (pollTimer)
        pollTimer->stop();
    releaseUdpEndpoints();
    if (udpSocket) {
        udpSocket->disconnect(this);
        udpSocket->abort();
        udpSocket->deleteLater();
    }
    if (serialPort) {
        serialPort->disconnect(this);
        if (serialPort->isOpen())
            closeSerialPort();
        serialPort->deleteLater();
    }
    if (workerThread)
        workerThread->quit();
}

void IOHandler::registerMetaTypes()
{
    qRegisterMetaType<QHostAddress>("QHostAddress");
    qRegisterMetaType<IOHandler::ConType>("IOHandler::ConType");
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
    qRegisterMetaType<IOHandler::DeviceInfo>("IOHandler::DeviceInfo");
}

IOHandler::DeviceInfo IOHandler::deviceFromVariant(const QVariant &device)
{
    const int type = qMetaTypeId<DeviceInfo>();
    if (device.userType() == type)
        return *static_cast<const DeviceInfo *>(device.constData());
    QVariant converted = device;
    if (converted.isValid() && converted.convert(type))
        return *static_cast<const DeviceInfo *>(converted.constData());
    return DeviceInfo{};
}

void IOHandler::preferPlainEventLoops()
{
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

bool IOHandler::isDefaultDevice(const QVariant &device)
{
    return device == QVariant(0);
}

void IOHandler::shutdown()
{
    QThread *thread = workerThread;
    if (!thread || thread == QThread::currentThread()) {
        deleteLater();
        return;
    }
    // The thread object is freed here, not by its own deferred deletion,
    // because no event loop may be left to run that.
    disconnect(thread, &QThread::finished, thread, &QObject::deleteLater);
    deleteLater();
    thread->wait();
    delete thread;
}

void IOHandler::init()
{
    qDebug() << "IOHandler init::" << this << deviceInfo.id << name() << QThread::currentThreadId()
             << thread();
    if (!udpSocket)
        createUdpSocket();
    if (!serialPort) {
        serialPort = new QSerialPort(this);
        connect(serialPort, &QSerialPort::errorOccurred, this, &IOHandler::onSerialError);
    }
    // Reading is driven by the devices themselves: a quiet or closed link
    // costs nothing. A datagram is read as soon as it arrives; serial bytes
    // are gathered for up to one poll interval after the first of a batch,
    // so what arrives within that time still goes on as one block.
    pollTimer = new QTimer(this);
    pollTimer->setInterval(pollIntervalMs);
    pollTimer->setSingleShot(true);
    connect(pollTimer, &QTimer::timeout, this, [this] { pollDevice(); });
    connect(serialPort, &QIODevice::readyRead, this, [this] {
        if (!pollTimer->isActive())
            pollTimer->start();
    });
}

bool IOHandler::openDevice(IOHandler::DeviceInfo device, bool isConFlag)
{
    if (device.id != deviceInfo.id)
        return false;
    deviceInfo.conType = device.conType;
    deviceInfo.serial = device.serial;
    deviceInfo.udp = device.udp;
    switch (device.conType) {
    case Serial:
        return openSerial(device.serial, isConFlag);
    case UdpUnicast:
        return openUdpUnicast(device.udp, isConFlag);
    case UdpMulticast:
        return openUdpMulticast(device.udp, isConFlag);
    default:
        return false;
    }
}

bool IOHandler::openSerial(const SerialInfo &serial, bool isConFlag)
{
    if (serialPort->isOpen()) {
        closeSerialPort();
        deviceInfo.conType = None;
    }
    // A link reads one device only: a socket still bound from an earlier UDP
    // open would otherwise keep its port without anyone reading it.
    if (udpSocket && udpSocket->state() == QAbstractSocket::BoundState) {
        releaseUdpEndpoints();
        udpSocket->abort();
        deviceInfo.conType = None;
    }
    if (!isConFlag) {
        deviceInfo.conType = None;
        emitEvent(LinkClosed);
        return false;
    }
    serialPort->setPortName(deviceName(serial));
    if (serial.baudRate != 0) {
        serialPort->setBaudRate(serial.baudRate, QSerialPort::AllDirections);
        serialPort->setDataBits(static_cast<QSerialPort::DataBits>(serial.dataBits));
        serialPort->setStopBits(static_cast<QSerialPort::StopBits>(serial.stopBits));
        serialPort->setParity(static_cast<QSerialPort::Parity>(serial.parity));
    } else {
        serialPort->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
        serialPort->setDataBits(QSerialPort::Data8);
        serialPort->setStopBits(QSerialPort::OneStop);
        serialPort->setParity(QSerialPort::NoParity);
    }
    serialBacklogReported = false;
    openFailure.clear();
    openingSerial = true;
    const bool opened = serialPort->open(QIODevice::ReadWrite);
    openingSerial = false;
    if (opened) {
        deviceInfo.conType = Serial;
        emitEvent(LinkOpened);
        return true;
    }
    return failOpen(openFailure.isEmpty()
                        ? TLinkErrors::serialFailed(serialPort->error(), serialPort->errorString(),
                                                    deviceName(serial))
                        : openFailure);
}

void IOHandler::createUdpSocket()
{
    udpSocket = new QUdpSocket(this);
    connect(udpSocket, &QAbstractSocket::errorOccurred, this, &IOHandler::onUdpError);
    connect(udpSocket, &QIODevice::readyRead, this, &IOHandler::pollDevice);
}

void IOHandler::releaseUdpEndpoints()
{
    TOwnEndpoints::instance().release(deviceInfo.id);
    loopGuard.reset();
    delete groupSender;
    groupSender = nullptr;
}

void IOHandler::releaseUdpSocket()
{
    releaseUdpEndpoints();
    // A socket keeps the first error it ever had and reports it for every
    // later failure too; a fresh one reports the failure that happens.
    if (udpSocket->error() != QAbstractSocket::UnknownSocketError) {
        delete udpSocket;
        createUdpSocket();
        deviceInfo.conType = None;
        return;
    }
    if (udpSocket->state() == QAbstractSocket::BoundState) {
        udpSocket->abort();
        deviceInfo.conType = None;
    }
}

bool IOHandler::openUdpUnicast(const UdpInfo &udp, bool isConFlag)
{
    if (serialPort->isOpen())
        openSerial(deviceInfo.serial, false);
    releaseUdpSocket();
    if (!isConFlag) {
        deviceInfo.conType = None;
        emitEvent(LinkClosed);
        return false;
    }
    // Text that is no address or no port reaches the link as a null address
    // or port 0, which would bind every interface or a random port: not
    // what the operator asked for.
    if (udp.localAddr.isNull())
        return failOpen(tr("invalid local address"));
    if (udp.localPort == 0)
        return failOpen(tr("invalid local port"));
    TOwnEndpoints &own = TOwnEndpoints::instance();
    const QString clash = own.claim(
        deviceInfo.id, {false, udp.localAddr, udp.localPort, udp.remoteAddr, udp.remotePort});
    if (!clash.isEmpty())
        return failOpen(clash);
    if (!udpSocket->bind(udp.localAddr, udp.localPort)) {
        own.release(deviceInfo.id);
        return failOpen(TLinkErrors::bindFailed(*udpSocket, udp.localAddr, udp.localPort));
    }
    own.addSender(deviceInfo.id, udp.localAddr, udp.localPort);
    raiseReceiveBuffer();
    deviceInfo.conType = UdpUnicast;
    deviceInfo.udp = udp;
    emitEvent(LinkOpened);
    return true;
}

bool IOHandler::openUdpMulticast(const UdpInfo &udp, bool isConFlag)
{
    if (serialPort->isOpen())
        openSerial(deviceInfo.serial, false);
    if (udpSocket->state() == QAbstractSocket::BoundState)
        udpSocket->leaveMulticastGroup(udp.localAddr);
    releaseUdpSocket();
    if (!isConFlag) {
        deviceInfo.conType = None;
        emitEvent(LinkClosed);
        return false;
    }
    if (udp.localPort == 0)
        return failOpen(tr("invalid group port"));
    const QString clash = TOwnEndpoints::instance().claim(
        deviceInfo.id, {true, udp.localAddr, udp.localPort, QHostAddress(), 0});
    if (!clash.isEmpty())
        return failOpen(clash);
    const QHostAddress any(QHostAddress::AnyIPv4);
    if (!udpSocket->bind(any, udp.localPort,
                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        releaseUdpEndpoints();
        return failOpen(TLinkErrors::bindFailed(*udpSocket, any, udp.localPort));
    }
    raiseReceiveBuffer();
    udpSocket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    udpSocket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, udp.loopBack ? 1 : 0);
    udpSocket->setMulticastInterface(udp.netInterface);
    if (!udpSocket->joinMulticastGroup(udp.localAddr, udp.netInterface)) {
        // A bound socket that is no group member would look open and hear
        // nothing: report it as the failed open it is.
        const QString text = TLinkErrors::joinFailed(*udpSocket, udp.localAddr, udp.netInterface);
        releaseUdpEndpoints();
        udpSocket->abort();
        return failOpen(text);
    }
    if (!openGroupSender(udp)) {
        const QString text = TLinkErrors::bindFailed(*groupSender, any, 0);
        releaseUdpEndpoints();
        udpSocket->abort();
        return failOpen(text);
    }
    qDebug() << "link" << name() << "multicast joined" << udp.localAddr.toString() << udp.localPort
             << udp.netInterface.humanReadableName();
    deviceInfo.conType = UdpMulticast;
    deviceInfo.udp = udp;
    emitEvent(LinkOpened);
    return true;
}

// The group hears this link from a port of its own, which is how every
// link of the relay knows the datagram for one of its own.
bool IOHandler::openGroupSender(const UdpInfo &udp)
{
    groupSender = new QUdpSocket(this);
    if (!groupSender->bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return false;
    groupSender->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    groupSender->setSocketOption(QAbstractSocket::MulticastLoopbackOption, udp.loopBack ? 1 : 0);
    groupSender->setMulticastInterface(udp.netInterface);
    TOwnEndpoints::instance().addSender(deviceInfo.id, QHostAddress(QHostAddress::AnyIPv4),
                                        groupSender->localPort());
    return true;
}

// A burst arriving between two polls must fit into the socket until the next
// tick drains it; the default buffer holds only a few hundred small datagrams.
void IOHandler::raiseReceiveBuffer()
{
    udpSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                               udpReceiveBufferBytes);
    // The kernel trims the request silently (Linux caps it at
    // net.core.rmem_max, then doubles it for its own bookkeeping), so say
    // what the socket really got.
    qDebug() << "link" << name() << "receive buffer"
             << udpSocket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt()
             << "bytes, asked for" << udpReceiveBufferBytes;
}

void IOHandler::emitEvent(int event)
{
    // Every change of the link's own record is followed by an event.
    packedDevice = QVariant();
    emit TApp::instance()->TAppEvent(event, deviceInfo.id, QVariant::fromValue(deviceInfo));
}

void IOHandler::pollDevice()
{
    if (busy)
        return;
    busy = true;
    if (deviceInfo.conType == UdpUnicast || deviceInfo.conType == UdpMulticast) {
        // What is left after one bounded drain is read on the next turn of
        // the event loop, after the sends queued meanwhile.
        if (readDatagrams() == maxDatagramsPerPoll && udpSocket->hasPendingDatagrams())
            QMetaObject::invokeMethod(this, &IOHandler::pollDevice, Qt::QueuedConnection);
    } else {
        const qint64 n = availableBytes();
        if (n > 0)
            emit recIoBuff(readBytes(n), QVariant::fromValue(deviceInfo));
    }
    busy = false;
}

// Datagrams are taken by pending datagram, not by available bytes: a
// zero-length datagram reports no bytes and would otherwise block every
// datagram queued behind it for good.
int IOHandler::readDatagrams()
{
    int count = 0;
    QHostAddress sender;
    quint16 senderPort = 0;
    for (; count < maxDatagramsPerPoll && udpSocket; ++count) {
        const qint64 size = udpSocket->pendingDatagramSize();
        if (size < 0)
            break;
        QByteArray data(int(size), Qt::Uninitialized);
        const qint64 read = udpSocket->readDatagram(data.data(), size, &sender, &senderPort);
        if (read < 0)
            break;
        data.resize(int(read));
        if (!passes(data, sender, senderPort))
            continue;
        if (!sender.isNull() &&
            (senderPort != deviceInfo.udp.remotePort || sender != deviceInfo.udp.remoteAddr)) {
            deviceInfo.udp.remoteAddr = sender;
            deviceInfo.udp.remotePort = senderPort;
            packedDevice = QVariant();
        }
        // One packed record serves every datagram from the same sender.
        if (!packedDevice.isValid())
            packedDevice = QVariant::fromValue(deviceInfo);
        emit recIoBuff(data, packedDevice);
    }
    return count;
}

// What this process sent itself never goes round again, and neither does a
// block that keeps coming back through someone else.
bool IOHandler::passes(const QByteArray &data, const QHostAddress &sender, quint16 senderPort)
{
    if (TOwnEndpoints::instance().isOwnSender(sender, senderPort)) {
        ownDropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const TLoopGuard::Verdict verdict = loopGuard.check(data);
    if (verdict == TLoopGuard::DropLoopFound) {
        const bool group = deviceInfo.conType == UdpMulticast;
        const QString where = QStringLiteral("%1:%2")
                                  .arg((group ? deviceInfo.udp.localAddr : sender).toString())
                                  .arg(group ? deviceInfo.udp.localPort : senderPort);
        qDebug() << "link" << name() << "drops blocks it sent itself, coming back from" << where;
        reportLinkError(tr("possible loop through %1").arg(where));
    }
    return verdict == TLoopGuard::Pass;
}

qint64 IOHandler::availableBytes()
{
    switch (deviceInfo.conType) {
    case Serial:
        if (serialPort && serialPort->isReadable())
            return qMax<qint64>(serialPort->bytesAvailable(), 0);
        return 0;
    case UdpUnicast:
    case UdpMulticast:
        return udpSocket ? qMax<qint64>(udpSocket->bytesAvailable(), 0) : 0;
    default:
        return 0;
    }
}

QByteArray IOHandler::readBytes(qint64 n)
{
    if (deviceInfo.conType == Serial)
        return serialPort && serialPort->isOpen() ? serialPort->read(n) : QByteArray();
    return QByteArray();
}

void IOHandler::sendData(QByteArray b, QVariant device)
{
    DeviceInfo given{};
    const bool own = isDefaultDevice(device);
    if (!own)
        given = deviceFromVariant(device);
    const DeviceInfo &target = own ? deviceInfo : given;
    QMutexLocker locker(&mutex);
    switch (target.conType) {
    case Serial:
        if (serialPort && serialPort->isOpen())
            writeSerial(b);
        break;
    case UdpUnicast:
        if (udpSocket)
            udpSocket->writeDatagram(b, target.udp.remoteAddr, target.udp.remotePort);
        break;
    case UdpMulticast: {
        QUdpSocket *out = groupSender ? groupSender : udpSocket;
        if (out && out->writeDatagram(b, target.udp.localAddr, target.udp.localPort) == -1)
            qDebug() << "send error";
        break;
    }
    default:
        break;
    }
}

// The port writes from the link's event loop as the device takes bytes, so a
// far end that stops reading never stalls the link; what it cannot take is
// kept up to a bound and beyond that dropped, and the operator is told.
void IOHandler::writeSerial(const QByteArray &b)
{
    if (serialPort->bytesToWrite() + b.size() > maxSerialBacklogBytes) {
        qDebug() << "link" << name() << "serial backlog full, block of" << b.size()
                 << "bytes dropped";
        if (!serialBacklogReported)
            reportLinkError(tr("serial port %1 does not take data, blocks dropped")
                                .arg(serialPort->portName()));
        serialBacklogReported = true;
        return;
    }
    serialBacklogReported = false;
    serialPort->write(b);
}

void IOHandler::closeSerialPort()
{
    // A device that has gone away fails again while it is closed; that is no
    // news, and handling it would close it once more.
    closingSerial = true;
    // Bytes the device never took would otherwise hold up the close.
    if (serialPort->bytesToWrite() > 0)
        serialPort->clear(QSerialPort::Output);
    serialPort->close();
    closingSerial = false;
}

QString IOHandler::name() const
{
    return TLinkNames::rowName(deviceInfo.id);
}

void IOHandler::reportLinkError(const QString &text)
{
    emit TApp::instance()->TAppEvent(LinkError, deviceInfo.id, QVariant(text));
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

// Failed binds and joins are told by the open they belong to; an error of a
// socket that is open (a send that went nowhere) is no news for the operator.
void IOHandler::onUdpError(QAbstractSocket::SocketError error)
{
    qDebug() << QStringLiteral("link rec udp error, id: %1 (%2), ip: %3, port: %4")
                    .arg(deviceInfo.id)
                    .arg(name(), deviceInfo.udp.localAddr.toString())
                    .arg(deviceInfo.udp.localPort)
             << error;
}

void IOHandler::onSerialError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || closingSerial)
        return;
    const QString text =
        TLinkErrors::serialFailed(error, serialPort->errorString(), deviceName(deviceInfo.serial));
    qDebug() << QStringLiteral("link rec serial error, id: %1 (%2), port: %3")
                    .arg(deviceInfo.id)
                    .arg(name(), deviceInfo.serial.portName)
             << error;
    // Some devices fail more than once while one open runs; the operator
    // pressed Connect once and hears about it once, from the failed open.
    if (openingSerial) {
        if (openFailure.isEmpty())
            openFailure = text;
        return;
    }
    reportLinkError(text);
    openSerial(deviceInfo.serial, false);
}
