#pragma once

#include <QtGlobal>

// How much a link's send queue may hold. A block that waited longer than
// maxAgeMs is stale for a ground station or a vehicle alike and is not
// sent; and since a link drains about one second of its own traffic in a
// second, the queue holds about maxAgeMs of what the link was seen to send,
// never less than minBytes (a burst on a link that was quiet has no rate
// yet) and never more than maxBytes (a link that sends fast would otherwise
// hold more memory than the whole relay needs idle).
struct TSendLimits
{
    qint64 minBytes = 4 * 1024 * 1024;
    qint64 maxBytes = 16 * 1024 * 1024;
    qint64 maxAgeMs = 1000;

    // The byte bound for a link that sends bytesPerSecond.
    qint64 bytesFor(qint64 bytesPerSecond) const
    {
        return qBound(minBytes, bytesPerSecond * maxAgeMs / 1000, qMax(minBytes, maxBytes));
    }
};
