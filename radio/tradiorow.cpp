#include "radio/tradiorow.h"

TRadioRow::~TRadioRow()
{
    for (Pair &p : pairs)
        delete p.figures.load();
}

quint64 TRadioRow::downs(int slot) const
{
    const Pair &p = pairs[slot];
    for (;;) {
        const quint32 before = sequence.load(std::memory_order_acquire);
        const quint64 counted = p.downs.load(std::memory_order_relaxed);
        const qint64 since = p.heldSince.load(std::memory_order_relaxed);
        const qint64 now = routed.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (!(before & 1) && sequence.load(std::memory_order_relaxed) == before)
            // A count read before the hold may lag it: nothing held yet.
            return counted + quint64(since == notHeld || now < since ? 0 : now - since);
    }
}

void TRadioRow::startHearers(const TRadioRules *table, quint64 generation)
{
    letGo();
    heardUnder = table;
    heardIn = generation;
}

void TRadioRow::holdDown(int slot)
{
    Pair &p = pairs[slot];
    if (p.heldSince.load(std::memory_order_relaxed) != notHeld)
        return;
    p.heldSince.store(routed.load(std::memory_order_relaxed), std::memory_order_relaxed);
    held.push_back(slot);
}

void TRadioRow::letGo()
{
    heard.clear();
    heardUnder = nullptr;
    if (held.empty())
        return;
    const quint32 s = sequence.load(std::memory_order_relaxed);
    sequence.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    const qint64 now = routed.load(std::memory_order_relaxed);
    for (int slot : held) {
        Pair &p = pairs[slot];
        const quint64 lost = quint64(now - p.heldSince.load(std::memory_order_relaxed));
        p.index += lost;
        p.downs.store(p.downs.load(std::memory_order_relaxed) + lost, std::memory_order_relaxed);
        p.heldSince.store(notHeld, std::memory_order_relaxed);
    }
    sequence.store(s + 2, std::memory_order_release);
    held.clear();
}
