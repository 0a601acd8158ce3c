#pragma once

#include <algorithm>
#include <vector>

namespace bench {

/// Median, 99th percentile and maximum of a set of samples.
struct Summary
{
    double median = 0;
    double p99 = 0;
    double max = 0;
};

inline Summary summarize(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double fraction) { return samples[std::size_t(fraction * double(samples.size() - 1))]; };
    return {at(0.5), at(0.99), samples.back()};
}

} // namespace bench
