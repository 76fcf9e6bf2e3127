#include "link/tloopguard.h"

#include "link/tsendhistory.h"

#include <chrono>

namespace {
qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

void TLoopGuard::startWindowIfDue(qint64 now)
{
    if (now - windowStartMs < 1000)
        return;
    // A whole second at or below the bound ends a loop.
    if (state == State::Looping && echoesInWindow <= echoesPerSecondForLoop)
        state = State::QuietAfterLoop;
    windowStartMs = now;
    echoesInWindow = 0;
}

TLoopGuard::Verdict TLoopGuard::check(const QByteArray &block)
{
    if (!TSendHistory::sentRecently(block))
        return Pass;
    startWindowIfDue(nowMs());
    ++echoesInWindow;
    if (state == State::Looping) {
        droppedCount.fetch_add(1, std::memory_order_relaxed);
        return Drop;
    }
    if (echoesInWindow <= echoesPerSecondForLoop)
        return Pass;
    const bool first = state == State::Quiet;
    state = State::Looping;
    droppedCount.fetch_add(1, std::memory_order_relaxed);
    return first ? DropLoopFound : Drop;
}

void TLoopGuard::reset()
{
    state = State::Quiet;
    windowStartMs = 0;
    echoesInWindow = 0;
}
