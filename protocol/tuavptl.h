#pragma once

#include "link/iohandler.h"
#include "protocol/tstraybytes.h"

// A vehicle link. Its received bytes are cut by two parsers: ground-station
// frames (0xAA 0xEC, length byte) go to the ground-station link, 36-byte
// vehicle frames (0xEB 0x91) to every other vehicle link.
class TUavPtl : public IOHandler
{
    Q_OBJECT
public:
    TUavPtl(int id, bool ownThread, QObject *parent = nullptr);

    // Length of the block a vehicle frame is handed on in; the bytes after
    // the frame are zero.
    static constexpr int uavBlockSize = 40;
    static constexpr int uavFrameSize = 36;
    static constexpr int maxGcsPayload = 247;

private:
    void onReceived(const QByteArray &b);
    void decodeGcsFrame(quint8 c);
    void decodeUavFrame(quint8 c);
    void forwardUavFrame(const QByteArray &frame);

    // The field of a ground-station frame the next byte belongs to.
    enum class GcsField
    {
        Sync,       // 0xAA
        SecondSync, // 0xEC
        Header1,
        Header2,
        Header3,
        Length, // payload bytes that follow
        Payload,
        Last // the frame's final byte
    };
    // The field of a vehicle frame the next byte belongs to.
    enum class UavField
    {
        Sync,       // 0xEB
        SecondSync, // 0x91
        Body        // the other 34 bytes
    };

    char gcsBuf[256] = {};
    int gcsLen = 0;
    GcsField gcsState = GcsField::Sync;
    QByteArray uavBuf;
    int uavLen = 0;
    UavField uavState = UavField::Sync;
    // Frames completed in the block being read.
    quint64 gcsFramesDone = 0;
    quint64 uavFramesDone = 0;
    // Where each parser's frame began, in bytes since the link was made.
    quint64 streamPos = 0;
    quint64 gcsStart = 0;
    quint64 uavStart = 0;
    TStrayBytes strayBytes;
};
