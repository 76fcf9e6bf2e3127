#pragma once

#include <atomic>

// Whether what a ground station writes over a stream is gathered for a few
// milliseconds before it is handed on. A block bound for a datagram link
// leaves as one datagram, so a frame that the stream happened to cut in two
// would reach such a vehicle in two datagrams; a stream link carries the
// bytes on as they come, where a cut means nothing and waiting only adds
// delay. So the gathering is wanted while a vehicle link that sends
// datagrams is open, and only then.
class TStreamGathering
{
public:
    TStreamGathering() = default;
    TStreamGathering(const TStreamGathering &) = delete;
    TStreamGathering &operator=(const TStreamGathering &) = delete;
    ~TStreamGathering() { note(Sends::Streams); }

    enum class Sends
    {
        Streams,  // or nothing: the link is closed, or the ground station's
        Datagrams // an open vehicle link of a datagram kind
    };
    // What the owning link sends now; called from its own thread.
    void note(Sends sends);

    static bool wanted() { return datagramVehicles.load(std::memory_order_relaxed) > 0; }

private:
    Sends noted = Sends::Streams;
    static std::atomic<int> datagramVehicles;
};
