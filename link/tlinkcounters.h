#pragma once

#include <QtGlobal>

#include <atomic>

// What passed through one link. Only the link's own thread writes, so a
// count is a plain load and store with no locked instruction on the
// forwarding path; any thread may read a value at any time.
class TLinkCounters
{
public:
    struct Snapshot
    {
        quint64 rxBlocks = 0;
        quint64 rxBytes = 0;
        quint64 txBlocks = 0;
        quint64 txBytes = 0;
    };

    void received(qsizetype bytes)
    {
        bump(rxBlocks, 1);
        bump(rxBytes, quint64(bytes));
    }
    void sent(qsizetype bytes)
    {
        bump(txBlocks, 1);
        bump(txBytes, quint64(bytes));
    }
    Snapshot snapshot() const
    {
        Snapshot s;
        s.rxBlocks = rxBlocks.load(std::memory_order_relaxed);
        s.rxBytes = rxBytes.load(std::memory_order_relaxed);
        s.txBlocks = txBlocks.load(std::memory_order_relaxed);
        s.txBytes = txBytes.load(std::memory_order_relaxed);
        return s;
    }

private:
    static void bump(std::atomic<quint64> &counter, quint64 by)
    {
        counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
    }

    std::atomic<quint64> rxBlocks{0};
    std::atomic<quint64> rxBytes{0};
    std::atomic<quint64> txBlocks{0};
    std::atomic<quint64> txBytes{0};
};
