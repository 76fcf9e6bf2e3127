#pragma once

#include "link/iohandler.h"
#include "protocol/tvehiclestream.h"

// A vehicle link. Its received bytes are cut by two parsers: ground-station
// frames (0xAA 0xEC, length byte) go to the ground-station link, 36-byte
// vehicle frames (0xEB 0x91) to every other vehicle link.
class TUavPtl : public IOHandler, private TVehicleStream::Sink
{
    Q_OBJECT
public:
    TUavPtl(int id, bool ownThread, QObject *parent = nullptr);

    // Length of the block a vehicle frame is handed on in; the bytes after
    // the frame are zero.
    static constexpr int uavBlockSize = TVehicleStream::uavBlockSize;
    static constexpr int uavFrameSize = TVehicleStream::uavFrameSize;
    static constexpr int maxGcsPayload = TVehicleStream::maxGcsPayload;

private:
    void onReceived(const QByteArray &b);
    void gcsFrame(const QByteArray &frame) override;
    void uavFrame(const QByteArray &block) override;

    TVehicleStream stream;
};
