#include "capture/tpcapngfile.h"

#include <QtEndian>

namespace {

// Block types and option codes of the format.
constexpr quint32 sectionHeaderType = 0x0A0D0D0A;
constexpr quint32 interfaceType = 1;
constexpr quint32 enhancedPacketType = 6;
constexpr quint16 endOfOptions = 0;
constexpr quint16 optComment = 1;
constexpr quint16 ifName = 2;
constexpr quint16 ifDescription = 3;
constexpr quint16 ifTsResol = 9;
constexpr quint16 epbFlags = 2;
constexpr quint16 linkTypeIpv4 = 228;
constexpr quint16 linkTypeUser0 = 147;
constexpr int ipHeaderBytes = 20;
constexpr int udpHeaderBytes = 8;
constexpr int tcpHeaderBytes = 20;

int padded(int bytes)
{
    return (bytes + 3) & ~3;
}

// Written little-endian whatever the host: the section's byte-order magic
// is written the same way, so readers know to swap or not.
void put16(QByteArray &out, quint16 v)
{
    const quint16 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 2);
}
void put32(QByteArray &out, quint32 v)
{
    const quint32 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 4);
}
void pad(QByteArray &out)
{
    out.append(padded(out.size()) - out.size(), '\0');
}
void putOption(QByteArray &out, quint16 code, const QByteArray &value)
{
    put16(out, code);
    put16(out, quint16(value.size()));
    out.append(value);
    pad(out);
}
// The length sits both after the type and at the end, so that a reader can
// walk the file backwards as well.
void beginBlock(QByteArray &out, quint32 type)
{
    out.clear();
    put32(out, type);
    put32(out, 0);
}
void endBlock(QByteArray &out)
{
    const quint32 length = quint32(out.size() + 4);
    put32(out, length);
    const quint32 le = qToLittleEndian(length);
    memcpy(out.data() + 4, &le, 4);
}

void putBig16(char *at, quint16 v)
{
    qToBigEndian(v, at);
}

void putIpHeader(char *p, quint8 protocol, quint32 src, quint32 dst, int length)
{
    p[0] = 0x45; // version 4, five words of header
    putBig16(p + 2, quint16(length));
    p[8] = 64; // time to live
    p[9] = char(protocol);
    qToBigEndian(src, p + 12);
    qToBigEndian(dst, p + 16);
    quint32 sum = 0;
    for (int i = 0; i < ipHeaderBytes; i += 2)
        sum += qFromBigEndian<quint16>(p + i);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    putBig16(p + 10, quint16(~sum));
}

QByteArray ipUdpHeader(quint32 src, quint16 srcPort, quint32 dst, quint16 dstPort, int payload)
{
    char p[ipHeaderBytes + udpHeaderBytes] = {};
    putIpHeader(p, 17, src, dst, ipHeaderBytes + udpHeaderBytes + payload);
    // The UDP checksum stays zero, which means "not computed": the payload
    // is what was received, there is nothing for a reader to verify.
    putBig16(p + 20, srcPort);
    putBig16(p + 22, dstPort);
    putBig16(p + 24, quint16(udpHeaderBytes + payload));
    return QByteArray(p, sizeof p);
}

QByteArray ipTcpHeader(quint32 src, quint16 srcPort, quint32 dst, quint16 dstPort, quint32 seq,
                       quint32 ack, int payload)
{
    char p[ipHeaderBytes + tcpHeaderBytes] = {};
    putIpHeader(p, 6, src, dst, ipHeaderBytes + tcpHeaderBytes + payload);
    char *t = p + ipHeaderBytes;
    putBig16(t, srcPort);
    putBig16(t + 2, dstPort);
    qToBigEndian(seq, t + 4);
    qToBigEndian(ack, t + 8);
    t[12] = char((tcpHeaderBytes / 4) << 4);
    t[13] = 0x18;            // PSH, ACK
    putBig16(t + 14, 65535); // window
    // The checksum stays zero, as for UDP: readers do not check it unless
    // asked to, and the bytes are what the link passed.
    return QByteArray(p, sizeof p);
}

} // namespace

TPcapngFile::~TPcapngFile()
{
    close();
}

bool TPcapngFile::open(const QString &path, QString &errorText)
{
    close();
    kinds.clear();
    written = 0;
    error.clear();
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("Cannot create capture file %1: %2").arg(path, file.errorString());
        errorText = error;
        return false;
    }
    beginBlock(block, sectionHeaderType);
    put32(block, 0x1A2B3C4D);
    put16(block, 1);
    put16(block, 0);
    // The section's length is not known while it is being written.
    put32(block, 0xFFFFFFFF);
    put32(block, 0xFFFFFFFF);
    endBlock(block);
    if (!writeBlock(block)) {
        errorText = error;
        file.close();
        return false;
    }
    return true;
}

qint64 TPcapngFile::interfaceBlockSize(const QString &name, const QString &description) const
{
    qint64 bytes = 8 + 8 + 4 + padded(name.toUtf8().size()) + 8 + 4 + 4;
    if (!description.isEmpty())
        bytes += 4 + padded(description.toUtf8().size());
    return bytes;
}

int TPcapngFile::addInterface(Kind kind, const QString &name, const QString &description)
{
    beginBlock(block, interfaceType);
    put16(block, kind == Udp ? linkTypeIpv4 : linkTypeUser0);
    put16(block, 0);
    put32(block, 0); // no snapshot length: every byte is kept
    putOption(block, ifName, name.toUtf8());
    if (!description.isEmpty())
        putOption(block, ifDescription, description.toUtf8());
    putOption(block, ifTsResol, QByteArray(1, char(6)));
    putOption(block, endOfOptions, QByteArray());
    endBlock(block);
    if (!writeBlock(block))
        return -1;
    kinds.push_back(kind);
    return int(kinds.size() - 1);
}

qint64 TPcapngFile::packetBlockSize(int iface, int bytes, const QString &comment) const
{
    const bool udp = iface >= 0 && size_t(iface) < kinds.size() && kinds[size_t(iface)] == Udp;
    const qint64 note = comment.isEmpty() ? 0 : 4 + padded(comment.toUtf8().size());
    return 28 + padded(bytes + (udp ? ipHeaderBytes + udpHeaderBytes : 0)) + 8 + 4 + 4 + note;
}

bool TPcapngFile::writeUdp(int iface, qint64 usec, Direction direction, const QHostAddress &src,
                           quint16 srcPort, const QHostAddress &dst, quint16 dstPort,
                           const QByteArray &payload, const QString &comment)
{
    bool srcOk = false;
    bool dstOk = false;
    const quint32 src4 = src.toIPv4Address(&srcOk);
    const quint32 dst4 = dst.toIPv4Address(&dstOk);
    if (!srcOk || !dstOk)
        return fail(
            QStringLiteral("not an IPv4 datagram (%1 -> %2)").arg(src.toString(), dst.toString()));
    if (payload.size() > maxUdpPayload)
        return fail(QStringLiteral("a datagram of %1 bytes").arg(payload.size()));
    if (iface < 0 || size_t(iface) >= kinds.size() || kinds[size_t(iface)] != Udp)
        return fail(QStringLiteral("no UDP interface %1").arg(iface));
    return writePacket(iface, usec, direction,
                       ipUdpHeader(src4, srcPort, dst4, dstPort, payload.size()), payload, comment);
}

bool TPcapngFile::writeTcp(int iface, qint64 usec, Direction direction, const QHostAddress &src,
                           quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq,
                           quint32 ack, const QByteArray &payload)
{
    bool srcOk = false;
    bool dstOk = false;
    const quint32 src4 = src.toIPv4Address(&srcOk);
    const quint32 dst4 = dst.toIPv4Address(&dstOk);
    if (!srcOk || !dstOk || payload.size() > maxTcpPayload)
        return fail(QStringLiteral("not an IPv4 segment (%1 -> %2, %3 bytes)")
                        .arg(src.toString(), dst.toString())
                        .arg(payload.size()));
    if (iface < 0 || size_t(iface) >= kinds.size() || kinds[size_t(iface)] != Udp)
        return fail(QStringLiteral("no IPv4 interface %1").arg(iface));
    return writePacket(iface, usec, direction,
                       ipTcpHeader(src4, srcPort, dst4, dstPort, seq, ack, payload.size()),
                       payload, QString());
}

bool TPcapngFile::writeRaw(int iface, qint64 usec, Direction direction, const QByteArray &bytes,
                           const QString &comment)
{
    if (iface < 0 || size_t(iface) >= kinds.size() || kinds[size_t(iface)] != Serial)
        return fail(QStringLiteral("no serial interface %1").arg(iface));
    return writePacket(iface, usec, direction, QByteArray(), bytes, comment);
}

bool TPcapngFile::writePacket(int iface, qint64 usec, Direction direction, const QByteArray &header,
                              const QByteArray &payload, const QString &comment)
{
    const quint32 length = quint32(header.size() + payload.size());
    beginBlock(block, enhancedPacketType);
    put32(block, quint32(iface));
    put32(block, quint32(quint64(usec) >> 32));
    put32(block, quint32(quint64(usec)));
    put32(block, length);
    put32(block, length);
    block.append(header);
    block.append(payload);
    pad(block);
    if (!comment.isEmpty())
        putOption(block, optComment, comment.toUtf8());
    QByteArray flags;
    put32(flags, quint32(direction) & 3);
    putOption(block, epbFlags, flags);
    putOption(block, endOfOptions, QByteArray());
    endBlock(block);
    return writeBlock(block);
}

bool TPcapngFile::writeBlock(const QByteArray &bytes)
{
    if (!file.isOpen())
        return fail(QStringLiteral("the file is not open"));
    if (file.write(bytes) != bytes.size())
        return fail(file.errorString());
    written += bytes.size();
    return true;
}

bool TPcapngFile::flush()
{
    if (!file.isOpen())
        return true;
    return file.flush() || fail(file.errorString());
}

void TPcapngFile::close()
{
    if (!file.isOpen())
        return;
    flush();
    file.close();
}

bool TPcapngFile::fail(const QString &what)
{
    error = QStringLiteral("Cannot write capture file %1: %2").arg(file.fileName(), what);
    return false;
}
