#pragma once

#include <QByteArray>
#include <QVariant>

#include <mutex>
#include <vector>

// The blocks other threads hand a link to send, in the order they came. A
// fan-out hands one block to many links at once; each link is woken once
// for whatever piles up until it has sent everything, not once per block:
// while it sends, newcomers join the queue without a wake and are taken in
// the same flush. The lock is held only to append or to swap the whole list
// out, a handful of instructions, so a plain mutex serves.
class TSendQueue
{
public:
    struct Block
    {
        QByteArray data;
        QVariant device; // as sendData() takes it: QVariant(0) for the link's own endpoint
    };

    // True when the link is idle: the caller posts the one wake.
    bool put(const QByteArray &data, const QVariant &device)
    {
        std::lock_guard<std::mutex> hold(lock);
        blocks.push_back({data, device});
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
    // Everything queued so far into `out` (emptied first). False when there
    // was nothing: the flush is over, and the next put() wakes the link.
    bool takeAll(std::vector<Block> &out)
    {
        out.clear();
        std::lock_guard<std::mutex> hold(lock);
        blocks.swap(out);
        if (out.empty())
            state = State::Idle;
        return !out.empty();
    }

private:
    enum class State
    {
        Idle,
        Flushing // a wake is posted or the link is sending; puts need no other
    };
    // std::mutex, which ThreadSanitizer follows (see TLinkManager).
    std::mutex lock;
    std::vector<Block> blocks;
    State state = State::Idle;
};
