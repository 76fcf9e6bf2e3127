#pragma once

#include "link/iohandler.h"
#include "link/tendpoint.h"

#include <QObject>

class QTcpSocket;
class TLinkTap;
class TLoopGuard;
class TTcpConnection;

// A TCP client link's device: one connection to the peer's server. A peer
// that is not there (yet, or any more) is no failure for good: the link
// waits for it on the reconnect schedule, and each try that finds the peer
// there opens the device again.
class TTcpClientEndpoint : public TEndpoint
{
    Q_OBJECT
public:
    // The tap and the loop guard are the link's.
    TTcpClientEndpoint(int linkId, TLinkTap &tap, TLoopGuard &loopGuard, Sink sink,
                       QObject *parent);
    ~TTcpClientEndpoint() override;

    bool open(const IOHandler::DeviceInfo &device, QString &failure) override;
    bool reopen(IOHandler::DeviceInfo &device, QString &failure) override;
    bool mayComeBack() const override { return state == State::Absent; }
    void close() override;
    bool isOpen() const override { return state == State::Connected; }
    bool sends(IOHandler::ConType kind) const override { return kind == IOHandler::TcpClient; }
    Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &target) override;

    // How long one try waits for the peer to answer before the link's
    // thread goes on; a try still under way is picked up by the next.
    static constexpr int connectWaitMs = 100;

private:
    enum class State
    {
        Closed,
        // The peer was not there, or is still being reached.
        Absent,
        Connected,
        // Refused for good (an address that is none, one of our own).
        Refused
    };

    bool attempt(QString &failure);
    void adopt();
    void dropSocket();

    IOHandler::DeviceInfo opened{}; // what the last open asked for
    TLinkTap &tap;
    TLoopGuard &loopGuard;
    State state = State::Closed;
    QTcpSocket *connecting = nullptr;
    TTcpConnection *connection = nullptr;
};
