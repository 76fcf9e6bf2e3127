#include "latencystats.h"

#include <algorithm>
#include <cmath>

namespace bench {

void LatencyStats::merge(const LatencyStats &other)
{
    samples.insert(samples.end(), other.samples.begin(), other.samples.end());
    sorted = false;
}

void LatencyStats::sort()
{
    if (!sorted)
        std::sort(samples.begin(), samples.end());
    sorted = true;
}

double LatencyStats::percentileUs(double p)
{
    if (samples.empty())
        return 0;
    sort();
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(samples.size())));
    const std::size_t index = rank == 0 ? 0 : std::min(rank - 1, samples.size() - 1);
    return double(samples[index]) / 1000.0;
}

double LatencyStats::maxUs()
{
    return percentileUs(100);
}

} // namespace bench
