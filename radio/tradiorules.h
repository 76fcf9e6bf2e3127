#pragma once

#include "radio/tradiofile.h"
#include "radio/tratequeue.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

// The rules in force, looked up for a pair: the exact pair, then its
// `from` with any `to`, then any `from` with its `to`, then any to any,
// then the default. Never changed once built: a change of the file or of
// the schedule builds the next table, and pairs look their rule up again
// when the table they saw is not the one in force.
class TRadioRules
{
public:
    struct Rule
    {
        int from;
        int to;
        TRadioProfile profile; // Default already replaced by the file's default
        // A rule with a wildcard carries one queue for every pair it covers;
        // otherwise each pair queues on its own (null here).
        std::shared_ptr<TRateQueue> sharedQueue;
    };

    // `rules` in file order, a later one for the same pair winning.
    // `previous` lends its queues to rules that keep their rate, so a
    // schedule change elsewhere does not empty them.
    TRadioRules(quint64 seed, const TRadioFile::Rule *fallback,
                const QVector<TRadioFile::Rule> &rules, quint32 generation,
                const TRadioRules *previous);

    // Null: the pair is clean.
    const Rule *find(int from, int to) const;
    quint64 seed() const { return diceSeed; }
    quint32 generation() const { return gen; }
    // The rule written for exactly these two names, if any.
    const Rule *written(int from, int to) const;
    // Whether a rule that is not clean names `link` (as `from` or `to`), or
    // applies to every link: what the window marks a link's row by.
    bool names(int link) const { return allNamed || named.contains(link); }

private:
    static quint64 key(int from, int to) { return (quint64(quint32(from)) << 32) | quint32(to); }

    quint64 diceSeed;
    quint32 gen;
    std::vector<std::unique_ptr<Rule>> owned;
    QHash<quint64, const Rule *> byPair; // every written rule, wildcards as anyLink
    const Rule *fallbackRule = nullptr;
    QSet<int> named;
    bool allNamed = false;
};
