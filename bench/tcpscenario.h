#pragma once

namespace bench {

// Ground station TCP client -> the relay's TCP server -> one vehicle link
// as a TCP client of the vehicle's server, beside socat relaying TCP to
// TCP in the same run; prints one table row per path and their ratio.
void tcpDownlink(double rate, double seconds);

} // namespace bench
