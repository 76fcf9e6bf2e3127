#include "radio/tradio.h"

#include "capture/tcapturetap.h"
#include "link/iohandler.h"
#include "link/tlinknames.h"
#include "radio/tradiodice.h"

#include <QStringList>

#include <cmath>

std::atomic<TRadio *> TRadio::current{nullptr};

TRadio::TRadio() = default;

TRadio::~TRadio()
{
    for (auto &row : rows)
        delete row.load();
}

TRadio &TRadio::instance()
{
    static TRadio radio;
    return radio;
}

void TRadio::install(std::shared_ptr<const TRadioRules> table)
{
    const std::lock_guard<std::mutex> hold(installing);
    kept.push_back(table);
    inForce.store(table.get(), std::memory_order_release);
    if (this == &instance()) {
        TDelayLine::setLeftHook(&TRadio::noteLeft);
        TLinkCounters::setRadioLostElsewhere(&TRadio::downOfLink);
        current.store(this, std::memory_order_release);
    }
}

void TRadio::uninstall()
{
    const std::lock_guard<std::mutex> hold(installing);
    if (this == &instance())
        current.store(nullptr, std::memory_order_release);
    inForce.store(nullptr, std::memory_order_release);
}

int TRadio::slotOf(int id)
{
    if (id == TLinkNames::gcsLinkId)
        return 0;
    const int slot = id - TLinkNames::firstUavLinkId + 1;
    return slot >= 1 && slot < linkSlots ? slot : -1;
}

TRadioRow *TRadio::row(int slot)
{
    TRadioRow *r = rows[slot].load(std::memory_order_acquire);
    if (!r) {
        // Only this link's thread makes its row.
        r = new TRadioRow;
        rows[slot].store(r, std::memory_order_release);
    }
    return r;
}

bool TRadio::isDown(const TRadioRules::Rule *rule)
{
    return rule && rule->profile.kind == TRadioProfile::Kind::Down;
}

const TRadioRules::Rule *TRadio::ruleOf(Pair &p, const TRadioRules *table, int from, int to)
{
    if (p.foundIn != table) {
        p.rule = table->find(from, to);
        p.foundIn = table;
    }
    return p.rule;
}

TPairFigures *TRadio::figuresOf(int from, int to) const
{
    const int f = slotOf(from);
    const int t = slotOf(to);
    if (f < 0 || t < 0)
        return nullptr;
    const TRadioRow *row = rows[f].load(std::memory_order_acquire);
    return row ? (*row)[t].figures.load(std::memory_order_acquire) : nullptr;
}

TRadio::Verdict TRadio::decide(int from, int to, qint64 nowUs, qsizetype bytes)
{
    Verdict v;
    v.dueUs = v.nowUs = nowUs;
    const TRadioRules *table = rules();
    const int f = slotOf(from);
    const int t = slotOf(to);
    if (!table || f < 0 || t < 0)
        return v;
    TRadioRow *r = row(f);
    Pair *p = &(*r)[t];
    if (p->heldSince.load(std::memory_order_relaxed) != TRadioRow::notHeld)
        r->letGo();
    if (isDown(ruleOf(*p, table, from, to))) {
        p->index++;
        p->downs.store(p->downs.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        v.fate = Verdict::Fate::Down;
        return v;
    }
    TPairFigures *figures = p->figures.load(std::memory_order_relaxed);
    if (!figures) {
        figures = new TPairFigures;
        p->figures.store(figures, std::memory_order_release);
    }
    figures->handed();
    const quint64 index = p->index++;
    const TRadioProfile *profile = p->rule ? &p->rule->profile : nullptr;
    if (!profile || profile->kind == TRadioProfile::Kind::Clean) {
        figures->delivered(0);
        return v;
    }
    const quint64 seed = table->seed();
    const auto roll = [&](TRadioDice::Salt salt) {
        return TRadioDice::roll(seed, from, to, index, salt);
    };
    bool lost = false;
    if (profile->loss == TRadioProfile::Loss::Independent) {
        lost = roll(TRadioDice::Loss) < profile->lossShare;
    } else if (profile->loss == TRadioProfile::Loss::GilbertElliott) {
        const double change = roll(TRadioDice::BurstState);
        if (p->burst == Burst::Good && change < profile->enterBad)
            p->burst = Burst::Bad;
        else if (p->burst == Burst::Bad && change < profile->leaveBad)
            p->burst = Burst::Good;
        lost = p->burst == Burst::Bad;
    }
    if (lost) {
        figures->lost();
        v.fate = Verdict::Fate::Lost;
        return v;
    }
    if (nowUs == readClock)
        nowUs = v.nowUs = TDelayLine::nowUs();
    qint64 due = nowUs;
    if (profile->rateBitsPerSecond > 0) {
        TRateQueue *queue = p->rule->sharedQueue.get();
        if (!queue) {
            if (!p->ownQueue || p->ownQueue->rate() != profile->rateBitsPerSecond ||
                p->ownQueue->blockLimit() != profile->limit)
                p->ownQueue =
                    std::make_unique<TRateQueue>(profile->rateBitsPerSecond, profile->limit);
            queue = p->ownQueue.get();
        }
        due = queue->admit(nowUs, bytes);
        if (due < 0) {
            figures->queueDropped();
            v.fate = Verdict::Fate::QueueFull;
            return v;
        }
    }
    qint64 delay = profile->delayUs;
    if (profile->jitterUs > 0) {
        const double u = roll(TRadioDice::Jitter);
        if (profile->jitter == TRadioProfile::Jitter::Uniform) {
            delay += qint64(std::llround((2 * u - 1) * double(profile->jitterUs)));
        } else {
            const double w = roll(TRadioDice::JitterSecond);
            const double z = std::sqrt(-2 * std::log(1 - u)) * std::cos(2 * M_PI * w);
            delay += qint64(std::llround(z * double(profile->jitterUs)));
        }
    }
    due += qMax<qint64>(delay, 0);
    // Jitter delays a block, it never lets it overtake the one before.
    due = qMax(due, p->lastDueUs);
    p->lastDueUs = due;
    v.dueUs = due;
    if (profile->duplicateShare > 0 && roll(TRadioDice::Duplicate) < profile->duplicateShare) {
        v.copies = 2;
        figures->duplicated();
    }
    if (due <= nowUs)
        for (int i = 0; i < v.copies; ++i)
            figures->delivered(0);
    return v;
}

void TRadio::pass(IOHandler &to, int from, const QByteArray &block)
{
    const Verdict v = decide(from, to.getDevice().id, readClock, block.size());
    using Fate = Verdict::Fate;
    if (v.fate != Fate::Pass) {
        // Down is counted where the decision was taken.
        if (v.fate == Fate::QueueFull)
            to.counters().radioQueueDroppedOne();
        else if (v.fate == Fate::Lost)
            to.counters().radioLostOne();
        // A lost block costs nothing more unless it is to be recorded.
        const qint64 now = TCaptureTap::on() ? TDelayLine::nowUs() : 0;
        if (now)
            to.sendLater(now, now, from,
                         v.fate == Fate::Down   ? TDelayLine::Mark::Down
                         : v.fate == Fate::Lost ? TDelayLine::Mark::Lost
                                                : TDelayLine::Mark::QueueFull,
                         block);
        return;
    }
    if (v.copies > 1)
        to.counters().radioDuplicatedOne();
    for (int i = 0; i < v.copies; ++i) {
        if (v.dueUs <= v.nowUs)
            emit to.sendBuffSignal(block, QVariant(0));
        else
            to.sendLater(v.dueUs, v.nowUs, from, TDelayLine::Mark::Send, block);
    }
}

void TRadio::passToAll(int from, const QVector<QSharedPointer<IOHandler>> &vehicles,
                       quint64 generation, const QByteArray &block)
{
    const TRadioRules *table = rules();
    const int f = slotOf(from);
    TRadioRow *r = f >= 0 && table ? row(f) : nullptr;
    // A recording shows every block a pair that is down lost.
    if (!r || TCaptureTap::on()) {
        if (r)
            r->letGo();
        for (const auto &to : vehicles)
            if (to && to->getDevice().id != from)
                pass(*to, from, block);
        return;
    }
    const std::vector<IOHandler *> *hearers = r->hearers(table, generation);
    if (!hearers) {
        r->startHearers(table, generation);
        for (const auto &to : vehicles) {
            if (!to || to->getDevice().id == from)
                continue;
            const int id = to->getDevice().id;
            const int t = slotOf(id);
            if (t >= 0 && isDown(ruleOf((*r)[t], table, from, id)))
                r->holdDown(t);
            else
                r->addHearer(to.data());
        }
        hearers = r->hearers(table, generation);
    }
    r->routedOne();
    for (IOHandler *to : *hearers)
        pass(*to, from, block);
}

void TRadio::noteLeft(int from, int to, qint64 waitedUs, qint64 lateUs)
{
    TRadio &radio = instance();
    radio.late.delivered(lateUs);
    if (TPairFigures *figures = radio.figuresOf(from, to))
        figures->delivered(waitedUs);
}

quint64 TRadio::downTo(int to) const
{
    const int t = slotOf(to);
    quint64 sum = 0;
    for (int f = 0; t >= 0 && f < linkSlots; ++f)
        if (const TRadioRow *row = rows[f].load(std::memory_order_acquire))
            sum += row->downs(t);
    return sum;
}

quint64 TRadio::downOfLink(int id)
{
    return instance().downTo(id);
}

QString TRadio::pairCsv() const
{
    QStringList lines{QLatin1String(TPairFigures::csvHeader)};
    const auto idOf = [](int slot) {
        return slot == 0 ? TLinkNames::gcsLinkId : TLinkNames::firstUavLinkId + slot - 1;
    };
    const TPairFigures none;
    for (int f = 0; f < linkSlots; ++f) {
        const TRadioRow *row = rows[f].load(std::memory_order_acquire);
        for (int t = 0; row && t < linkSlots; ++t) {
            const quint64 downs = row->downs(t);
            const TPairFigures *figures = (*row)[t].figures.load(std::memory_order_acquire);
            if (figures || downs)
                lines << TLinkNames::shortName(idOf(f)) + QLatin1Char(',') +
                             TLinkNames::shortName(idOf(t)) + QLatin1Char(',') +
                             (figures ? figures : &none)->csv(downs);
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
