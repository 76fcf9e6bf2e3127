#pragma once

#include <QVarLengthArray>
#include <QtGlobal>

// Counts the bytes of a vehicle's stream that belong to no frame. Both
// parsers claim the bytes of each frame they complete; a byte is decided
// once no parser still holds it in a frame it has begun, and a decided byte
// that no frame claimed is a stray one. Frames may nest (a vehicle frame
// inside a ground-station frame's payload): a byte counts once.
class TStrayBytes
{
public:
    // The frame that took stream bytes [start, end).
    void claim(quint64 start, quint64 end)
    {
        if (end > decided)
            claims.append({start, end});
    }
    // Every byte before `horizon` is decided now; how many of those not
    // decided before belong to no frame.
    quint64 settle(quint64 horizon)
    {
        if (horizon <= decided)
            return 0;
        quint64 stray = horizon - decided;
        if (!claims.isEmpty())
            stray -= claimedBelow(horizon);
        decided = horizon;
        return stray;
    }

private:
    quint64 claimedBelow(quint64 horizon);

    struct Claim
    {
        quint64 start;
        quint64 end;
    };
    quint64 decided = 0;
    QVarLengthArray<Claim, 8> claims;
};
