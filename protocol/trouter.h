#pragma once

#include "radio/tradio.h"

#include <QByteArray>

class IOHandler;

// Where a block goes, decided in one place for the whole relay:
//   a ground-station block goes to every vehicle, in id order;
//   a 0xAA 0xEC frame from a vehicle goes to the ground station;
//   a vehicle frame (its 40-byte block) goes to every other vehicle, in
//   list order.
// An entry that is empty or whose link is closing is skipped, never the end
// of a walk. Every block reaches its destination through handOn(), where the
// emulated radio sits when one is loaded.
class TRouter
{
public:
    static void fromGroundStation(const QByteArray &block);
    static void toGroundStation(const QByteArray &frame, int sourceId);
    // `sourceId` 0: no vehicle is left out.
    static void toOtherVehicles(const QByteArray &block, int sourceId);

    // Queued for `to` to send through its own endpoint, in its own thread;
    // `from` is the link the block came from.
    static void handOn(IOHandler &to, int from, const QByteArray &block)
    {
        if (TRadio *radio = TRadio::active())
            radio->pass(to, from, block);
        else
            queue(to, block);
    }

private:
    static void queue(IOHandler &to, const QByteArray &block);
};
