#pragma once

#include "radio/tpairfigures.h"
#include "radio/tradiorow.h"
#include "radio/tradiorules.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QString>
#include <QVector>

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
    // From `from`'s thread: `block` to every link of `vehicles` but `from`,
    // in order, as pass() hands it to each. `generation` names the list:
    // while it and the rules stay, who can hear `from` is not decided
    // again for every frame.
    void passToAll(int from, const QVector<QSharedPointer<IOHandler>> &vehicles, quint64 generation,
                   const QByteArray &block);

    // One line per pair that carried anything, with a header line.
    QString pairCsv() const;
    // The blocks for `to` lost because their pair was down.
    quint64 downTo(int to) const;
    // How late delayed blocks left against their due time, in all.
    TPairFigures &lateness() { return late; }

private:
    using Pair = TRadioRow::Pair;
    using Burst = TRadioRow::Burst;
    static constexpr int linkSlots = TRadioRow::pairCount;
    static int slotOf(int id);
    // The source's row, made on its first use (from its own thread).
    TRadioRow *row(int slot);
    // The pair's rule under `table`, found once per table.
    static const TRadioRules::Rule *ruleOf(Pair &p, const TRadioRules *table, int from, int to);
    // A pair under this rule passes nothing.
    static bool isDown(const TRadioRules::Rule *rule);
    TPairFigures *figuresOf(int from, int to) const;
    static void noteLeft(int from, int to, qint64 waitedUs, qint64 lateUs);
    static quint64 downOfLink(int id);

    static std::atomic<TRadio *> current;
    std::atomic<TRadioRow *> rows[linkSlots] = {};
    std::atomic<const TRadioRules *> inForce{nullptr};
    std::mutex installing;
    // Every table ever in force stays until the radio goes: a pair may still
    // point into an older one.
    std::vector<std::shared_ptr<const TRadioRules>> kept;
    TPairFigures late;
};
