#include "link/ttcpserverendpoint.h"

#include "link/tendpointtext.h"
#include "link/tlinkcounters.h"
#include "link/tlinkerrors.h"
#include "link/tlinknames.h"
#include "link/tloopguard.h"
#include "link/townendpoints.h"
#include "link/ttcpconnection.h"

#include <QDebug>
#include <QTcpServer>
#include <QTcpSocket>

TTcpServerEndpoint::TTcpServerEndpoint(int linkId, TLinkCounters &counters, TLinkTap &tap,
                                       TLoopGuard &loopGuard, Sink sink, QObject *parent)
    : TEndpoint(linkId, std::move(sink), parent), counters(counters), tap(tap), loopGuard(loopGuard)
{
}

TTcpServerEndpoint::~TTcpServerEndpoint()
{
    // A closed endpoint is freed later, when the link's next one may hold
    // the same claim and count its own connections already.
    if (state == State::Closed)
        return;
    TOwnEndpoints::instance().release(linkId);
    qDeleteAll(connections);
    counters.noteConnections(-1);
}

bool TTcpServerEndpoint::open(const IOHandler::DeviceInfo &device, QString &failure)
{
    close();
    opened = device;
    opened.conType = IOHandler::TcpServer;
    const IOHandler::UdpInfo &udp = device.udp;
    failure = TLinkErrors::localInvalid(udp);
    if (!failure.isEmpty())
        return false;
    TOwnEndpoints &own = TOwnEndpoints::instance();
    failure = own.claim(linkId, {false, udp.localAddr, udp.localPort, QHostAddress(), 0, true});
    if (!failure.isEmpty())
        return false;
    server = new QTcpServer(this);
    connect(server, &QTcpServer::newConnection, this, &TTcpServerEndpoint::onNewConnection);
    if (!server->listen(udp.localAddr, udp.localPort)) {
        failure = TLinkErrors::listenFailed(server->serverError(), server->errorString(),
                                            udp.localAddr, udp.localPort);
        own.release(linkId);
        delete server;
        server = nullptr;
        return false;
    }
    state = State::Listening;
    loopGuard.reset();
    noteCount();
    if (!udp.localAddr.isLoopback())
        sink.warn(udp.fixedPeer
                      ? IOHandler::tr("tcp %1 can be reached from the network; only %2 is accepted")
                            .arg(TEndpointText::address(udp.localAddr, udp.localPort),
                                 udp.remoteAddr.toString())
                      : IOHandler::tr("tcp %1 can be reached from the network: any host that "
                                      "connects hears the link and is heard")
                            .arg(TEndpointText::address(udp.localAddr, udp.localPort)));
    return true;
}

void TTcpServerEndpoint::close()
{
    if (server) {
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    // Later: a connection may be telling that it has gone.
    for (TTcpConnection *connection : qAsConst(connections)) {
        connection->stop();
        connection->deleteLater();
    }
    connections.clear();
    if (state != State::Closed)
        TOwnEndpoints::instance().release(linkId);
    state = State::Closed;
    counters.noteConnections(-1);
}

void TTcpServerEndpoint::onNewConnection()
{
    const IOHandler::UdpInfo &udp = opened.udp;
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const QHostAddress from(socket->peerAddress().toIPv4Address());
        if (udp.fixedPeer && from != udp.remoteAddr) {
            counters.foreign(TEndpointText::address(from, socket->peerPort()));
            qDebug() << "link" << TLinkNames::rowName(linkId) << "refused a connection from"
                     << from.toString();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        TTcpConnection::Handlers handlers{
            [this](TTcpConnection &c, const QByteArray &bytes) {
                sink.received(bytes, c.peerAddress(), c.peerPort());
            },
            [this](TTcpConnection &, const QString &text) { sink.warn(text); },
            [this](TTcpConnection &c, const QString &text) {
                // A peer that leaves is traffic; one closed as stuck is news.
                if (c.backlog() > 0)
                    sink.warn(text);
                forget(c);
            }};
        const int gather = opened.id == TLinkNames::gcsLinkId ? IOHandler::pollIntervalMs : 0;
        connections.append(
            new TTcpConnection(socket, gather, opened, tap, loopGuard, std::move(handlers), this));
        qDebug() << "link" << TLinkNames::rowName(linkId) << "accepted"
                 << connections.last()->peer();
        noteCount();
    }
}

void TTcpServerEndpoint::forget(TTcpConnection &connection)
{
    connections.removeOne(&connection);
    connection.deleteLater();
    noteCount();
}

void TTcpServerEndpoint::noteCount()
{
    counters.noteConnections(connections.size());
}

TEndpoint::Outcome TTcpServerEndpoint::send(const QByteArray &b,
                                            const IOHandler::DeviceInfo &target)
{
    if (target.conType != IOHandler::TcpServer || state != State::Listening)
        return Outcome::Failed;
    int taken = 0;
    int dropped = 0;
    for (TTcpConnection *connection : qAsConst(connections)) {
        const Outcome outcome = connection->write(b);
        taken += outcome == Outcome::Taken;
        dropped += outcome == Outcome::Dropped;
    }
    if (taken > 0) {
        if (dropped > 0)
            counters.droppedBlock(quint64(dropped));
        return Outcome::Taken;
    }
    // Nobody connected, or nobody with room: the link keeps nothing back.
    if (dropped > 1)
        counters.droppedBlock(quint64(dropped - 1));
    return Outcome::Dropped;
}
