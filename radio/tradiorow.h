#pragma once

#include "radio/tpairfigures.h"
#include "radio/tradiorules.h"

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

class IOHandler;

// One source link's side of the emulated radio: a pair for every link it
// may hand a block to, written only from that link's thread; and, for a
// frame to the whole swarm, the vehicles that can hear the source at all
// under the rules in force. A frame then costs a decision per hearer, not
// per vehicle: with a thousand vehicles of which each hears twenty, the
// 979 pairs that are down would otherwise be decided one by one for every
// frame. Those are held down instead: a frame adds one to the row, and a
// held pair's count is the row's since it was held. Letting them go counts
// their blocks into each pair, index and all, as if each had been decided.
class TRadioRow
{
public:
    // The ground station, then up to the most vehicles a relay has.
    static constexpr int pairCount = 1026;

    enum class Burst : quint8
    {
        Good,
        Bad
    };
    struct Pair
    {
        quint64 index = 0;
        qint64 lastDueUs = 0;
        const TRadioRules::Rule *rule = nullptr;
        // The table `rule` was found in. Tables are kept while the radio
        // lives, so no later one has its address: a table from another
        // file, whatever its generation, is never taken for this one.
        const TRadioRules *foundIn = nullptr;
        Burst burst = Burst::Good;
        std::unique_ptr<TRateQueue> ownQueue;
        std::atomic<TPairFigures *> figures{nullptr};
        // Blocks lost because the pair was down, beside the rest of the
        // pair in its source's row: a pair that is down costs an add to a
        // word already in the source's cache, never a line that other
        // sources' threads write.
        std::atomic<quint64> downs{0};
        // The row's count of frames when the pair was held down; notHeld
        // while it is decided block by block.
        std::atomic<qint64> heldSince{notHeld};
    };
    static constexpr qint64 notHeld = -1;

    TRadioRow() = default;
    ~TRadioRow();
    TRadioRow(const TRadioRow &) = delete;
    TRadioRow &operator=(const TRadioRow &) = delete;

    Pair &operator[](int slot) { return pairs[slot]; }
    const Pair &operator[](int slot) const { return pairs[slot]; }

    // From any thread: the blocks lost on the pair to `slot` because it
    // was down, those of a held pair included.
    quint64 downs(int slot) const;

    // The hearers found under `table` for the vehicle list `generation`, or
    // null when they must be found again.
    const std::vector<IOHandler *> *hearers(const TRadioRules *table, quint64 generation) const
    {
        return table == heardUnder && generation == heardIn && heardUnder ? &heard : nullptr;
    }
    // A new list for `table` and `generation`, filled by the calls below;
    // what was held is let go first.
    void startHearers(const TRadioRules *table, quint64 generation);
    void addHearer(IOHandler *to) { heard.push_back(to); }
    void holdDown(int slot);
    // A frame handed to the hearers: each held pair lost one more.
    void routedOne()
    {
        routed.store(routed.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    // Every held pair decided block by block again, its blocks counted.
    void letGo();

private:
    Pair pairs[pairCount];
    std::vector<IOHandler *> heard;
    std::vector<int> held;
    const TRadioRules *heardUnder = nullptr;
    quint64 heardIn = 0;
    // Frames handed to the hearers, and a sequence that is odd while held
    // pairs are being let go, so that a reader never counts a pair's held
    // blocks both in the pair and in the row.
    std::atomic<qint64> routed{0};
    std::atomic<quint32> sequence{0};
};
