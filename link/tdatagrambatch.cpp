#include "link/tdatagrambatch.h"

#include <QDebug>
#include <QUdpSocket>

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

// A fan-out hands each link many blocks for the same peer at once; one
// sendmmsg for the lot costs a fraction of a writeDatagram() each.
void TDatagramBatch::send(QUdpSocket &socket, const TSendQueue::Block *blocks, int count,
                          const QHostAddress &address, quint16 port, bool *sent)
{
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    const int fd = int(socket.socketDescriptor());
    if (!v4 || fd < 0) {
        for (int i = 0; i < count; ++i)
            sent[i] = socket.writeDatagram(blocks[i].data, address, port) != -1;
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(ip);
    constexpr int chunk = 64;
    mmsghdr messages[chunk];
    iovec parts[chunk];
    for (int done = 0; done < count;) {
        const int n = qMin(chunk, count - done);
        for (int k = 0; k < n; ++k) {
            const QByteArray &data = blocks[done + k].data;
            parts[k] = {const_cast<char *>(data.constData()), size_t(data.size())};
            messages[k] = {};
            messages[k].msg_hdr.msg_name = &to;
            messages[k].msg_hdr.msg_namelen = sizeof to;
            messages[k].msg_hdr.msg_iov = &parts[k];
            messages[k].msg_hdr.msg_iovlen = 1;
        }
        const int out = ::sendmmsg(fd, messages, unsigned(n), 0);
        if (out < 0 && errno == EINTR)
            continue;
        if (out <= 0) {
            // The block the kernel refused is lost, as with writeDatagram();
            // the rest are tried again.
            qDebug() << "sendmmsg to" << address.toString() << port << "failed:" << errno;
            sent[done++] = false;
            continue;
        }
        for (int k = 0; k < out; ++k)
            sent[done + k] = true;
        done += out;
    }
}
