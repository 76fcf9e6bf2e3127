#pragma once

#include <QString>
#include <QtGlobal>

// What a radio does to the blocks of one pair of links, in the words of the
// kernel's network emulator: "delay 20ms 5ms loss 1%", "loss gemodel 1 20",
// "rate 64kbit limit 50", "duplicate 2%", "down", "clean", "default".
struct TRadioProfile
{
    enum class Kind
    {
        Clean,  // every block at once, as without a radio
        Shaped, // the figures below apply
        Down,   // nothing passes
        Default // whatever the file's default is
    };
    enum class Loss
    {
        None,
        Independent,
        GilbertElliott // two states; every block in the bad one is lost
    };
    enum class Jitter
    {
        Uniform,
        Normal
    };

    Kind kind = Kind::Clean;
    qint64 delayUs = 0;
    qint64 jitterUs = 0;
    Jitter jitter = Jitter::Uniform;
    Loss loss = Loss::None;
    double lossShare = 0; // Independent: the chance a block is lost
    double enterBad = 0;  // GilbertElliott: per block, in the good state
    double leaveBad = 0;  // GilbertElliott: per block, in the bad state
    double duplicateShare = 0;
    qint64 rateBitsPerSecond = 0; // 0: no rate
    int limit = defaultLimit;     // blocks waiting for the rate

    static constexpr int defaultLimit = 1000;

    // Null error on success; else what was wrong, naming the word.
    static TRadioProfile parse(const QString &text, QString &error);
};
