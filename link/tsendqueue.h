#pragma once

#include "link/tsendlimits.h"

#include <QByteArray>
#include <QVariant>

#include <ctime>
#include <mutex>
#include <vector>

// The blocks other threads hand a link to send, in the order they came. A
// fan-out hands one block to many links at once; each link is woken once
// for whatever piles up until it has sent everything, not once per block:
// while it sends, newcomers join the queue without a wake and are taken in
// the same flush. The lock is held only to append or to hand a run of
// blocks out, a handful of instructions, so a plain mutex serves.
//
// A link that cannot keep up must not hold whatever it is handed: the
// queue is bounded by bytes and by age (TSendLimits), and what does not fit
// pushes out the oldest block. A ground station wants the newest telemetry
// and a vehicle the newest command; what is still sent keeps its order.
class TSendQueue
{
public:
    struct Block
    {
        QByteArray data;
        QVariant device; // as sendData() takes it: QVariant(0) for the link's own endpoint
        qint64 queuedMs; // nowMs() when it was put
    };

    // What a queued block costs beside its bytes: its place here and the
    // header and allocation of its array; the bound is one on memory.
    static constexpr qint64 blockOverhead = 96;
    static qint64 cost(const QByteArray &data) { return data.size() + blockOverhead; }
    // Most blocks one take() hands out: a pass of the link's thread stays
    // short, and its socket is read between passes.
    static constexpr int takeAtMost = 4096;
    // A clock cheap enough to read for every block: the coarse clock is
    // read without entering the kernel, in a few instructions, and its tick
    // of a few milliseconds is nothing beside the age bound.
    static qint64 nowMs()
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
        return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }

    explicit TSendQueue(const TSendLimits &limits = TSendLimits()) : bounds(limits)
    {
        byteLimit = limits.bytesFor(0);
    }
    // From any thread; applies from the next put().
    void setLimits(const TSendLimits &limits);
    // The byte bound for a link that sends bytesPerSecond, within the
    // limits; take() sets it about once a second from what it handed out.
    void noteSendRate(qint64 bytesPerSecond);

    // True when the link is idle: the caller posts the one wake.
    bool put(const QByteArray &data, const QVariant &device, qint64 now)
    {
        std::lock_guard<std::mutex> hold(lock);
        blocks.push_back({data, device, now});
        bytes += cost(data);
        if (bytes > byteLimit)
            dropOverflow();
        if (state == State::Flushing)
            return false;
        state = State::Flushing;
        return true;
    }
    // Nothing queued and no flush under way.
    bool isIdle()
    {
        std::lock_guard<std::mutex> hold(lock);
        return state == State::Idle;
    }
    // The oldest blocks queued so far into `out` (emptied first), up to
    // takeAtMost; those older than the age bound at `now` are dropped
    // instead. `dropped` says how many blocks were dropped since the last
    // take, for either bound. False when nothing is left to send: the flush
    // is over, and the next put() wakes the link.
    bool take(std::vector<Block> &out, qint64 now, quint64 &dropped);
    // Bytes held now, as cost() counts them.
    qint64 heldBytes()
    {
        std::lock_guard<std::mutex> hold(lock);
        return bytes;
    }

private:
    enum class State
    {
        Idle,
        Flushing // a wake is posted or the link is sending; puts need no other
    };
    enum class Rate
    {
        Unmeasured, // nothing taken yet
        Measuring
    };
    // Under the lock.
    void dropOverflow();
    void dropOldest();
    void compact();
    void measureRate(qint64 now);

    // std::mutex, which ThreadSanitizer follows (see TLinkManager).
    std::mutex lock;
    // blocks[first..] are queued; those before it were taken or dropped
    // and are let go of in runs, so that dropping the oldest costs no move.
    std::vector<Block> blocks;
    size_t first = 0;
    qint64 bytes = 0;
    qint64 byteLimit = 0;
    qint64 sendRate = 0; // bytes a second, as last measured
    // What take() handed out since rateSinceMs, as cost() counts it.
    qint64 handedOut = 0;
    qint64 rateSinceMs = 0;
    Rate rate = Rate::Unmeasured;
    quint64 droppedSinceTake = 0;
    TSendLimits bounds;
    State state = State::Idle;
};
