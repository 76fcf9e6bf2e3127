#pragma once

#include "protocol/tstraybytes.h"

#include <QByteArray>

// A vehicle's byte stream cut by its two parsers, bytes in and frames out,
// without any link: ground-station frames (0xAA 0xEC, three header bytes, a
// length byte L, L payload bytes and a last byte) and 36-byte vehicle frames
// (0xEB 0x91), handed on as 40-byte blocks. Both parsers see every byte, so
// frames of one kind may sit inside the other's.
class TVehicleStream
{
public:
    // Where complete frames go, in the order they complete.
    class Sink
    {
    public:
        virtual void gcsFrame(const QByteArray &frame) = 0;
        virtual void uavFrame(const QByteArray &block) = 0;

    protected:
        ~Sink() = default;
    };

    // What one block held.
    struct Parsed
    {
        quint64 gcsFrames = 0;
        quint64 uavFrames = 0;
        // Bytes now known to belong to no frame.
        quint64 strayBytes = 0;
    };

    static constexpr int uavBlockSize = 40;
    static constexpr int uavFrameSize = 36;
    static constexpr int maxGcsPayload = 247;

    Parsed feed(const QByteArray &bytes, Sink &sink);

private:
    void decodeGcsFrame(quint8 c, Sink &sink, Parsed &parsed);
    void decodeUavFrame(quint8 c, Sink &sink, Parsed &parsed);

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
    // Where each parser's frame began, in bytes since the stream began.
    quint64 streamPos = 0;
    quint64 gcsStart = 0;
    quint64 uavStart = 0;
    TStrayBytes strayBytes;
};
