#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>

// Who heard whom on one pair of links: made when the pair first carries a
// block. The figures of the hand-on are written by the source link's
// thread, those of a block sent after waiting by the destination's, so
// every figure is an atomic add.
class TPairFigures
{
public:
    void handed() { add(handedCount); }
    void lost() { add(lostCount); }
    void duplicated() { add(duplicatedCount); }
    void queueDropped() { add(queueDroppedCount); }
    void delivered(qint64 waitedUs);
    // Every figure back to zero, while nothing is handed on.
    void clear();

    // Of the delays delivered() was given.
    qint64 percentileUs(int percent) const;
    // "handed,delivered,lost,duplicated,queue_dropped,mean_ms,p99_ms", with
    // `down` blocks counted elsewhere as handed and lost.
    QString csv(quint64 down = 0) const;
    static constexpr const char *csvHeader =
        "from,to,handed,delivered,lost,duplicated,queue_dropped,mean_delay_ms,p99_delay_ms";

private:
    // Four buckets an octave of microseconds; a percentile is interpolated
    // within its bucket.
    static constexpr int bucketCount = 4 * 26;
    static int bucketOf(qint64 us);
    static double bucketStartUs(int bucket);
    static void add(std::atomic<quint64> &counter, quint64 by = 1)
    {
        counter.fetch_add(by, std::memory_order_relaxed);
    }

    std::atomic<quint64> handedCount{0};
    std::atomic<quint64> deliveredCount{0};
    std::atomic<quint64> lostCount{0};
    std::atomic<quint64> duplicatedCount{0};
    std::atomic<quint64> queueDroppedCount{0};
    std::atomic<quint64> waitedSumUs{0};
    std::atomic<quint32> buckets[bucketCount] = {};
};
