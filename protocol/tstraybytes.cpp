#include "protocol/tstraybytes.h"

#include <algorithm>

// Only reached while a frame was completed recently: a handful of claims.
quint64 TStrayBytes::claimedBelow(quint64 horizon)
{
    std::sort(claims.begin(), claims.end(),
              [](const Claim &a, const Claim &b) { return a.start < b.start; });
    quint64 claimed = 0;
    quint64 cursor = decided;
    for (const Claim &c : claims) {
        const quint64 from = std::max(c.start, cursor);
        const quint64 to = std::min(c.end, horizon);
        if (to > from) {
            claimed += to - from;
            cursor = to;
        }
    }
    // What lies wholly below the horizon is settled for good.
    int kept = 0;
    for (const Claim &c : claims)
        if (c.end > horizon)
            claims[kept++] = c;
    claims.resize(kept);
    return claimed;
}
