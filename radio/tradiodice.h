#pragma once

#include <QtGlobal>

// The radio's chance: a number in [0, 1) that depends on the seed, the
// pair, the block's index on that pair and what it decides (`salt`), and on
// nothing else. No stream is shared between threads, so the outcome never
// depends on which thread came first.
class TRadioDice
{
public:
    enum Salt : quint64
    {
        Loss = 1,
        BurstState = 2,
        Jitter = 3,
        JitterSecond = 4,
        Duplicate = 5
    };

    static double roll(quint64 seed, int from, int to, quint64 index, Salt salt)
    {
        const quint64 pair = (quint64(quint32(from)) << 32) | quint32(to);
        const quint64 h = mix(seed ^ mix(pair ^ mix(index * 8 + salt)));
        return double(h >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    // The finaliser of splitmix64: every input bit reaches every output bit.
    static quint64 mix(quint64 z)
    {
        z += 0x9e3779b97f4a7c15ULL;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
};
