#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class TCaptureWriter;

// The one recording of the process, where every link hands what it passes.
// While nothing records, a link pays one relaxed load per block.
class TCaptureTap
{
public:
    static bool on() { return recording.load(std::memory_order_relaxed); }
    // Starts recording into `path` (size limit in bytes, 0 for none); false
    // with the reason. Any recording before ends first.
    static bool start(const QString &path, qint64 sizeLimit, QString &error);
    // Writes what is queued and closes the file.
    static void stop();
    // The recording, kept alive for as long as the caller holds it; null
    // when none runs. `generation` tells one recording from the next.
    static std::shared_ptr<TCaptureWriter> current(quint64 *generation = nullptr);
    // Blocks dropped by the current or last recording.
    static quint64 dropped();

private:
    static std::atomic<bool> recording;
    static std::mutex mutex;
    static std::shared_ptr<TCaptureWriter> writer;
    static quint64 generation;
    static quint64 lastDropped;
};
