#pragma once

#include <QByteArray>
#include <QVariant>

#include <mutex>
#include <vector>

// The blocks other threads hand a link to send, in the order they came. A
// fan-out hands one block to many links at once; each link is woken once
// for whatever piled up meanwhile, not once per block, and its thread then
// sends the lot in one pass. The lock is held only to append or to swap the
// whole list out: a handful of instructions, so a plain mutex serves.
class TSendQueue
{
public:
    struct Block
    {
        QByteArray data;
        QVariant device; // as sendData() takes it: QVariant(0) for the link's own endpoint
    };

    // True when the queue was empty: no wake is pending, the caller posts one.
    bool put(const QByteArray &data, const QVariant &device)
    {
        std::lock_guard<std::mutex> hold(lock);
        blocks.push_back({data, device});
        return blocks.size() == 1;
    }
    bool isEmpty()
    {
        std::lock_guard<std::mutex> hold(lock);
        return blocks.empty();
    }
    // Everything queued so far into `out` (emptied first); the next put()
    // asks for a new wake.
    void takeAll(std::vector<Block> &out)
    {
        out.clear();
        std::lock_guard<std::mutex> hold(lock);
        blocks.swap(out);
    }

private:
    // std::mutex, which ThreadSanitizer follows (see TLinkManager).
    std::mutex lock;
    std::vector<Block> blocks;
};
