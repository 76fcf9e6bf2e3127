#pragma once

#include "link/iohandler.h"
#include "link/tdatagrambatch.h"
#include "link/tdatagramreader.h"
#include "link/tendpoint.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QObject>
#include <QUdpSocket>

#include <atomic>

// A UDP link's device, unicast or multicast member: the receive socket
// (bound to an address and port, or to a group port and joined), the
// socket a group member sends from, and what the link holds of this
// process's endpoints.
class TUdpEndpoint : public TEndpoint
{
    Q_OBJECT
public:
    // The guard and the counter are the link's, read from other threads for
    // as long as the link lives.
    TUdpEndpoint(int linkId, IOHandler::ConType kind, TLoopGuard &loopGuard,
                 std::atomic<quint64> &ownDropped, Sink sink, QObject *parent);
    ~TUdpEndpoint() override;

    bool open(const IOHandler::DeviceInfo &device, QString &failure) override;
    // The group again, on its interface as the system lists it now.
    bool reopen(IOHandler::DeviceInfo &device, QString &failure) override;
    bool mayComeBack() const override { return lastJoinFailed; }
    void close() override;
    bool isOpen() const override { return state != State::Closed; }
    bool sends(IOHandler::ConType kind) const override
    {
        return kind == IOHandler::UdpUnicast || kind == IOHandler::UdpMulticast;
    }
    Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &target) override;
    // Blocks to one peer in as few system calls as it takes (sendmmsg).
    void sendBatch(const TSendQueue::Block *blocks, int count, const IOHandler::DeviceInfo &target,
                   Outcome *outcomes) override;
    // The port a group member sends from, 0 without one.
    quint16 sendPort() const override { return groupSender ? groupSender->localPort() : 0; }

private:
    enum class State
    {
        Closed,
        Unicast,
        Multicast
    };

    bool openUnicast(const IOHandler::UdpInfo &udp, QString &failure);
    bool openMulticast(const IOHandler::UdpInfo &udp, QString &failure);
    bool rejoin(IOHandler::UdpInfo &udp, QString &failure);
    void createSocket();
    // Gives up what the link holds of this process's UDP endpoints.
    void releaseClaims();
    // Clears the way for the next open.
    void release();
    bool openGroupSender(const IOHandler::UdpInfo &udp);
    void raiseReceiveBuffer();
    void drain();
    int readDatagrams();
    bool passes(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);
    void onError(QAbstractSocket::SocketError error);
    QString name() const;

    const IOHandler::ConType kind;
    TLoopGuard &loopGuard;
    std::atomic<quint64> &ownDropped;
    IOHandler::UdpInfo opened{}; // what the last open asked for
    State state = State::Closed;
    bool draining = false;
    bool lastJoinFailed = false;
    QUdpSocket *socket = nullptr;
    QUdpSocket *groupSender = nullptr; // multicast: the socket the group hears us from
    TDatagramReader reader;
};
