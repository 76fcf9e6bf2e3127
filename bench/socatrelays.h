#pragma once

#include <QProcess>

#include <cstdint>
#include <memory>
#include <vector>

namespace bench {

// socat processes, one per destination, each relaying one UDP port to one
// peer: what a user would otherwise reach for.
class SocatRelays
{
public:
    bool start(const std::vector<std::uint16_t> &destinations);
    unsigned long long cpuNs() const;
    ~SocatRelays();
    std::vector<std::uint16_t> ports;

private:
    std::vector<std::unique_ptr<QProcess>> processes;
};

// Whether socat is installed.
bool haveSocat();

} // namespace bench
