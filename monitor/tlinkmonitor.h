#pragma once

#include "link/tlinkcounters.h"
#include "monitor/tlinkstates.h"

#include <QDateTime>
#include <QHash>

class IOHandler;

// Reads the links' counters now and then, from whichever thread shows them,
// and tells what a reader wants to see: the figures since the last reset,
// the rates since the previous read, and whether an open link has gone
// quiet. Nothing here touches the forwarding path: a reset only moves the
// point the figures are counted from.
class TLinkMonitor
{
public:
    struct Sample
    {
        TLinkStates::State state = TLinkStates::State::Closed;
        QString failure;
        TLinkStates::Awaits awaits = TLinkStates::Awaits::Port;
        TLinkCounters::Snapshot counts;
        // Blocks a second, over the time since the previous sample.
        double rxRate = 0;
        double txRate = 0;
        // Open, and nothing received for quietAfterMs.
        bool quiet = false;
        // When a block was last seen to arrive (to within one sample);
        // invalid before the first.
        QDateTime lastRxAt;
    };

    static constexpr qint64 quietAfterMs = 3000;

    explicit TLinkMonitor(const TLinkStates &states) : states(states) {}

    // `nowMs` runs on a steady clock.
    Sample sample(int id, const IOHandler &link, qint64 nowMs);
    // The figures since the last reset alone, for readers other than the
    // one the rates are for.
    TLinkCounters::Snapshot counts(int id, const IOHandler &link);
    void reset(int id);
    void resetAll();
    // The link under `id` is gone: one made later under it starts afresh.
    void forget(int id) { tracks.remove(id); }

private:
    // By link id: whoever removes a link forgets its track, so that a link
    // made later under that id starts afresh.
    struct Track
    {
        TLinkCounters::Snapshot last;
        TLinkCounters::Snapshot base;
        QDateTime resetAt;
        qint64 sampledAt = -1;
        qint64 heardAt = -1; // rx grew, or the link was first seen open
        QDateTime lastRxAt;
        bool wasOpen = false;
        bool resetPending = false;
    };

    static void takeReset(Track &track, const TLinkCounters::Snapshot &raw);
    static TLinkCounters::Snapshot since(const TLinkCounters::Snapshot &raw, const Track &track);

    const TLinkStates &states;
    QHash<int, Track> tracks;
};
