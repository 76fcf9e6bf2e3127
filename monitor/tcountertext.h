#pragma once

#include "monitor/tlinkmonitor.h"

#include <QString>

// A link's sample in words: a short line for its row, and every figure,
// exact, for its tooltip.
class TCounterText
{
public:
    // "open  in 12/s  out 30/s  1.2k / 5.6k", "quiet …", "closed",
    // "failed: <reason>".
    static QString line(const TLinkMonitor::Sample &s);
    static QString tooltip(const TLinkMonitor::Sample &s, bool vehicle);
    // Whole numbers below ten thousand, then one decimal and k or M.
    static QString compact(quint64 n);
    // With the locale's digit grouping, never rounded.
    static QString exact(quint64 n);
};
