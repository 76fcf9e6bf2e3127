#include "monitor/tlinkmonitor.h"

#include "link/iohandler.h"

namespace {
TLinkCounters::Snapshot minus(const TLinkCounters::Snapshot &now,
                              const TLinkCounters::Snapshot &base)
{
    TLinkCounters::Snapshot d = now;
    d.rxBlocks -= base.rxBlocks;
    d.rxBytes -= base.rxBytes;
    d.txBlocks -= base.txBlocks;
    d.txBytes -= base.txBytes;
    d.gcsFrames -= base.gcsFrames;
    d.uavFrames -= base.uavFrames;
    d.discardedBytes -= base.discardedBytes;
    d.sendErrors -= base.sendErrors;
    d.dropped -= base.dropped;
    d.reconnects -= base.reconnects;
    d.foreignDropped -= base.foreignDropped;
    d.radioLost -= base.radioLost;
    d.radioDuplicated -= base.radioDuplicated;
    d.radioQueueDropped -= base.radioQueueDropped;
    d.radioDelayed -= base.radioDelayed;
    return d;
}
} // namespace

void TLinkMonitor::takeReset(Track &track, const TLinkCounters::Snapshot &raw)
{
    if (!track.resetPending)
        return;
    track.base = raw;
    track.resetAt = QDateTime::currentDateTime();
    track.resetPending = false;
}

TLinkCounters::Snapshot TLinkMonitor::since(const TLinkCounters::Snapshot &raw, const Track &track)
{
    TLinkCounters::Snapshot d = minus(raw, track.base);
    // An error from before the reset is no news any more.
    if (track.resetAt.isValid() && d.lastErrorAt <= track.resetAt)
        d.lastError.clear();
    return d;
}

TLinkCounters::Snapshot TLinkMonitor::counts(int id, const IOHandler &link)
{
    Track &track = tracks[id];
    const TLinkCounters::Snapshot raw = link.countersSnapshot();
    takeReset(track, raw);
    return since(raw, track);
}

TLinkMonitor::Sample TLinkMonitor::sample(int id, const IOHandler &link, qint64 nowMs)
{
    Track &track = tracks[id];
    const TLinkCounters::Snapshot raw = link.countersSnapshot();
    Sample s;
    s.state = states.stateOf(id);
    s.failure = states.failureOf(id);
    s.awaits = states.awaitsOf(id);
    takeReset(track, raw);
    const bool open = s.state == TLinkStates::State::Open;
    if (track.sampledAt >= 0 && nowMs > track.sampledAt) {
        const double seconds = double(nowMs - track.sampledAt) / 1000.0;
        s.rxRate = double(raw.rxBlocks - track.last.rxBlocks) / seconds;
        s.txRate = double(raw.txBlocks - track.last.txBlocks) / seconds;
    }
    if (raw.rxBlocks != track.last.rxBlocks && track.sampledAt >= 0) {
        track.heardAt = nowMs;
        track.lastRxAt = QDateTime::currentDateTime();
    }
    if (open && !track.wasOpen)
        track.heardAt = nowMs;
    track.wasOpen = open;
    s.quiet = open && track.heardAt >= 0 && nowMs - track.heardAt >= quietAfterMs;
    s.lastRxAt = track.lastRxAt;
    s.counts = since(raw, track);
    track.last = raw;
    track.sampledAt = nowMs;
    return s;
}

void TLinkMonitor::reset(int id)
{
    tracks[id].resetPending = true;
}

void TLinkMonitor::resetAll()
{
    for (Track &track : tracks)
        track.resetPending = true;
}
