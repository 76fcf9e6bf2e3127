#include "link/tlinktap.h"

#include "capture/tcapturewriter.h"
#include "link/tendpointtext.h"
#include "link/tlinknames.h"

void TLinkTap::out(const IOHandler::DeviceInfo &link, const IOHandler::DeviceInfo &target,
                   quint16 sendPort, const QByteArray &data, const QString &comment)
{
    switch (target.conType) {
    case IOHandler::UdpUnicast:
        record(link, false, link.udp.localAddr, link.udp.localPort, target.udp.remoteAddr,
               target.udp.remotePort, data, comment);
        break;
    case IOHandler::UdpMulticast:
        // A group member sends from a port of its own, on no one address.
        record(link, false, QHostAddress(QHostAddress::AnyIPv4), sendPort, target.udp.localAddr,
               target.udp.localPort, data, comment);
        break;
    default:
        record(link, false, QHostAddress(), 0, QHostAddress(), 0, data, comment);
        break;
    }
}

std::shared_ptr<TCaptureWriter> TLinkTap::interfaceFor(const IOHandler::DeviceInfo &link)
{
    quint64 now = 0;
    std::shared_ptr<TCaptureWriter> writer = TCaptureTap::current(&now);
    if (!writer)
        return writer;
    // UDP and TCP links are both written as IPv4 packets.
    const bool isIp = link.conType >= IOHandler::UdpUnicast;
    if (generation != now || kind != link.conType || iface < 0) {
        iface =
            writer->addInterface(isIp ? TCaptureWriter::Kind::Udp : TCaptureWriter::Kind::Serial,
                                 TLinkNames::shortName(link.id), TEndpointText::of(link));
        generation = now;
        kind = link.conType;
    }
    return writer;
}

template <typename Write>
void TLinkTap::withWriter(const IOHandler::DeviceInfo &link, bool inbound, const Write &write)
{
    const auto direction =
        inbound ? TCaptureWriter::Direction::Inbound : TCaptureWriter::Direction::Outbound;
    const std::lock_guard<std::mutex> locker(mutex);
    if (const std::shared_ptr<TCaptureWriter> writer = interfaceFor(link))
        write(*writer, direction, TCaptureWriter::nowUsec());
}

void TLinkTap::tcpSegments(const IOHandler::DeviceInfo &link, bool inbound, const QHostAddress &src,
                           quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq,
                           quint32 ack, const QByteArray &data)
{
    withWriter(link, inbound, [&](TCaptureWriter &writer, auto direction, qint64 usec) {
        for (int at = 0; at < data.size(); at += TPcapngFile::maxTcpPayload) {
            const int n = qMin(TPcapngFile::maxTcpPayload, data.size() - at);
            writer.tcp(iface, usec, direction, src, srcPort, dst, dstPort, seq + quint32(at), ack,
                       at == 0 && n == data.size() ? data : data.mid(at, n));
        }
    });
}

void TLinkTap::record(const IOHandler::DeviceInfo &link, bool inbound, const QHostAddress &src,
                      quint16 srcPort, const QHostAddress &dst, quint16 dstPort,
                      const QByteArray &data, const QString &comment)
{
    withWriter(link, inbound, [&](TCaptureWriter &writer, auto direction, qint64 usec) {
        if (link.conType < IOHandler::UdpUnicast) {
            writer.raw(iface, usec, direction, data, comment);
            return;
        }
        // What a link receives was sent to its own address and port.
        const QHostAddress to = inbound ? link.udp.localAddr : dst;
        const quint16 toPort = inbound ? link.udp.localPort : dstPort;
        writer.udp(iface, usec, direction, src, srcPort, to, toPort, data, comment);
    });
}
