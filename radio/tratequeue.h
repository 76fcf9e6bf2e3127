#pragma once

#include <QtGlobal>

#include <deque>
#include <mutex>

// A channel of a given bit rate: each block takes its bytes' time on it,
// after whatever is ahead of it; at most `limit` blocks wait. Pairs that
// share a rule with a wildcard share one, from whichever threads.
class TRateQueue
{
public:
    TRateQueue(qint64 bitsPerSecond, int limit) : bitsPerSecond(bitsPerSecond), limit(limit) {}

    // When a block of `bytes` handed over at `nowUs` has been carried
    // (microseconds, steady clock), or -1 when the queue is full.
    qint64 admit(qint64 nowUs, qsizetype bytes)
    {
        const std::lock_guard<std::mutex> hold(lock);
        while (!finishes.empty() && finishes.front() <= nowUs)
            finishes.pop_front();
        if (int(finishes.size()) >= limit)
            return -1;
        const qint64 start = finishes.empty() ? nowUs : qMax(nowUs, finishes.back());
        // Rounded from the fraction carried over, so that short blocks at a
        // high rate still add up to the rate.
        carryBitUs += qint64(bytes) * 8 * 1000000;
        const qint64 takes = carryBitUs / bitsPerSecond;
        carryBitUs -= takes * bitsPerSecond;
        finishes.push_back(start + takes);
        return finishes.back();
    }
    qint64 rate() const { return bitsPerSecond; }
    int blockLimit() const { return limit; }

private:
    const qint64 bitsPerSecond;
    const int limit;
    std::mutex lock;
    std::deque<qint64> finishes;
    qint64 carryBitUs = 0;
};
