#pragma once

#include "capture/tpcapngfile.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Records what the links pass into a capture file from a thread of its own.
// The links hand each packet over through a bounded queue and never wait
// for the disk: a packet that finds the queue full is dropped and counted,
// since a slow disk must not slow the relay down.
class TCaptureWriter : public QObject
{
    Q_OBJECT
public:
    using Kind = TPcapngFile::Kind;
    using Direction = TPcapngFile::Direction;

    static constexpr int defaultQueueRecords = 65536;

    explicit TCaptureWriter(int queueRecords = defaultQueueRecords, QObject *parent = nullptr);
    ~TCaptureWriter() override;

    // Opens the file in the caller's thread, so that a bad path is told at
    // once, and starts the writer. `sizeLimit` in bytes, 0 for none.
    bool start(const QString &path, QString &error, qint64 sizeLimit = 0);
    // Writes what is queued, closes the file and joins the writer.
    void stop();

    // Any thread, at any time while recording. The interface is written in
    // order with the packets, and never dropped: the packets after it
    // would otherwise name an interface the file does not have.
    int addInterface(Kind kind, const QString &name, const QString &description);
    // Any thread; false when the packet was dropped: the queue was full,
    // recording is over, or the datagram is not one of IPv4.
    bool udp(int iface, qint64 usecSinceEpoch, Direction direction, const QHostAddress &src,
             quint16 srcPort, const QHostAddress &dst, quint16 dstPort, const QByteArray &payload,
             const QString &comment = QString());
    bool tcp(int iface, qint64 usecSinceEpoch, Direction direction, const QHostAddress &src,
             quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq, quint32 ack,
             const QByteArray &payload);
    bool raw(int iface, qint64 usecSinceEpoch, Direction direction, const QByteArray &bytes,
             const QString &comment = QString());

    bool isRecording() const;
    quint64 dropped() const { return droppedCount.load(std::memory_order_relaxed); }
    quint64 written() const { return writtenCount.load(std::memory_order_relaxed); }

    static qint64 nowUsec();

    // How long written packets may wait in memory before they reach the file.
    static constexpr int flushIntervalMs = 1000;

signals:
    // Recording ended by itself: the size limit was reached or the file
    // could not be written. Sent from the writer's thread.
    void stopped(const QString &reason);

private:
    struct Record
    {
        enum Type : quint8
        {
            Interface,
            UdpPacket,
            RawPacket,
            TcpPacket
        } type;
        Direction direction;
        Kind kind;
        quint16 srcPort;
        quint16 dstPort;
        int iface;
        qint64 usec;
        QHostAddress src;
        QHostAddress dst;
        QByteArray bytes;
        QString name;
        QString description; // an interface's; a packet's comment
        quint32 seq = 0;
        quint32 ack = 0;
    };

    bool push(Record &&record);
    bool ipPacket(Record &&record, int maxPayload);
    void run();
    // Writes one record; false with the reason once recording must end.
    bool write(const Record &record, QString &reason);

    const size_t capacity;
    qint64 limit = 0;
    TPcapngFile file;
    std::thread worker;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::vector<Record> queue;
    size_t queuedPackets = 0;
    int interfaces = 0;
    bool recording = false;
    bool stopping = false;
    bool writerAsleep = false;

    std::atomic<quint64> droppedCount{0};
    std::atomic<quint64> writtenCount{0};
};
