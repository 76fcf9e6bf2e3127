#include "protocol/tvehiclestream.h"

TVehicleStream::Parsed TVehicleStream::feed(const QByteArray &bytes, Sink &sink)
{
    Parsed parsed;
    for (const char byte : bytes) {
        const auto c = static_cast<quint8>(byte);
        decodeGcsFrame(c, sink, parsed);
        decodeUavFrame(c, sink, parsed);
        ++streamPos;
        // Bytes before the start of a frame still being read are decided.
        quint64 horizon = streamPos;
        if (gcsState != GcsField::Sync)
            horizon = qMin(horizon, gcsStart);
        if (uavState != UavField::Sync)
            horizon = qMin(horizon, uavStart);
        parsed.strayBytes += strayBytes.settle(horizon);
    }
    return parsed;
}

void TVehicleStream::decodeGcsFrame(quint8 c, Sink &sink, Parsed &parsed)
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
        ++parsed.gcsFrames;
        strayBytes.claim(gcsStart, streamPos + 1);
        sink.gcsFrame(QByteArray(gcsBuf, gcsLen + 1));
        break;
    }
    }
}

void TVehicleStream::decodeUavFrame(quint8 c, Sink &sink, Parsed &parsed)
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
            ++parsed.uavFrames;
            sink.uavFrame(uavBuf);
            strayBytes.claim(uavStart, streamPos + 1);
            uavLen = 0;
            uavState = UavField::Sync;
        }
        break;
    }
}
