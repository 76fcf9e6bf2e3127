#include "link/tudpendpoint.h"

#include "link/tlinkerrors.h"
#include "link/tlinknames.h"
#include "link/townendpoints.h"

#include <QScopedValueRollback>
#include <QVarLengthArray>

TUdpEndpoint::TUdpEndpoint(int linkId, IOHandler::ConType kind, TLoopGuard &loopGuard,
                           std::atomic<quint64> &ownDropped, Sink sink, QObject *parent)
    : TEndpoint(linkId, std::move(sink), parent), kind(kind), loopGuard(loopGuard),
      ownDropped(ownDropped)
{
    createSocket();
}

bool TUdpEndpoint::open(const IOHandler::DeviceInfo &device, QString &failure)
{
    release();
    opened = device.udp;
    return kind == IOHandler::UdpMulticast ? openMulticast(device.udp, failure)
                                           : openUnicast(device.udp, failure);
}

bool TUdpEndpoint::reopen(IOHandler::DeviceInfo &device, QString &failure)
{
    if (kind != IOHandler::UdpMulticast)
        return open(device, failure);
    return rejoin(device.udp, failure);
}

TEndpoint::Outcome TUdpEndpoint::send(const QByteArray &b, const IOHandler::DeviceInfo &target)
{
    switch (target.conType) {
    case IOHandler::UdpUnicast:
        return socket->writeDatagram(b, target.udp.remoteAddr, target.udp.remotePort) != -1
                   ? Outcome::Taken
                   : Outcome::Failed;
    case IOHandler::UdpMulticast: {
        QUdpSocket *out = groupSender ? groupSender : socket;
        if (out->writeDatagram(b, target.udp.localAddr, target.udp.localPort) != -1)
            return Outcome::Taken;
        qDebug() << "send error";
        return Outcome::Failed;
    }
    default:
        return Outcome::Failed;
    }
}

void TUdpEndpoint::sendBatch(const TSendQueue::Block *blocks, int count,
                             const IOHandler::DeviceInfo &target, Outcome *outcomes)
{
    if (target.conType != IOHandler::UdpUnicast) {
        TEndpoint::sendBatch(blocks, count, target, outcomes);
        return;
    }
    QVarLengthArray<bool, 256> sent(count);
    TDatagramBatch::send(*socket, blocks, count, target.udp.remoteAddr, target.udp.remotePort,
                         sent.data());
    for (int i = 0; i < count; ++i)
        outcomes[i] = sent[i] ? Outcome::Taken : Outcome::Failed;
}

TUdpEndpoint::~TUdpEndpoint()
{
    // Errors raised while the socket goes down must not reach a link that
    // is being destroyed. A closed endpoint has given its claims up, and the
    // link's next endpoint may hold claims under the same id by now.
    if (state != State::Closed)
        releaseClaims();
    socket->disconnect(this);
    socket->abort();
}

void TUdpEndpoint::createSocket()
{
    socket = new QUdpSocket(this);
    connect(socket, &QAbstractSocket::errorOccurred, this, &TUdpEndpoint::onError);
    // A datagram is read as soon as it arrives: a quiet link costs nothing.
    connect(socket, &QIODevice::readyRead, this, &TUdpEndpoint::drain);
}

void TUdpEndpoint::releaseClaims()
{
    TOwnEndpoints::instance().release(linkId);
    loopGuard.reset();
    delete groupSender;
    groupSender = nullptr;
}

void TUdpEndpoint::close()
{
    if (state == State::Multicast)
        socket->leaveMulticastGroup(opened.localAddr);
    release();
}

void TUdpEndpoint::release()
{
    releaseClaims();
    state = State::Closed;
    // A socket keeps the first error it ever had and reports it for every
    // later failure too; a fresh one reports the failure that happens.
    if (socket->error() != QAbstractSocket::UnknownSocketError) {
        delete socket;
        createSocket();
        return;
    }
    if (socket->state() == QAbstractSocket::BoundState)
        socket->abort();
}

bool TUdpEndpoint::openUnicast(const IOHandler::UdpInfo &udp, QString &failure)
{
    failure = TLinkErrors::localInvalid(udp);
    if (!failure.isEmpty())
        return false;
    TOwnEndpoints &own = TOwnEndpoints::instance();
    failure =
        own.claim(linkId, {false, udp.localAddr, udp.localPort, udp.remoteAddr, udp.remotePort});
    if (!failure.isEmpty())
        return false;
    if (!socket->bind(udp.localAddr, udp.localPort)) {
        own.release(linkId);
        failure = TLinkErrors::bindFailed(*socket, udp.localAddr, udp.localPort);
        return false;
    }
    own.addSender(linkId, udp.localAddr, udp.localPort);
    raiseReceiveBuffer();
    state = State::Unicast;
    return true;
}

bool TUdpEndpoint::openMulticast(const IOHandler::UdpInfo &udp, QString &failure)
{
    lastJoinFailed = false;
    if (udp.localPort == 0) {
        failure = IOHandler::tr("invalid group port");
        return false;
    }
    failure = TOwnEndpoints::instance().claim(
        linkId, {true, udp.localAddr, udp.localPort, QHostAddress(), 0});
    if (!failure.isEmpty())
        return false;
    const QHostAddress any(QHostAddress::AnyIPv4);
    if (!socket->bind(any, udp.localPort,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        releaseClaims();
        failure = TLinkErrors::bindFailed(*socket, any, udp.localPort);
        return false;
    }
    raiseReceiveBuffer();
    socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, udp.loopBack ? 1 : 0);
    socket->setMulticastInterface(udp.netInterface);
    // A bound socket that is no group member would look open and hear
    // nothing: that is a failed open.
    lastJoinFailed = !socket->joinMulticastGroup(udp.localAddr, udp.netInterface);
    if (lastJoinFailed)
        failure = TLinkErrors::joinFailed(*socket, udp.localAddr, udp.netInterface);
    else if (!openGroupSender(udp))
        failure = TLinkErrors::bindFailed(*groupSender, any, 0);
    if (!failure.isEmpty()) {
        close();
        return false;
    }
    qDebug() << "link" << name() << "multicast joined" << udp.localAddr.toString() << udp.localPort
             << udp.netInterface.humanReadableName();
    state = State::Multicast;
    return true;
}

bool TUdpEndpoint::rejoin(IOHandler::UdpInfo &udp, QString &failure)
{
    IOHandler::UdpInfo now = udp;
    const QNetworkInterface found = QNetworkInterface::interfaceFromName(udp.netInterface.name());
    if (found.isValid())
        now.netInterface = found;
    release();
    opened = now;
    if (!openMulticast(now, failure)) {
        release();
        return false;
    }
    udp = now;
    return true;
}

// The group hears this link from a port of its own, which is how every
// link of the relay knows the datagram for one of its own.
bool TUdpEndpoint::openGroupSender(const IOHandler::UdpInfo &udp)
{
    groupSender = new QUdpSocket(this);
    if (!groupSender->bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return false;
    groupSender->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    groupSender->setSocketOption(QAbstractSocket::MulticastLoopbackOption, udp.loopBack ? 1 : 0);
    groupSender->setMulticastInterface(udp.netInterface);
    TOwnEndpoints::instance().addSender(linkId, QHostAddress(QHostAddress::AnyIPv4),
                                        groupSender->localPort());
    return true;
}

// A burst arriving between two polls must fit into the socket until the next
// tick drains it; the default buffer holds only a few hundred small datagrams.
void TUdpEndpoint::raiseReceiveBuffer()
{
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            IOHandler::udpReceiveBufferBytes);
    // The kernel trims the request silently (Linux caps it at
    // net.core.rmem_max, then doubles it for its own bookkeeping), so say
    // what the socket really got.
    qDebug() << "link" << name() << "receive buffer"
             << socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt()
             << "bytes, asked for" << IOHandler::udpReceiveBufferBytes;
}

void TUdpEndpoint::drain()
{
    // The link reads only the device its record names; and a datagram
    // handed on may run the event loop, which must not start a second
    // drain inside this one.
    if (draining || state == State::Closed)
        return;
    QScopedValueRollback<bool> guard(draining, true);
    // What is left after one bounded drain is read on the next turn of the
    // event loop, after the sends queued meanwhile.
    if (readDatagrams() == IOHandler::maxDatagramsPerPoll && socket->hasPendingDatagrams())
        QMetaObject::invokeMethod(this, &TUdpEndpoint::drain, Qt::QueuedConnection);
}

int TUdpEndpoint::readDatagrams()
{
    return reader.read(*socket, IOHandler::maxDatagramsPerPoll,
                       [this](const QByteArray &data, const QHostAddress &sender, quint16 port) {
                           if (passes(data, sender, port))
                               sink.received(data, sender, port);
                           // A block handed on may have closed the link.
                           return state != State::Closed;
                       });
}

// What this process sent itself never goes round again, and neither does a
// block that keeps coming back through someone else.
bool TUdpEndpoint::passes(const QByteArray &data, const QHostAddress &sender, quint16 senderPort)
{
    if (TOwnEndpoints::instance().isOwnSender(sender, senderPort)) {
        ownDropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const TLoopGuard::Verdict verdict = loopGuard.check(data);
    if (verdict == TLoopGuard::DropLoopFound) {
        const bool group = state == State::Multicast;
        const QString where = QStringLiteral("%1:%2")
                                  .arg((group ? opened.localAddr : sender).toString())
                                  .arg(group ? opened.localPort : senderPort);
        qDebug() << "link" << name() << "drops blocks it sent itself, coming back from" << where;
        sink.warn(IOHandler::tr("possible loop through %1").arg(where));
    }
    return verdict == TLoopGuard::Pass;
}

// Failed binds and joins are told by the open they belong to; an error of a
// socket that is open (a send that went nowhere) is no news for the operator.
void TUdpEndpoint::onError(QAbstractSocket::SocketError error)
{
    qDebug() << QStringLiteral("link rec udp error, id: %1 (%2), ip: %3, port: %4")
                    .arg(linkId)
                    .arg(name(), opened.localAddr.toString())
                    .arg(opened.localPort)
             << error;
}

QString TUdpEndpoint::name() const
{
    return TLinkNames::rowName(linkId);
}
