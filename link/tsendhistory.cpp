#include "link/tsendhistory.h"

#include <QHash>

#include <chrono>

std::atomic<quint64> TSendHistory::table[TSendHistory::slotCount];

namespace {
quint32 nowMs()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
} // namespace

void TSendHistory::record(const QByteArray &block)
{
    const uint hash = qHash(block);
    table[hash % slotCount].store(quint64(hash) << 32 | nowMs(), std::memory_order_relaxed);
}

bool TSendHistory::sentRecently(const QByteArray &block)
{
    const uint hash = qHash(block);
    const quint64 slot = table[hash % slotCount].load(std::memory_order_relaxed);
    if (slot == 0 || quint32(slot >> 32) != hash)
        return false;
    // Unsigned difference: right across the clock's 32-bit wrap too.
    return quint32(nowMs() - quint32(slot)) <= memoryMs;
}
