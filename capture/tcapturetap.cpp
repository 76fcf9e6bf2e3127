#include "capture/tcapturetap.h"

#include "capture/tcapturewriter.h"

std::atomic<bool> TCaptureTap::recording{false};
std::mutex TCaptureTap::mutex;
std::shared_ptr<TCaptureWriter> TCaptureTap::writer;
quint64 TCaptureTap::generation = 0;
quint64 TCaptureTap::lastDropped = 0;

bool TCaptureTap::start(const QString &path, qint64 sizeLimit, QString &error)
{
    stop();
    auto fresh = std::make_shared<TCaptureWriter>();
    if (!fresh->start(path, error, sizeLimit))
        return false;
    const std::lock_guard<std::mutex> locker(mutex);
    writer = fresh;
    ++generation;
    recording.store(true, std::memory_order_relaxed);
    return true;
}

void TCaptureTap::stop()
{
    std::shared_ptr<TCaptureWriter> old;
    {
        const std::lock_guard<std::mutex> locker(mutex);
        recording.store(false, std::memory_order_relaxed);
        old.swap(writer);
    }
    if (!old)
        return;
    // Links may still hold it for a block in hand; it is written and closed
    // now, and freed by the last of them.
    old->stop();
    const std::lock_guard<std::mutex> locker(mutex);
    lastDropped = old->dropped();
}

std::shared_ptr<TCaptureWriter> TCaptureTap::current(quint64 *which)
{
    const std::lock_guard<std::mutex> locker(mutex);
    if (which)
        *which = generation;
    return writer;
}

quint64 TCaptureTap::dropped()
{
    const std::lock_guard<std::mutex> locker(mutex);
    return writer ? writer->dropped() : lastDropped;
}
