#include "link/tdatagramreader.h"

#include <QDebug>

#include <algorithm>
#include <cerrno>

int TDatagramReader::read(int fd, int most)
{
    most = std::min(most, batch);
    if (fd < 0 || most <= 0)
        return 0;
    if (!buffers) {
        buffers.reset(new char[size_t(batch) * bufferBytes]);
        for (int i = 0; i < batch; ++i) {
            vectors[i] = {buffers.get() + size_t(i) * bufferBytes, size_t(bufferBytes)};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            messages[i].msg_hdr.msg_name = &from[i];
        }
    }
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

QByteArray TDatagramReader::datagram(int i) const
{
    return QByteArray(buffers.get() + size_t(i) * bufferBytes,
                      int(std::min<unsigned>(messages[i].msg_len, bufferBytes)));
}

QHostAddress TDatagramReader::sender(int i) const
{
    return QHostAddress(reinterpret_cast<const sockaddr *>(&from[i]));
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
