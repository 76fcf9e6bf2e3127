#pragma once

#include <QByteArray>

#include <atomic>

// Which blocks this process relayed lately (recorded once for each block
// handed on, not for every link it goes to), for telling a loop from traffic:
// a block that comes back, unchanged, within a second of being sent. Every
// link thread records and asks without locks: a table of slots, each the
// block's hash beside the time it went out. A newer block may take an
// older one's slot; that only makes the history forget early.
class TSendHistory
{
public:
    static void record(const QByteArray &block);
    // The same bytes were sent within the last second.
    static bool sentRecently(const QByteArray &block);

private:
    static constexpr int slotCount = 1 << 14;
    static constexpr qint64 memoryMs = 1000;
    static std::atomic<quint64> table[slotCount];
};
