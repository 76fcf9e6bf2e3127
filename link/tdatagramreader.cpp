#include "link/tdatagramreader.h"

#include <QDebug>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>

// Datagrams are taken by pending datagram, not by available bytes: a
// zero-length datagram reports no bytes and would otherwise block every
// datagram queued behind it for good.
int TDatagramReader::read(QUdpSocket &socket, int most, const Take &take)
{
    // The first through the socket itself: only a datagram read through it
    // lets it tell of the next ones. Into a buffer that holds any datagram,
    // so that no call is spent first on learning its size.
    if (most <= 0)
        return 0;
    allocate();
    QHostAddress sender;
    quint16 senderPort = 0;
    const qint64 read = socket.readDatagram(buffers.get(), bufferBytes, &sender, &senderPort);
    if (read < 0)
        return 0;
    const QByteArray data(buffers.get(), int(read));
    bool goOn = take(data, sender, senderPort);
    int count = 1;
    while (goOn && count < most) {
        const int asked = std::min(batch, most - count);
        const int got = readBatch(int(socket.socketDescriptor()), asked);
        // What is left unread when the taker stops goes with the socket.
        for (int i = 0; i < got && goOn; ++i) {
            const QByteArray datagram(buffers.get() + size_t(i) * bufferBytes,
                                      int(std::min<unsigned>(messages[i].msg_len, bufferBytes)));
            goOn = take(datagram, QHostAddress(reinterpret_cast<const sockaddr *>(&from[i])),
                        this->senderPort(i));
        }
        count += got;
        if (got < asked)
            break;
    }
    return count;
}

int TDatagramReader::readBatch(int fd, int most)
{
    if (fd < 0)
        return 0;
    // The only field the kernel changes that it also reads.
    for (int i = 0; i < most; ++i)
        messages[i].msg_hdr.msg_namelen = sizeof from[i];
    int got;
    do
        got = ::recvmmsg(fd, messages, unsigned(most), MSG_DONTWAIT, nullptr);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        // An error the socket reports (an ICMP refusal of an earlier send)
        // is the socket's own to tell; nothing was read.
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            qDebug() << "recvmmsg failed:" << qt_error_string(errno);
        return 0;
    }
    for (int i = 0; i < got; ++i)
        if (messages[i].msg_hdr.msg_flags & MSG_TRUNC)
            qDebug() << "recvmmsg: a datagram longer than" << bufferBytes << "bytes was cut";
    return got;
}

void TDatagramReader::allocate()
{
    if (buffers)
        return;
    buffers.reset(new char[size_t(batch) * bufferBytes]);
    for (int i = 0; i < batch; ++i) {
        vectors[i] = {buffers.get() + size_t(i) * bufferBytes, size_t(bufferBytes)};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &from[i];
    }
}

quint16 TDatagramReader::senderPort(int i) const
{
    const sockaddr_storage &a = from[i];
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(a).sin_port);
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(a).sin6_port);
    return 0;
}
