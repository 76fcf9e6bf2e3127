#include "radio/tradiorules.h"

TRadioRules::TRadioRules(quint64 seed, const TRadioFile::Rule *fallback,
                         const QVector<TRadioFile::Rule> &rules, quint32 generation,
                         const TRadioRules *previous)
    : diceSeed(seed), gen(generation)
{
    const TRadioProfile clean;
    const TRadioProfile &defaultProfile = fallback ? fallback->profile : clean;
    const auto make = [&](int from, int to, const TRadioProfile &written, bool shares) {
        auto rule = std::make_unique<Rule>();
        rule->from = from;
        rule->to = to;
        rule->profile = written.kind == TRadioProfile::Kind::Default ? defaultProfile : written;
        const TRadioProfile &p = rule->profile;
        if (shares && p.kind == TRadioProfile::Kind::Shaped && p.rateBitsPerSecond > 0) {
            const Rule *before = previous ? previous->written(from, to) : nullptr;
            if (before && before->sharedQueue &&
                before->sharedQueue->rate() == p.rateBitsPerSecond &&
                before->sharedQueue->blockLimit() == p.limit)
                rule->sharedQueue = before->sharedQueue;
            else
                rule->sharedQueue = std::make_shared<TRateQueue>(p.rateBitsPerSecond, p.limit);
        }
        owned.push_back(std::move(rule));
        return owned.back().get();
    };
    for (const TRadioFile::Rule &r : rules) {
        const int from = TRadioFile::linkId(r.from);
        const int to = TRadioFile::linkId(r.to);
        const bool wildcard = from == TRadioFile::anyLink || to == TRadioFile::anyLink;
        byPair.insert(key(from, to), make(from, to, r.profile, wildcard));
    }
    for (const Rule *rule : qAsConst(byPair)) {
        if (rule->profile.kind == TRadioProfile::Kind::Clean)
            continue;
        allNamed |= rule->from == TRadioFile::anyLink && rule->to == TRadioFile::anyLink;
        for (int end : {rule->from, rule->to})
            if (end != TRadioFile::anyLink)
                named.insert(end);
    }
    // The default is every pair's own radio, not one channel for all.
    if (fallback) {
        fallbackRule = make(TRadioFile::anyLink, TRadioFile::anyLink, defaultProfile, false);
        allNamed |= defaultProfile.kind != TRadioProfile::Kind::Clean;
    }
    // "* to *" written out is the most general rule before the default.
    if (const Rule *any = byPair.value(key(TRadioFile::anyLink, TRadioFile::anyLink)))
        fallbackRule = any;
}

const TRadioRules::Rule *TRadioRules::written(int from, int to) const
{
    return byPair.value(key(from, to));
}

const TRadioRules::Rule *TRadioRules::find(int from, int to) const
{
    if (const Rule *r = byPair.value(key(from, to)))
        return r;
    if (const Rule *r = byPair.value(key(from, TRadioFile::anyLink)))
        return r;
    if (const Rule *r = byPair.value(key(TRadioFile::anyLink, to)))
        return r;
    return fallbackRule;
}
