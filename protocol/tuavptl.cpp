#include "protocol/tuavptl.h"

#include "protocol/trouter.h"

TUavPtl::TUavPtl(int id, bool ownThread, QObject *parent)
    : IOHandler(id, ownThread, parent, StartLater)
{
    connect(
        this, &IOHandler::recIoBuff, this,
        [this](const QByteArray &b, const QVariant &) { onReceived(b); }, Qt::AutoConnection);
    start();
}

void TUavPtl::onReceived(const QByteArray &b)
{
    TVehicleStream &from = getDevice().conType == TcpServer ? connectionStream() : stream;
    const TVehicleStream::Parsed parsed = from.feed(b, *this);
    counters().parsed(parsed.gcsFrames, parsed.uavFrames, parsed.strayBytes);
}

// The link's record names the peer of the block being handed on.
TVehicleStream &TUavPtl::connectionStream()
{
    const UdpInfo &peer = getDevice().udp;
    const quint64 key = quint64(peer.remoteAddr.toIPv4Address()) << 16 | peer.remotePort;
    if (connectionStreams.size() >= maxConnectionStreams && !connectionStreams.contains(key))
        connectionStreams.clear();
    return connectionStreams[key];
}

void TUavPtl::gcsFrame(const QByteArray &frame)
{
    TRouter::toGroundStation(frame, getDevice().id);
}

void TUavPtl::uavFrame(const QByteArray &block)
{
    TRouter::toOtherVehicles(block, getDevice().id);
}
