#pragma once

#include "link/iohandler.h"
#include "link/tdelayline.h"
#include "link/tendpoint.h"
#include "link/tsendqueue.h"

#include <QMutex>

#include <functional>
#include <vector>

class TLinkCounters;
class TLinkTap;

// How a link sends: one block at a time for a direct call, or everything
// other threads queued for it in one pass of its own thread, where runs of
// blocks for a unicast link's peer go out in batches. Every block sent,
// refused or dropped is counted and, while recording, captured. A link that
// falls behind drops what its queue cannot hold (TSendQueue) and warns
// once for each run of drops, which ends when the queue has drained.
class TLinkSender
{
public:
    // News for the operator, in the link's thread.
    using Warn = std::function<void(const QString &)>;
    // The record, counters and tap are the link's and outlive the sender.
    TLinkSender(const IOHandler::DeviceInfo &record, TLinkCounters &counters, TLinkTap &tap,
                Warn warn);

    // The link's device while it has one open (null when none).
    void setEndpoint(TEndpoint *endpoint);
    // What sends to a UDP record a caller gives while the link's own device
    // is closed or of another kind: a datagram needs no open device.
    void setSpare(TEndpoint *spare);

    // One block now, from any thread; `device` as IOHandler::sendData() takes it.
    void send(const QByteArray &b, const QVariant &device);
    // The same, to the link's own endpoint, recorded with `comment`.
    void sendNoted(const QByteArray &b, const QString &comment);
    // A block handed over from any thread. From the link's own thread, with
    // nothing waiting before it, it goes out at once, as a direct call always
    // did; else it is queued. True when the link must be woken to flush().
    bool take(const QByteArray &b, const QVariant &device, bool inLinkThread);
    // In the link's thread: sends what was queued, in order, until nothing
    // is, or for one bounded pass under a flood; then More, and the link
    // wakes itself again once its other events (its socket) had their turn.
    enum class Flush
    {
        Done,
        More
    };
    Flush flush();
    // In the link's thread: what the emulated radio held and is due now, in
    // order. True when the link must be woken to flush() what was queued.
    bool sendDelayed(const std::vector<TDelayLine::Block> &due, qint64 nowUs);
    // From any thread: the queue's bounds, from the next block on.
    void setLimits(const TSendLimits &limits) { pending.setLimits(limits); }

private:
    // Whether the queue is dropping blocks; the operator hears once a run.
    enum class Overflow
    {
        Flowing,
        Dropping
    };

    // How the last flush found its blocks: one alone, or several that had
    // gathered, as in a burst.
    enum class Arrivals
    {
        Single,
        Grouped
    };

    using Outcome = TEndpoint::Outcome;
    void sendQueued();
    void sendLocked(const QByteArray &b, const QVariant &device,
                    const QString &comment = QString());
    void note(const IOHandler::DeviceInfo &target, const QByteArray &b, Outcome outcome,
              const QString &comment = QString());
    void noteDropped(quint64 dropped);
    // The end of a flush after drops or with a flood's capacity still held.
    void drained();

    const IOHandler::DeviceInfo &record;
    TLinkCounters &counters;
    TLinkTap &tap;
    const Warn warn;
    TEndpoint *endpoint = nullptr;
    TEndpoint *spare = nullptr;
    // Held for every send: direct calls from other threads count in turn.
    QMutex mutex;
    TSendQueue pending;
    std::vector<TSendQueue::Block> sending; // kept for its capacity, but not a flood's
    // The link's thread only.
    Overflow overflow = Overflow::Flowing;
    Arrivals arrivals = Arrivals::Single;
    quint64 droppedInRun = 0;
};
