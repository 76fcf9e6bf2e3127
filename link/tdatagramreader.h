#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <functional>
#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>

class QUdpSocket;

// Reads the datagrams waiting on a UDP socket, the rest of a burst several
// to a system call (recvmmsg), where reading them one by one costs a call
// to learn the size of each, one to read it and one more to find the queue
// empty. Nothing is allocated until a datagram is first read, and the
// buffers, though large enough for any datagram, are touched only as far
// as datagrams fill them.
class TDatagramReader
{
public:
    // Given each datagram in order; false: read no more now.
    using Take = std::function<bool(const QByteArray &, const QHostAddress &, quint16)>;

    // Up to `most` datagrams, without blocking; how many were read.
    int read(QUdpSocket &socket, int most, const Take &take);

private:
    static constexpr int batch = 16;
    // The largest UDP payload, and one byte to tell a longer one.
    static constexpr int bufferBytes = 65536;

    // Up to `most`, at most `batch`, into the buffers (allocated); how many.
    int readBatch(int fd, int most);
    void allocate();
    quint16 senderPort(int i) const;

    std::unique_ptr<char[]> buffers;
    mmsghdr messages[batch] = {};
    iovec vectors[batch] = {};
    sockaddr_storage from[batch] = {};
};
