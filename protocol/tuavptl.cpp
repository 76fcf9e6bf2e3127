#include "protocol/tuavptl.h"

#include "link/tlinkmanager.h"
#include "link/tsendhistory.h"
#include "protocol/tgcsptl.h"

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
    gcsFramesDone = uavFramesDone = 0;
    quint64 stray = 0;
    for (const char byte : b) {
        const auto c = static_cast<quint8>(byte);
        decodeGcsFrame(c);
        decodeUavFrame(c);
        ++streamPos;
        // Bytes before the start of a frame still being read are decided.
        quint64 horizon = streamPos;
        if (gcsState != GcsField::Sync)
            horizon = qMin(horizon, gcsStart);
        if (uavState != UavField::Sync)
            horizon = qMin(horizon, uavStart);
        stray += strayBytes.settle(horizon);
    }
    counters().parsed(gcsFramesDone, uavFramesDone, stray);
}

void TUavPtl::decodeGcsFrame(quint8 c)
{
    switch (gcsState) {
    case GcsField::Sync:
        if (c == 0xAA) {
            gcsStart = streamPos;
            gcsBuf[0] = static_cast<char>(c);
            gcsLen = 1;
            gcsState = GcsField::SecondSync;
        } else {
            gcsLen = 0;
        }
        break;
    case GcsField::SecondSync:
        if (c == 0xEC) {
            gcsBuf[gcsLen++] = static_cast<char>(c);
            gcsState = GcsField::Header1;
        } else {
            gcsState = GcsField::Sync;
        }
        break;
    case GcsField::Header1:
    case GcsField::Header2:
    case GcsField::Header3:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        gcsState = gcsState == GcsField::Header1   ? GcsField::Header2
                   : gcsState == GcsField::Header2 ? GcsField::Header3
                                                   : GcsField::Length;
        break;
    case GcsField::Length:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        gcsState = c == 0 ? GcsField::Last : GcsField::Payload;
        break;
    case GcsField::Payload:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        if (gcsLen > static_cast<quint8>(gcsBuf[5]) + 5)
            gcsState = GcsField::Last;
        if (gcsLen > 253)
            gcsState = GcsField::Sync;
        break;
    case GcsField::Last: {
        gcsBuf[gcsLen] = static_cast<char>(c);
        gcsState = GcsField::Sync;
        const QByteArray frame(gcsBuf, gcsLen + 1);
        ++gcsFramesDone;
        strayBytes.claim(gcsStart, streamPos + 1);
        if (TGcsPtl *gcs = TGcsPtl::instance()) {
            TSendHistory::record(frame);
            emit gcs->sendBuffSignal(frame, QVariant(0));
        }
        break;
    }
    }
}

void TUavPtl::decodeUavFrame(quint8 c)
{
    switch (uavState) {
    case UavField::Sync:
        if (c == 0xEB) {
            uavStart = streamPos;
            // A fresh buffer: the previous frame may still be on its way.
            uavBuf = QByteArray(uavBlockSize, '\0');
            uavBuf[0] = static_cast<char>(c);
            uavLen = 1;
            uavState = UavField::SecondSync;
        } else {
            uavLen = 0;
        }
        break;
    case UavField::SecondSync:
        if (c == 0x91) {
            uavBuf[1] = static_cast<char>(c);
            uavLen = 2;
            uavState = UavField::Body;
        } else {
            uavLen = 0;
            uavState = UavField::Sync;
        }
        break;
    case UavField::Body:
        uavBuf[uavLen++] = static_cast<char>(c);
        if (uavLen > uavFrameSize - 1) {
            forwardUavFrame(uavBuf);
            ++uavFramesDone;
            strayBytes.claim(uavStart, streamPos + 1);
            uavLen = 0;
            uavState = UavField::Sync;
        }
        break;
    }
}

void TUavPtl::forwardUavFrame(const QByteArray &frame)
{
    const auto vehicles = TLinkManager::instance()->vehicleLinksInListOrder();
    // Once for the whole fan-out: what a loop would bring back.
    TSendHistory::record(frame);
    for (const auto &vehicle : vehicles) {
        if (!vehicle)
            break;
        if (vehicle.data() != this)
            emit vehicle->sendBuffSignal(frame, QVariant(0));
    }
}
