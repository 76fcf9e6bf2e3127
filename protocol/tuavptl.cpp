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
    for (const char byte : b) {
        const auto c = static_cast<quint8>(byte);
        decodeGcsFrame(c);
        decodeUavFrame(c);
    }
}

void TUavPtl::decodeGcsFrame(quint8 c)
{
    switch (gcsState) {
    case 0:
        if (c == 0xAA) {
            gcsBuf[0] = static_cast<char>(c);
            gcsLen = 1;
            gcsState = 1;
        } else {
            gcsLen = 0;
        }
        break;
    case 1:
        if (c == 0xEC) {
            gcsBuf[gcsLen++] = static_cast<char>(c);
            gcsState = 2;
        } else {
            gcsState = 0;
        }
        break;
    case 2:
    case 3:
    case 4:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        ++gcsState;
        break;
    case 5:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        gcsState = c == 0 ? 7 : 6;
        break;
    case 6:
        gcsBuf[gcsLen++] = static_cast<char>(c);
        if (gcsLen > static_cast<quint8>(gcsBuf[5]) + 5)
            gcsState = 7;
        if (gcsLen > 253)
            gcsState = 0;
        break;
    case 7: {
        gcsBuf[gcsLen] = static_cast<char>(c);
        gcsState = 0;
        const QByteArray frame(gcsBuf, gcsLen + 1);
        if (TGcsPtl *gcs = TGcsPtl::instance()) {
            TSendHistory::record(frame);
            emit gcs->sendBuffSignal(frame, QVariant(0));
        }
        break;
    }
    default:
        gcsState = 0;
        break;
    }
}

void TUavPtl::decodeUavFrame(quint8 c)
{
    switch (uavState) {
    case 0:
        if (c == 0xEB) {
            // A fresh buffer: the previous frame may still be on its way.
            uavBuf = QByteArray(uavBlockSize, '\0');
            uavBuf[0] = static_cast<char>(c);
            uavLen = 1;
            uavState = 1;
        } else {
            uavLen = 0;
        }
        break;
    case 1:
        if (c == 0x91) {
            uavBuf[1] = static_cast<char>(c);
            uavLen = 2;
            uavState = 2;
        } else {
            uavLen = 0;
            uavState = 0;
        }
        break;
    case 2:
        uavBuf[uavLen++] = static_cast<char>(c);
        if (uavLen > uavFrameSize - 1) {
            forwardUavFrame(uavBuf);
            uavLen = 0;
            uavState = 0;
        }
        break;
    default:
        uavState = 0;
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
