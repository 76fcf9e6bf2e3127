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

void TLinkTap::record(const IOHandler::DeviceInfo &link, bool inbound, const QHostAddress &src,
                      quint16 srcPort, const QHostAddress &dst, quint16 dstPort,
                      const QByteArray &data, const QString &comment)
{
    quint64 now = 0;
    const std::shared_ptr<TCaptureWriter> writer = TCaptureTap::current(&now);
    if (!writer)
        return;
    const bool isUdp =
        link.conType == IOHandler::UdpUnicast || link.conType == IOHandler::UdpMulticast;
    const auto direction =
        inbound ? TCaptureWriter::Direction::Inbound : TCaptureWriter::Direction::Outbound;
    const std::lock_guard<std::mutex> locker(mutex);
    if (generation != now || kind != link.conType || iface < 0) {
        iface =
            writer->addInterface(isUdp ? TCaptureWriter::Kind::Udp : TCaptureWriter::Kind::Serial,
                                 TLinkNames::shortName(link.id), TEndpointText::of(link));
        generation = now;
        kind = link.conType;
    }
    const qint64 usec = TCaptureWriter::nowUsec();
    if (!isUdp) {
        writer->raw(iface, usec, direction, data, comment);
        return;
    }
    // What a link receives was sent to its own address and port.
    const QHostAddress to = inbound ? link.udp.localAddr : dst;
    const quint16 toPort = inbound ? link.udp.localPort : dstPort;
    writer->udp(iface, usec, direction, src, srcPort, to, toPort, data, comment);
}
