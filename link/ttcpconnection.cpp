#include "link/ttcpconnection.h"

#include "capture/tcapturetap.h"
#include "link/tendpointtext.h"
#include "link/tlinktap.h"
#include "link/tloopguard.h"
#include "link/tsendlimits.h"
#include "link/tstreamgathering.h"

#include <QDebug>
#include <QScopedValueRollback>

TTcpConnection::TTcpConnection(QTcpSocket *socket, int gatherMs, const IOHandler::DeviceInfo &link,
                               TLinkTap &tap, TLoopGuard &loopGuard, Handlers handlers,
                               QObject *parent)
    : QObject(parent), socket(socket), link(link), tap(tap), loopGuard(loopGuard),
      handlers(std::move(handlers)), peerAddr(QHostAddress(socket->peerAddress().toIPv4Address())),
      peerPortNumber(socket->peerPort()),
      localAddr(QHostAddress(socket->localAddress().toIPv4Address())),
      localPortNumber(socket->localPort())
{
    socket->setParent(this);
    // Blocks are small and wanted at once: no waiting to fill a segment.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    gatherTimer.setSingleShot(true);
    gatherTimer.setInterval(gatherMs);
    stuckTimer.setSingleShot(true);
    stuckTimer.setInterval(stuckMs);
    window.start();
    connect(&gatherTimer, &QTimer::timeout, this, &TTcpConnection::readNow);
    connect(&stuckTimer, &QTimer::timeout, this, [this] {
        onGone(IOHandler::tr("peer %1 has taken no data for %2 s, connection closed")
                   .arg(peer())
                   .arg(stuckMs / 1000));
    });
    connect(socket, &QIODevice::readyRead, this, &TTcpConnection::onReadyRead);
    connect(socket, &QIODevice::bytesWritten, this, &TTcpConnection::onBytesWritten);
    connect(socket, &QAbstractSocket::disconnected, this,
            [this] { onGone(IOHandler::tr("peer %1 closed the connection").arg(peer())); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        onGone(e == QAbstractSocket::RemoteHostClosedError
                   ? IOHandler::tr("peer %1 closed the connection").arg(peer())
                   : IOHandler::tr("connection to %1 failed: %2")
                         .arg(peer(), this->socket->errorString()));
    });
    // Bytes may have come with the connection, before anyone listened.
    if (socket->bytesAvailable() > 0)
        onReadyRead();
}

TTcpConnection::~TTcpConnection()
{
    state = State::Gone;
    socket->disconnect(this);
    socket->abort();
}

void TTcpConnection::stop()
{
    state = State::Gone;
    gatherTimer.stop();
    stuckTimer.stop();
    socket->disconnect(this);
}

QString TTcpConnection::peer() const
{
    return TEndpointText::address(peerAddr, peerPortNumber);
}

void TTcpConnection::onReadyRead()
{
    if (gatherTimer.interval() == 0 || !TStreamGathering::wanted())
        readNow();
    else if (!gatherTimer.isActive())
        gatherTimer.start();
}

void TTcpConnection::readNow()
{
    // A block handed on may run the event loop, which must not start a
    // second read inside this one.
    if (reading || state != State::Open)
        return;
    QScopedValueRollback<bool> guard(reading, true);
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return;
    if (TCaptureTap::on())
        capture(true, bytes);
    // What the relay sent and keeps getting back unchanged is a loop
    // through the peer.
    const TLoopGuard::Verdict verdict = loopGuard.check(bytes);
    if (verdict == TLoopGuard::DropLoopFound)
        handlers.warn(*this, IOHandler::tr("possible loop through %1").arg(peer()));
    if (verdict == TLoopGuard::Pass)
        handlers.received(*this, bytes);
}

// About a second of what this connection was handed, never less than the
// floor every send queue has.
qint64 TTcpConnection::bound()
{
    if (window.elapsed() >= 1000) {
        lastSecondBytes = window.elapsed() < 2000 ? windowBytes : 0;
        windowBytes = 0;
        window.restart();
    }
    return TSendLimits{}.bytesFor(lastSecondBytes);
}

TEndpoint::Outcome TTcpConnection::write(const QByteArray &b)
{
    if (state != State::Open)
        return TEndpoint::Outcome::Failed;
    windowBytes += b.size();
    if (socket->bytesToWrite() + b.size() > bound()) {
        if (backlogState == Backlog::Flowing) {
            backlogState = Backlog::Dropping;
            stuckTimer.start();
            qDebug() << "tcp peer" << peer() << "send buffer full, blocks dropped";
            handlers.warn(*this,
                          IOHandler::tr("peer %1 does not take data, blocks dropped").arg(peer()));
        }
        return TEndpoint::Outcome::Dropped;
    }
    if (socket->write(b) != b.size())
        return TEndpoint::Outcome::Failed;
    if (TCaptureTap::on())
        capture(false, b);
    return TEndpoint::Outcome::Taken;
}

void TTcpConnection::onBytesWritten()
{
    // A peer that takes a little now and then is still one run of drops:
    // it flows again once half its buffer is free.
    if (backlogState == Backlog::Dropping && socket->bytesToWrite() < bound() / 2) {
        backlogState = Backlog::Flowing;
        stuckTimer.stop();
    }
}

void TTcpConnection::onGone(const QString &why)
{
    if (state != State::Open)
        return;
    // What the peer sent before it went still counts.
    gatherTimer.stop();
    readNow();
    state = State::Gone;
    stuckTimer.stop();
    qDebug() << "tcp connection" << peer() << "gone:" << why;
    handlers.gone(*this, why);
}

void TTcpConnection::capture(bool inbound, const QByteArray &bytes)
{
    quint32 &seq = inbound ? rxSeq : txSeq;
    const quint32 ack = inbound ? txSeq : rxSeq;
    if (inbound)
        tap.tcpSegments(link, inbound, peerAddr, peerPortNumber, localAddr, localPortNumber, seq,
                        ack, bytes);
    else
        tap.tcpSegments(link, inbound, localAddr, localPortNumber, peerAddr, peerPortNumber, seq,
                        ack, bytes);
    seq += quint32(bytes.size());
}
