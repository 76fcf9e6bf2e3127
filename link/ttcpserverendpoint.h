#pragma once

#include "link/iohandler.h"
#include "link/tendpoint.h"

#include <QObject>
#include <QVector>

class QTcpServer;
class TLinkCounters;
class TLinkTap;
class TLoopGuard;
class TTcpConnection;

// A TCP server link's device: the listening socket and every connection it
// accepted. What the link sends goes to every connection; what any of them
// sends is the link's input, handed on with the connection's peer, so that
// a stream parser can keep each connection apart. Connections come and go
// while the link stays open.
class TTcpServerEndpoint : public TEndpoint
{
    Q_OBJECT
public:
    // The counters are the link's: connections, strangers refused and
    // blocks a full connection dropped count there.
    TTcpServerEndpoint(int linkId, TLinkCounters &counters, TLinkTap &tap, TLoopGuard &loopGuard,
                       Sink sink, QObject *parent);
    ~TTcpServerEndpoint() override;

    bool open(const IOHandler::DeviceInfo &device, QString &failure) override;
    void close() override;
    bool isOpen() const override { return state == State::Listening; }
    bool sends(IOHandler::ConType kind) const override { return kind == IOHandler::TcpServer; }
    // Taken when one connection at least took the block; every connection
    // that had no room for it counts a drop.
    Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &target) override;

    int connectionCount() const { return connections.size(); }

private:
    enum class State
    {
        Closed,
        Listening
    };

    void onNewConnection();
    void forget(TTcpConnection &connection);
    void noteCount();

    IOHandler::DeviceInfo opened{}; // what the last open asked for
    TLinkCounters &counters;
    TLinkTap &tap;
    TLoopGuard &loopGuard;
    State state = State::Closed;
    QTcpServer *server = nullptr;
    QVector<TTcpConnection *> connections;
};
