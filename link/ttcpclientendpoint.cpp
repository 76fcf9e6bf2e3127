#include "link/ttcpclientendpoint.h"

#include "link/tendpointtext.h"
#include "link/tlinknames.h"
#include "link/tloopguard.h"
#include "link/townendpoints.h"
#include "link/ttcpconnection.h"

#include <QDebug>
#include <QTcpSocket>

TTcpClientEndpoint::TTcpClientEndpoint(int linkId, TLinkTap &tap, TLoopGuard &loopGuard, Sink sink,
                                       QObject *parent)
    : TEndpoint(linkId, std::move(sink), parent), tap(tap), loopGuard(loopGuard)
{
}

TTcpClientEndpoint::~TTcpClientEndpoint()
{
    if (state != State::Closed)
        TOwnEndpoints::instance().release(linkId);
    delete connection;
    delete connecting;
}

bool TTcpClientEndpoint::open(const IOHandler::DeviceInfo &device, QString &failure)
{
    close();
    opened = device;
    // A try after a loss gets the record while it names no kind.
    opened.conType = IOHandler::TcpClient;
    const IOHandler::UdpInfo &udp = device.udp;
    state = State::Refused;
    if (udp.remoteAddr.isNull() || udp.remoteAddr.protocol() != QAbstractSocket::IPv4Protocol) {
        failure = IOHandler::tr("invalid remote address");
        return false;
    }
    if (udp.remotePort == 0) {
        failure = IOHandler::tr("invalid remote port");
        return false;
    }
    // Connecting to one of our own servers would hand every block back.
    failure = TOwnEndpoints::instance().claim(
        linkId, {false, QHostAddress(), 0, udp.remoteAddr, udp.remotePort, true});
    if (!failure.isEmpty())
        return false;
    state = State::Absent;
    loopGuard.reset();
    return attempt(failure);
}

bool TTcpClientEndpoint::reopen(IOHandler::DeviceInfo &device, QString &failure)
{
    // Only a try under way goes on as it is; anything else is checked
    // again, since one of our own servers may have taken the peer's port.
    if (state != State::Absent)
        return open(device, failure);
    return attempt(failure);
}

bool TTcpClientEndpoint::attempt(QString &failure)
{
    const IOHandler::UdpInfo &udp = opened.udp;
    if (connecting && connecting->state() == QAbstractSocket::UnconnectedState)
        dropSocket();
    if (!connecting) {
        connecting = new QTcpSocket(this);
        connecting->connectToHost(udp.remoteAddr, udp.remotePort);
    }
    if (connecting->state() != QAbstractSocket::ConnectedState)
        connecting->waitForConnected(connectWaitMs);
    if (connecting->state() == QAbstractSocket::ConnectedState) {
        adopt();
        return true;
    }
    const QString where = TEndpointText::address(udp.remoteAddr, udp.remotePort);
    failure = connecting->state() == QAbstractSocket::UnconnectedState
                  ? IOHandler::tr("tcp client error: %1 is not there (%2)")
                        .arg(where, connecting->errorString())
                  : IOHandler::tr("tcp client error: %1 does not answer").arg(where);
    return false;
}

void TTcpClientEndpoint::adopt()
{
    QTcpSocket *socket = connecting;
    connecting = nullptr;
    TTcpConnection::Handlers handlers{
        [this](TTcpConnection &from, const QByteArray &bytes) {
            sink.received(bytes, from.peerAddress(), from.peerPort());
        },
        [this](TTcpConnection &, const QString &text) { sink.warn(text); },
        [this](TTcpConnection &, const QString &text) {
            state = State::Absent;
            sink.lost(text);
        }};
    // What the ground station writes is gathered as a serial port's bytes
    // are, so that a frame cut by the stream reaches datagram links whole
    // (and only while there are such links).
    const int gather = opened.id == TLinkNames::gcsLinkId ? IOHandler::pollIntervalMs : 0;
    connection =
        new TTcpConnection(socket, gather, opened, tap, loopGuard, std::move(handlers), this);
    state = State::Connected;
    qDebug() << "link" << TLinkNames::rowName(linkId) << "connected to" << connection->peer();
}

void TTcpClientEndpoint::dropSocket()
{
    if (!connecting)
        return;
    connecting->abort();
    // Later: its own signal may be running.
    connecting->deleteLater();
    connecting = nullptr;
}

void TTcpClientEndpoint::close()
{
    dropSocket();
    if (connection) {
        connection->stop();
        connection->deleteLater();
        connection = nullptr;
    }
    if (state != State::Closed)
        TOwnEndpoints::instance().release(linkId);
    state = State::Closed;
}

TEndpoint::Outcome TTcpClientEndpoint::send(const QByteArray &b,
                                            const IOHandler::DeviceInfo &target)
{
    if (target.conType != IOHandler::TcpClient || state != State::Connected || !connection)
        return Outcome::Failed;
    return connection->write(b);
}
