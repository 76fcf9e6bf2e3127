#pragma once

#include "link/iohandler.h"
#include "link/tdatagrambatch.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QObject>
#include <QUdpSocket>

#include <atomic>
#include <functional>

// The UDP side of a link: the receive socket (bound to an address and port,
// or to a group port and joined), the socket a group member sends from, and
// what the link holds of this process's endpoints. Lives in the link's
// thread, so every read and write of its sockets happens there.
class TUdpEndpoint : public QObject
{
    Q_OBJECT
public:
    // What the endpoint hands back to its link, called directly: a datagram
    // costs no queued call and no copy on its way out.
    struct Sink
    {
        // A datagram that passed the filters, with where it came from.
        std::function<void(const QByteArray &, const QHostAddress &, quint16)> received;
        // News for the operator; the endpoint stays open.
        std::function<void(const QString &)> warn;
    };

    enum class State
    {
        Closed,
        Unicast,
        Multicast
    };

    // The record is the link's: its id names the claims, its kind says
    // whether the link reads this endpoint, and its addresses go into
    // messages. The guard and the counter are the link's too, read from
    // other threads for as long as the link lives.
    TUdpEndpoint(const IOHandler::DeviceInfo &record, TLoopGuard &loopGuard,
                 std::atomic<quint64> &ownDropped, Sink sink, QObject *parent);
    ~TUdpEndpoint() override;

    bool isOpen() const { return state != State::Closed; }
    // Before a group is joined anew, a socket still open leaves it.
    void leaveGroup(const QHostAddress &group);
    // Clears the way for the next open.
    void release();
    // Leaves the socket without an address, for a device of another kind.
    void close();
    // On failure `failure` says why, for the operator.
    bool openUnicast(const IOHandler::UdpInfo &udp, QString &failure);
    bool openMulticast(const IOHandler::UdpInfo &udp, QString &failure);
    // The group again, on its interface as the system lists it now (it may
    // have come back under a new index); `udp` takes the interface used.
    bool rejoin(IOHandler::UdpInfo &udp, QString &failure);
    // The last multicast open failed at joining its group.
    bool joinFailed() const { return lastJoinFailed; }
    // The port a group member sends from, 0 without one.
    quint16 groupSendPort() const { return groupSender ? groupSender->localPort() : 0; }
    // Every block the relay forwards passes here, so these two are made
    // where the link's sendData() can take them in whole. False when the
    // datagram did not go out.
    bool send(const QByteArray &b, const QHostAddress &address, quint16 port)
    {
        return socket->writeDatagram(b, address, port) != -1;
    }
    // Blocks to one peer in as few system calls as it takes (sendmmsg);
    // sent[i] says whether blocks[i] went out.
    void sendBatch(const TSendQueue::Block *blocks, int count, const QHostAddress &address,
                   quint16 port, bool *sent)
    {
        TDatagramBatch::send(*socket, blocks, count, address, port, sent);
    }
    bool sendToGroup(const QByteArray &b, const QHostAddress &group, quint16 port)
    {
        QUdpSocket *out = groupSender ? groupSender : socket;
        if (out->writeDatagram(b, group, port) != -1)
            return true;
        qDebug() << "send error";
        return false;
    }

private:
    void createSocket();
    // Gives up what the link holds of this process's UDP endpoints.
    void releaseClaims();
    bool openGroupSender(const IOHandler::UdpInfo &udp);
    void raiseReceiveBuffer();
    void drain();
    int readDatagrams();
    bool passes(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);
    void onError(QAbstractSocket::SocketError error);
    QString name() const;

    const IOHandler::DeviceInfo &record;
    TLoopGuard &loopGuard;
    std::atomic<quint64> &ownDropped;
    const Sink sink;
    State state = State::Closed;
    bool draining = false;
    bool lastJoinFailed = false;
    QUdpSocket *socket = nullptr;
    QUdpSocket *groupSender = nullptr; // multicast: the socket the group hears us from
};
