#pragma once

#include <cstdint>
#include <cstring>

namespace bench {

// The 36-byte vehicle frame the swarm benches send: 0xEB 0x91, then the
// sending vehicle's index, the tick it belongs to and when it left, so that
// a receiver can tell who sent which tick and how long it took.
struct VehicleFrame
{
    static constexpr int size = 36;

    std::uint16_t sender = 0;
    std::uint64_t tick = 0;
    std::uint64_t sentNs = 0;

    void encode(char *out) const
    {
        std::memset(out, 0, size);
        out[0] = char(0xEB);
        out[1] = char(0x91);
        std::memcpy(out + 2, &sender, 2);
        std::memcpy(out + 4, &tick, 8);
        std::memcpy(out + 12, &sentNs, 8);
    }

    // False when `in` does not start with the frame's two sync bytes.
    bool decode(const char *in)
    {
        if (std::uint8_t(in[0]) != 0xEB || std::uint8_t(in[1]) != 0x91)
            return false;
        std::memcpy(&sender, in + 2, 2);
        std::memcpy(&tick, in + 4, 8);
        std::memcpy(&sentNs, in + 12, 8);
        return true;
    }
};

} // namespace bench
