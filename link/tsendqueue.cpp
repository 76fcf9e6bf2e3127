#include "link/tsendqueue.h"

#include <algorithm>

void TSendQueue::setLimits(const TSendLimits &limits)
{
    std::lock_guard<std::mutex> hold(lock);
    bounds = limits;
    byteLimit = bounds.bytesFor(sendRate);
}

void TSendQueue::noteSendRate(qint64 bytesPerSecond)
{
    std::lock_guard<std::mutex> hold(lock);
    sendRate = bytesPerSecond;
    byteLimit = bounds.bytesFor(sendRate);
}

// The newest block always stays: one block alone is never too much.
void TSendQueue::dropOverflow()
{
    while (bytes > byteLimit && blocks.size() - first > 1)
        dropOldest();
}

bool TSendQueue::take(std::vector<Block> &out, qint64 now, quint64 &dropped)
{
    out.clear();
    std::lock_guard<std::mutex> hold(lock);
    while (first < blocks.size() && now - blocks[first].queuedMs > bounds.maxAgeMs)
        dropOldest();
    dropped = droppedSinceTake;
    droppedSinceTake = 0;
    const size_t queued = blocks.size() - first;
    if (queued == 0) {
        // After an overload the list may have room for a hundred thousand
        // blocks; an idle link keeps no more than one take's worth.
        if (blocks.capacity() > size_t(takeAtMost))
            std::vector<Block>().swap(blocks);
        blocks.clear();
        first = 0;
        state = State::Idle;
        return false;
    }
    // The usual case, a burst that fits one take: the whole list changes
    // hands and nothing is moved.
    if (first == 0 && queued <= size_t(takeAtMost)) {
        blocks.swap(out);
        handedOut += bytes;
        bytes = 0;
    } else {
        const size_t n = std::min(queued, size_t(takeAtMost));
        for (size_t i = 0; i < n; ++i, ++first) {
            const qint64 one = cost(blocks[first].data);
            bytes -= one;
            handedOut += one;
            out.push_back(std::move(blocks[first]));
        }
        compact();
    }
    measureRate(now);
    return true;
}

// What the link was handed out over about a second is what it sends in
// one: the byte bound follows it.
void TSendQueue::measureRate(qint64 now)
{
    if (rate == Rate::Unmeasured) {
        rate = Rate::Measuring;
        rateSinceMs = now;
        handedOut = 0;
        return;
    }
    if (now - rateSinceMs < 1000)
        return;
    sendRate = handedOut * 1000 / (now - rateSinceMs);
    byteLimit = bounds.bytesFor(sendRate);
    rateSinceMs = now;
    handedOut = 0;
}

void TSendQueue::dropOldest()
{
    Block &oldest = blocks[first++];
    bytes -= cost(oldest.data);
    // Let go of the bytes now, not when the slot goes.
    oldest = Block();
    ++droppedSinceTake;
    compact();
}

// Slots before `first` go once they are half the list: each is moved at
// most once more, and the list never grows beyond twice what is queued.
void TSendQueue::compact()
{
    if (first == blocks.size()) {
        blocks.clear();
        first = 0;
    } else if (first * 2 >= blocks.size()) {
        blocks.erase(blocks.begin(), blocks.begin() + std::ptrdiff_t(first));
        first = 0;
    }
}
