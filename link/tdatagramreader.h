#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>

// Reads the datagrams waiting on a socket several to a system call
// (recvmmsg), where reading them one by one costs a call to learn the size
// of each, one to read it and one more to find the queue empty. Nothing is
// allocated until datagrams are first read, and the buffers, though large
// enough for any datagram, are touched only as far as datagrams fill them.
class TDatagramReader
{
public:
    static constexpr int batch = 16;

    // Up to `most` (at most `batch`) datagrams waiting on `fd`, without
    // blocking; how many were read, 0 when none was waiting. They stay
    // readable through the functions below until the next read.
    int read(int fd, int most);
    QByteArray datagram(int i) const;
    QHostAddress sender(int i) const;
    quint16 senderPort(int i) const;

private:
    // The largest UDP payload, and one byte to tell a longer one.
    static constexpr int bufferBytes = 65536;
    std::unique_ptr<char[]> buffers;
    mmsghdr messages[batch] = {};
    iovec vectors[batch] = {};
    sockaddr_storage from[batch] = {};
};
