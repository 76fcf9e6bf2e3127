#pragma once

#include <QByteArray>

#include <atomic>

// Watches what one link receives for blocks this process sent itself
// within the last second. A few are traffic (a peer that repeats what it
// hears); more than a hundred a second is a loop through some other relay
// or program, which would otherwise circle at full speed. From then on,
// while it lasts, such blocks are dropped and counted; the link's other
// traffic goes on.
class TLoopGuard
{
public:
    enum Verdict
    {
        Pass,
        Drop,
        // The first drop of a loop: tell the operator, once.
        DropLoopFound
    };

    Verdict check(const QByteArray &block);
    // A link opened anew starts without a loop, and would report one again.
    void reset();
    quint64 dropped() const { return droppedCount.load(std::memory_order_relaxed); }

    static constexpr int echoesPerSecondForLoop = 100;

private:
    enum class State
    {
        Quiet,
        Looping,
        // A loop was reported: another one is dropped without a word.
        QuietAfterLoop
    };
    void startWindowIfDue(qint64 now);

    State state = State::Quiet;
    qint64 windowStartMs = 0;
    int echoesInWindow = 0;
    std::atomic<quint64> droppedCount{0};
};
