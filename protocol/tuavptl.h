#pragma once

#include "link/iohandler.h"
#include "protocol/tvehiclestream.h"

#include <QHash>

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
    // The stream of the connection a TCP server's block came from.
    TVehicleStream &connectionStream();
    void gcsFrame(const QByteArray &frame) override;
    void uavFrame(const QByteArray &block) override;

    TVehicleStream stream;
    // A TCP server's connections, by peer address and port: two clients'
    // bytes never meet in one frame.
    QHash<quint64, TVehicleStream> connectionStreams;
    // Peers kept before every stream starts afresh, so that connections
    // that came and went cannot add up; each holds at most one frame's start.
    static constexpr int maxConnectionStreams = 4096;
};
