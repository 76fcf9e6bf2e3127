#pragma once

#include "capture/tcapturetap.h"
#include "link/iohandler.h"

#include <QByteArray>
#include <QHostAddress>

#include <memory>
#include <mutex>

class TCaptureWriter;

// One link's share of the recording: the interface it is written under,
// made when the link first passes a block while recording (again when its
// kind changes or a new recording begins).
class TLinkTap
{
public:
    // The link asks TCaptureTap::on() first, so that these cost nothing
    // while nothing records.
    void udpIn(const IOHandler::DeviceInfo &link, const QHostAddress &from, quint16 fromPort,
               const QByteArray &data)
    {
        record(link, true, from, fromPort, QHostAddress(), 0, data);
    }
    void out(const IOHandler::DeviceInfo &link, const IOHandler::DeviceInfo &target,
             quint16 sendPort, const QByteArray &data, const QString &comment = QString());
    void serialIn(const IOHandler::DeviceInfo &link, const QByteArray &data)
    {
        record(link, true, QHostAddress(), 0, QHostAddress(), 0, data);
    }

    // A TCP connection's bytes, one segment per maxTcpPayload, with the
    // connection's running sequence number `seq` of the first byte.
    void tcpSegments(const IOHandler::DeviceInfo &link, bool inbound, const QHostAddress &src,
                     quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq,
                     quint32 ack, const QByteArray &data);

private:
    // The writer and this link's interface on it, null while not recording.
    std::shared_ptr<TCaptureWriter> interfaceFor(const IOHandler::DeviceInfo &link);
    // Runs write(writer, direction, usec) under the lock while recording.
    template <typename Write>
    void withWriter(const IOHandler::DeviceInfo &link, bool inbound, const Write &write);
    void record(const IOHandler::DeviceInfo &link, bool inbound, const QHostAddress &src,
                quint16 srcPort, const QHostAddress &dst, quint16 dstPort, const QByteArray &data,
                const QString &comment = QString());

    // Blocks come from the link's thread and from direct sends elsewhere.
    std::mutex mutex;
    quint64 generation = 0;
    IOHandler::ConType kind = IOHandler::None;
    int iface = -1;
};
