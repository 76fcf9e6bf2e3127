#include "capture/tcapturewriter.h"

#include <chrono>

TCaptureWriter::TCaptureWriter(int queueRecords, QObject *parent)
    : QObject(parent), capacity(size_t(qMax(1, queueRecords)))
{
}

TCaptureWriter::~TCaptureWriter()
{
    stop();
}

qint64 TCaptureWriter::nowUsec()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

bool TCaptureWriter::start(const QString &path, QString &error, qint64 sizeLimit)
{
    stop();
    if (!file.open(path, error))
        return false;
    limit = sizeLimit;
    droppedCount.store(0);
    writtenCount.store(0);
    {
        const std::lock_guard<std::mutex> locker(mutex);
        queue.clear();
        queue.reserve(capacity);
        queuedPackets = 0;
        interfaces = 0;
        recording = true;
        stopping = false;
    }
    worker = std::thread([this] { run(); });
    return true;
}

void TCaptureWriter::stop()
{
    {
        const std::lock_guard<std::mutex> locker(mutex);
        stopping = true;
    }
    wake.notify_one();
    // A slot connected directly to stopped() runs in the writer's thread,
    // which is ending anyway; it is joined by the next start() or stop().
    if (worker.get_id() == std::this_thread::get_id())
        return;
    if (worker.joinable())
        worker.join();
    const std::lock_guard<std::mutex> locker(mutex);
    recording = false;
}

bool TCaptureWriter::isRecording() const
{
    const std::lock_guard<std::mutex> locker(mutex);
    return recording && !stopping;
}

int TCaptureWriter::addInterface(Kind kind, const QString &name, const QString &description)
{
    Record r{Record::Interface, TPcapngFile::Inbound, kind, 0, 0, 0, 0, {}, {}, {}, name,
             description};
    bool notify = false;
    int index = -1;
    {
        const std::lock_guard<std::mutex> locker(mutex);
        if (!recording || stopping)
            return -1;
        index = interfaces++;
        r.iface = index;
        queue.push_back(std::move(r));
        std::swap(notify, writerAsleep);
    }
    if (notify)
        wake.notify_one();
    return index;
}

bool TCaptureWriter::udp(int iface, qint64 usec, Direction direction, const QHostAddress &src,
                         quint16 srcPort, const QHostAddress &dst, quint16 dstPort,
                         const QByteArray &payload, const QString &comment)
{
    return ipPacket(Record{Record::UdpPacket,
                           direction,
                           TPcapngFile::Udp,
                           srcPort,
                           dstPort,
                           iface,
                           usec,
                           src,
                           dst,
                           payload,
                           {},
                           comment},
                    TPcapngFile::maxUdpPayload);
}

bool TCaptureWriter::tcp(int iface, qint64 usec, Direction direction, const QHostAddress &src,
                         quint16 srcPort, const QHostAddress &dst, quint16 dstPort, quint32 seq,
                         quint32 ack, const QByteArray &payload)
{
    return ipPacket(Record{Record::TcpPacket,
                           direction,
                           TPcapngFile::Udp,
                           srcPort,
                           dstPort,
                           iface,
                           usec,
                           src,
                           dst,
                           payload,
                           {},
                           {},
                           seq,
                           ack},
                    TPcapngFile::maxTcpPayload);
}

bool TCaptureWriter::ipPacket(Record &&record, int maxPayload)
{
    // The file describes IPv4 packets only; anything else is counted here
    // rather than ending the recording as the writer's failures do.
    bool src4 = false;
    bool dst4 = false;
    record.src.toIPv4Address(&src4);
    record.dst.toIPv4Address(&dst4);
    if (!src4 || !dst4 || record.bytes.size() > maxPayload) {
        droppedCount.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return push(std::move(record));
}

bool TCaptureWriter::raw(int iface, qint64 usec, Direction direction, const QByteArray &bytes,
                         const QString &comment)
{
    return push(Record{Record::RawPacket,
                       direction,
                       TPcapngFile::Serial,
                       0,
                       0,
                       iface,
                       usec,
                       {},
                       {},
                       bytes,
                       {},
                       comment});
}

bool TCaptureWriter::push(Record &&record)
{
    bool notify = false;
    {
        const std::lock_guard<std::mutex> locker(mutex);
        if (!recording || stopping || queuedPackets >= capacity) {
            droppedCount.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        queue.push_back(std::move(record));
        ++queuedPackets;
        // Only the first packet after the writer went to sleep wakes it;
        // the others find it awake, and a notify costs a system call.
        std::swap(notify, writerAsleep);
    }
    if (notify)
        wake.notify_one();
    return true;
}

void TCaptureWriter::run()
{
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(flushIntervalMs);
    auto nextFlush = Clock::now() + interval;
    bool unflushed = false;
    // Swapped with the queue, so the producers fill one vector while this
    // thread writes the other, and neither allocates once both have grown.
    std::vector<Record> batch;
    batch.reserve(capacity);
    QString reason;
    for (;;) {
        bool last = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            const auto ready = [this] { return !queue.empty() || stopping; };
            if (!ready()) {
                writerAsleep = true;
                if (unflushed)
                    wake.wait_until(lock, nextFlush, ready);
                else
                    wake.wait(lock, ready);
                writerAsleep = false;
            }
            batch.swap(queue);
            queuedPackets = 0;
            last = stopping;
        }
        bool ok = true;
        for (const Record &r : batch) {
            if (ok)
                ok = write(r, reason);
            if (r.type != Record::Interface)
                (ok ? writtenCount : droppedCount).fetch_add(1, std::memory_order_relaxed);
        }
        unflushed = unflushed || !batch.empty();
        batch.clear();
        if (ok && (last || (unflushed && Clock::now() >= nextFlush))) {
            ok = file.flush();
            if (!ok)
                reason = file.errorString();
            unflushed = false;
            nextFlush = Clock::now() + interval;
        }
        if (!ok || last)
            break;
    }
    if (!reason.isEmpty()) {
        // What is queued now, and what comes later, finds recording over.
        const std::lock_guard<std::mutex> locker(mutex);
        recording = false;
        droppedCount.fetch_add(queuedPackets, std::memory_order_relaxed);
        queue.clear();
        queuedPackets = 0;
    }
    file.close();
    if (!reason.isEmpty())
        emit stopped(reason);
}

bool TCaptureWriter::write(const Record &r, QString &reason)
{
    const qint64 bytes = r.type == Record::Interface
                             ? file.interfaceBlockSize(r.name, r.description)
                             : file.packetBlockSize(r.iface, r.bytes.size(), r.description) +
                                   (r.type == Record::TcpPacket ? TPcapngFile::tcpExtraHeader : 0);
    if (limit > 0 && file.size() + bytes > limit) {
        reason = QStringLiteral("Capture file %1 reached its size limit of %2 bytes")
                     .arg(file.path())
                     .arg(limit);
        return false;
    }
    bool ok = false;
    switch (r.type) {
    case Record::Interface:
        ok = file.addInterface(r.kind, r.name, r.description) == r.iface;
        break;
    case Record::UdpPacket:
        ok = file.writeUdp(r.iface, r.usec, r.direction, r.src, r.srcPort, r.dst, r.dstPort,
                           r.bytes, r.description);
        break;
    case Record::RawPacket:
        ok = file.writeRaw(r.iface, r.usec, r.direction, r.bytes, r.description);
        break;
    case Record::TcpPacket:
        ok = file.writeTcp(r.iface, r.usec, r.direction, r.src, r.srcPort, r.dst, r.dstPort, r.seq,
                           r.ack, r.bytes);
        break;
    }
    if (!ok)
        reason = file.errorString();
    return ok;
}
