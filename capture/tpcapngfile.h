#pragma once

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include <vector>

// A capture file in the pcapng block format, written by one thread. A UDP
// link's datagrams are stored with made-up IPv4 and UDP headers around them,
// so that readers show and filter them by address and port as if they had
// been taken from the wire, and a TCP link's segments likewise; a serial link's bytes are stored as
// they came.
class TPcapngFile
{
public:
    enum Kind
    {
        Udp,
        Serial
    };
    // The values of the direction bits in a packet's flags.
    enum Direction : quint32
    {
        Inbound = 1,
        Outbound = 2
    };

    TPcapngFile() = default;
    ~TPcapngFile();
    TPcapngFile(const TPcapngFile &) = delete;
    TPcapngFile &operator=(const TPcapngFile &) = delete;

    // Creates (or empties) the file and writes the section header.
    bool open(const QString &path, QString &error);
    // Describes one link; its packets may follow at once. Returns the
    // interface's index, or -1 on a write error.
    int addInterface(Kind kind, const QString &name, const QString &description);
    bool writeUdp(int iface, qint64 usecSinceEpoch, Direction direction, const QHostAddress &src,
                  quint16 srcPort, const QHostAddress &dst, quint16 dstPort,
                  const QByteArray &payload, const QString &comment = QString());
    // One TCP segment with its sequence and acknowledgement numbers; on an
    // interface of kind Udp, which holds IPv4 packets of any protocol.
    bool writeTcp(int iface, qint64 usecSinceEpoch, Direction direction, const QHostAddress &src,
                  quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq,
                  quint32 ack, const QByteArray &payload);
    // `comment`, when given, is the packet's comment, which readers show.
    bool writeRaw(int iface, qint64 usecSinceEpoch, Direction direction, const QByteArray &bytes,
                  const QString &comment = QString());
    bool flush();
    void close();

    bool isOpen() const { return file.isOpen(); }
    // Bytes in the file once everything written so far is flushed.
    qint64 size() const { return written; }
    // What a packet of `bytes` on `iface` would add to size(), so that a
    // limit can be kept before the packet is written.
    qint64 packetBlockSize(int iface, int bytes, const QString &comment = QString()) const;
    qint64 interfaceBlockSize(const QString &name, const QString &description) const;
    QString errorString() const { return error; }
    QString path() const { return file.fileName(); }

    // The largest datagram an IPv4 header can describe.
    static constexpr int maxUdpPayload = 65535 - 20 - 8;
    static constexpr int maxTcpPayload = 65535 - 20 - 20;
    // What a TCP segment's header takes beyond a UDP datagram's.
    static constexpr int tcpExtraHeader = 12;

private:
    bool writePacket(int iface, qint64 usec, Direction direction, const QByteArray &header,
                     const QByteArray &payload, const QString &comment);
    bool writeBlock(const QByteArray &block);
    bool fail(const QString &what);

    QFile file;
    std::vector<Kind> kinds;
    qint64 written = 0;
    QString error;
    // Reused for every block, so a packet costs no allocation once the
    // largest has been seen.
    QByteArray block;
};
