#pragma once

#include "link/tsendqueue.h"

#include <QHostAddress>

class QUdpSocket;

// Sends many datagrams to one peer from one socket in as few system calls
// as it takes (sendmmsg, 64 to a call); a peer that is no IPv4 address gets
// one writeDatagram() each.
class TDatagramBatch
{
public:
    // sent[i] says whether blocks[i] went out.
    static void send(QUdpSocket &socket, const TSendQueue::Block *blocks, int count,
                     const QHostAddress &address, quint16 port, bool *sent);
};
