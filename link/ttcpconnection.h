#pragma once

#include "link/iohandler.h"
#include "link/tendpoint.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

class TLinkTap;
class TLoopGuard;

// One TCP connection of a link, client or accepted: its socket with
// TCP_NODELAY, its input handed on as it comes or gathered for a few
// milliseconds, and a bounded send buffer, so that a peer that stops
// reading costs memory up to the bound and then only drops. While
// recording, its segments are written with sequence numbers that run on
// for each direction.
class TTcpConnection : public QObject
{
    Q_OBJECT
public:
    struct Handlers
    {
        std::function<void(TTcpConnection &, const QByteArray &)> received;
        // The peer stopped reading: said once for each run of drops.
        std::function<void(TTcpConnection &, const QString &)> warn;
        // Closed by the peer, failed, or full for too long; the owner
        // deletes the connection later.
        std::function<void(TTcpConnection &, const QString &)> gone;
    };
    // How long a full send buffer is borne before the connection is closed.
    static constexpr int stuckMs = 10000;

    // Takes the connected socket. `gatherMs` 0 hands input on at once, as
    // does any gathering while no datagram vehicle link is open;
    // `link` is the record the capture names the link by; the link's loop
    // guard drops what keeps coming back.
    TTcpConnection(QTcpSocket *socket, int gatherMs, const IOHandler::DeviceInfo &link,
                   TLinkTap &tap, TLoopGuard &loopGuard, Handlers handlers, QObject *parent);
    ~TTcpConnection() override;

    // Hands nothing on any more, before a deferred deletion: the owner
    // has let the connection go.
    void stop();
    // Queues `b` for the peer unless the buffer is full.
    TEndpoint::Outcome write(const QByteArray &b);
    QHostAddress peerAddress() const { return peerAddr; }
    quint16 peerPort() const { return peerPortNumber; }
    QString peer() const;
    // Bytes still waiting to be taken by the system.
    qint64 backlog() const { return socket->bytesToWrite(); }

private:
    enum class Backlog
    {
        Flowing,
        Dropping
    };
    enum class State
    {
        Open,
        Gone
    };

    void onReadyRead();
    void readNow();
    void onBytesWritten();
    void onGone(const QString &why);
    qint64 bound();
    void capture(bool inbound, const QByteArray &bytes);

    QTcpSocket *socket;
    const IOHandler::DeviceInfo &link;
    TLinkTap &tap;
    TLoopGuard &loopGuard;
    const Handlers handlers;
    const QHostAddress peerAddr;
    const quint16 peerPortNumber;
    const QHostAddress localAddr;
    const quint16 localPortNumber;
    State state = State::Open;
    Backlog backlogState = Backlog::Flowing;
    bool reading = false;
    QTimer gatherTimer;
    QTimer stuckTimer;
    // What was queued over the last whole second, for the bound.
    QElapsedTimer window;
    qint64 windowBytes = 0;
    qint64 lastSecondBytes = 0;
    // Sequence numbers of the recorded segments, each direction on its own.
    quint32 txSeq = 1;
    quint32 rxSeq = 1;
};
