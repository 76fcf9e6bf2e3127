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
    const TVehicleStream::Parsed parsed = stream.feed(b, *this);
    counters().parsed(parsed.gcsFrames, parsed.uavFrames, parsed.strayBytes);
}

void TUavPtl::gcsFrame(const QByteArray &frame)
{
    TRouter::toGroundStation(frame, getDevice().id);
}

void TUavPtl::uavFrame(const QByteArray &block)
{
    TRouter::toOtherVehicles(block, getDevice().id);
}
