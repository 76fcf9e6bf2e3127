#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// One-way latencies in nanoseconds and their percentiles.
class LatencyStats
{
public:
    void reserve(std::size_t n) { samples.reserve(n); }
    void add(std::uint64_t ns) { samples.push_back(ns); }
    void merge(const LatencyStats &other);
    std::size_t count() const { return samples.size(); }
    // p in [0, 100]; 0 when there are no samples.
    double percentileUs(double p);
    double maxUs();

private:
    void sort();
    std::vector<std::uint64_t> samples;
    bool sorted = false;
};

} // namespace bench
