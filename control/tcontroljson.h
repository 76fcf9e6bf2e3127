#pragma once

#include "monitor/tlinkfigures.h"

#include <QByteArray>
#include <QString>

// Compact JSON text written straight from links' figures. A `list` of a few
// hundred links built as a document first and then written out costs the
// relay's main thread milliseconds, long enough for a swarm's tick to take
// the CPU away in the middle; written directly it is a fraction of that.
class TControlJson
{
public:
    // `text` as a JSON string, quoted.
    static void appendString(QByteArray &out, const QString &text);
    // One object: counts and gauges as numbers, the rest as strings.
    static void appendObject(QByteArray &out, const TLinkFigures::Fields &fields);
};
