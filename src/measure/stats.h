#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Summaries of measured series, shared by the benchmark and the timing check; the report writes its
// figures with Fixed too.
namespace pelorin::measure {

struct Stats {
    size_t n = 0;
    double mean = 0, sd = 0, p50 = 0, p99 = 0, max = 0;
};

// Mean, sample standard deviation, and the nearest-rank quantiles: p99 of 100 values is the 99th, not
// the largest.
Stats Summarise(std::vector<double> values);

// A series' spread about its own mean: the constant part of a latency drops out.
struct Jitter {
    size_t n = 0;
    double mean = 0, sd = 0, maxDeviation = 0;
};

Jitter JitterOf(const std::vector<double>& values);

// A figure with its decimals; "-" for NaN (not measured).
std::string Fixed(double value, int decimals = 3);
// "p50 a  p99 b  max c  (n N)", with the mean first if asked; "no data" for an empty series.
std::string Distribution(const Stats& stats, bool withMean, int decimals = 3);
// "mean a  sd b  max dev c  (n N)"; "no data" for an empty series.
std::string JitterText(const Jitter& jitter, int decimals = 3);

}  // namespace pelorin::measure
