#include "protocol/trouter.h"

#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinknames.h"
#include "link/tsendhistory.h"

void TRouter::fromGroundStation(const QByteArray &block)
{
    // Once for the whole fan-out: what a loop would bring back.
    TSendHistory::record(block);
    const auto vehicles = TLinkManager::instance()->vehicleLinksById();
    for (const auto &vehicle : vehicles)
        if (vehicle)
            handOn(*vehicle, TLinkNames::gcsLinkId, block);
}

void TRouter::toGroundStation(const QByteArray &frame, int sourceId)
{
    if (const auto gcs = TLinkManager::instance()->linkRef(TLinkNames::gcsLinkId)) {
        TSendHistory::record(frame);
        handOn(*gcs, sourceId, frame);
    }
}

void TRouter::toOtherVehicles(const QByteArray &block, int sourceId)
{
    TSendHistory::record(block);
    quint64 generation = 0;
    const auto vehicles = TLinkManager::instance()->vehicleLinksInListOrder(&generation);
    if (TRadio *radio = TRadio::active())
        return radio->passToAll(sourceId, vehicles, generation, block);
    for (const auto &vehicle : vehicles)
        if (vehicle && vehicle->getDevice().id != sourceId)
            handOn(*vehicle, sourceId, block);
}

void TRouter::queue(IOHandler &to, const QByteArray &block)
{
    emit to.sendBuffSignal(block, QVariant(0));
}
