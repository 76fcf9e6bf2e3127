#pragma once

#include "radio/tpairfigures.h"
#include "radio/tradiorules.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class IOHandler;

// The emulated radio between the links: for each block handed from one link
// to another it decides, from the rule of that pair, whether the block is
// lost, sent twice, or how long it waits, and hands it on accordingly. The
// decision is a function of the seed, the pair and the block's index on the
// pair only (TRadioDice); a pair's blocks never overtake each other.
//
// A pair's state is a few words, written only by the thread of its source
// link, which is where every hand-on from that link happens.
class TRadio
{
public:
    // What becomes of one block.
    struct Verdict
    {
        enum class Fate
        {
            Pass, // at dueUs (at once when not after now)
            Lost,
            Down,
            QueueFull
        } fate = Fate::Pass;
        qint64 dueUs = 0;
        int copies = 1;
        // The clock the verdict was taken on; readClock when it needed none.
        qint64 nowUs = readClock;
    };
    // Given as decide()'s time: read the clock only if the verdict needs
    // it, which a pair that is down or clean does not.
    static constexpr qint64 readClock = -1;

    TRadio();
    ~TRadio();
    TRadio(const TRadio &) = delete;
    TRadio &operator=(const TRadio &) = delete;

    // The radio of the process, and whether it is on. Off, a hand-on costs
    // one load of this pointer.
    static TRadio &instance();
    static TRadio *active() { return current.load(std::memory_order_acquire); }
    // Puts `rules` in force (the process radio on); the pairs keep their
    // indexes and their figures.
    void install(std::shared_ptr<const TRadioRules> rules);
    // The process radio off; every pair is clean again.
    void uninstall();
    // The rules in force, null for none.
    const TRadioRules *rules() const { return inForce.load(std::memory_order_acquire); }

    // From the source link's thread.
    Verdict decide(int from, int to, qint64 nowUs, qsizetype bytes);
    void pass(IOHandler &to, int from, const QByteArray &block);

    // One line per pair that carried anything, with a header line.
    QString pairCsv() const;
    // The blocks for `to` lost because their pair was down.
    quint64 downTo(int to) const;
    // How late delayed blocks left against their due time, in all.
    TPairFigures &lateness() { return late; }

private:
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
        // Blocks lost because the pair was down. Beside the rest of the
        // pair, in its source's row, so that a pair that is down costs its
        // decision and one add to a word already in the source's cache,
        // never a line that other sources' threads write.
        std::atomic<quint64> downs{0};
    };
    // The ground station, then up to the most vehicles a relay has.
    static constexpr int linkSlots = 1026;
    static int slotOf(int id);
    Pair *pair(int from, int to);
    TPairFigures *figuresOf(int from, int to) const;
    static void noteLeft(int from, int to, qint64 waitedUs, qint64 lateUs);
    static quint64 downOfLink(int id);

    static std::atomic<TRadio *> current;
    std::atomic<Pair *> rows[linkSlots] = {};
    std::atomic<const TRadioRules *> inForce{nullptr};
    std::mutex installing;
    // Every table ever in force stays until the radio goes: a pair may still
    // point into an older one.
    std::vector<std::shared_ptr<const TRadioRules>> kept;
    TPairFigures late;
};
