#include "radio/tpairfigures.h"

#include <cmath>

int TPairFigures::bucketOf(qint64 us)
{
    if (us <= 0)
        return 0;
    const int b = int(std::log2(double(us) + 1) * 4);
    return qMin(b, bucketCount - 1);
}

// The inverse of bucketOf(): the least delay a bucket holds.
double TPairFigures::bucketStartUs(int bucket)
{
    return bucket == 0 ? 0 : std::exp2(bucket / 4.0) - 1;
}

void TPairFigures::delivered(qint64 waitedUs)
{
    add(deliveredCount);
    add(waitedSumUs, quint64(qMax<qint64>(waitedUs, 0)));
    buckets[bucketOf(waitedUs)].fetch_add(1, std::memory_order_relaxed);
}

void TPairFigures::clear()
{
    for (std::atomic<quint64> *c : {&handedCount, &deliveredCount, &lostCount, &duplicatedCount,
                                    &queueDroppedCount, &waitedSumUs})
        c->store(0, std::memory_order_relaxed);
    for (std::atomic<quint32> &b : buckets)
        b.store(0, std::memory_order_relaxed);
}

qint64 TPairFigures::percentileUs(int percent) const
{
    quint32 counts[bucketCount];
    quint64 total = 0;
    for (int b = 0; b < bucketCount; ++b) {
        counts[b] = buckets[b].load(std::memory_order_relaxed);
        total += counts[b];
    }
    // Within its bucket, the rank is taken as spread evenly.
    const double rank = double(total) * percent / 100;
    quint64 seen = 0;
    for (int b = 0; b < bucketCount && total; ++b) {
        if (double(seen + counts[b]) >= rank) {
            const double share = counts[b] ? (rank - double(seen)) / counts[b] : 0;
            return qint64(bucketStartUs(b) + share * (bucketStartUs(b + 1) - bucketStartUs(b)));
        }
        seen += counts[b];
    }
    return 0;
}

QString TPairFigures::csv(quint64 down) const
{
    const quint64 delivered = deliveredCount.load(std::memory_order_relaxed);
    const double p99 = double(percentileUs(99));
    const double mean =
        delivered ? double(waitedSumUs.load(std::memory_order_relaxed)) / double(delivered) : 0;
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
        .arg(handedCount.load(std::memory_order_relaxed) + down)
        .arg(delivered)
        .arg(lostCount.load(std::memory_order_relaxed) + down)
        .arg(duplicatedCount.load(std::memory_order_relaxed))
        .arg(queueDroppedCount.load(std::memory_order_relaxed))
        .arg(mean / 1000, 0, 'f', 3)
        .arg(p99 / 1000, 0, 'f', 3);
}
