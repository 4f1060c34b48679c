#include "measure/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pelorin::measure {

Stats Summarise(std::vector<double> values) {
    Stats stats;
    stats.n = values.size();
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    auto rank = [&](double q) {
        size_t index = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size()))) - 1;
        return values[std::min(index, values.size() - 1)];
    };
    double sum = 0;
    for (double value : values) sum += value;
    stats.mean = sum / static_cast<double>(values.size());
    double squares = 0;
    for (double value : values) squares += (value - stats.mean) * (value - stats.mean);
    stats.sd = values.size() > 1 ? std::sqrt(squares / static_cast<double>(values.size() - 1)) : 0;
    stats.p50 = rank(0.5);
    stats.p99 = rank(0.99);
    stats.max = values.back();
    return stats;
}

Jitter JitterOf(const std::vector<double>& values) {
    Jitter jitter;
    Stats stats = Summarise(values);
    jitter.n = stats.n;
    jitter.mean = stats.mean;
    jitter.sd = stats.sd;
    for (double value : values) jitter.maxDeviation = std::max(jitter.maxDeviation, std::abs(value - stats.mean));
    return jitter;
}

std::string Fixed(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Distribution(const Stats& stats, bool withMean, int decimals) {
    if (stats.n == 0) return "no data";
    std::string text = withMean ? "mean " + Fixed(stats.mean, decimals) + "  " : "";
    return text + "p50 " + Fixed(stats.p50, decimals) + "  p99 " + Fixed(stats.p99, decimals) + "  max " +
           Fixed(stats.max, decimals) + "  (n " + std::to_string(stats.n) + ")";
}

std::string JitterText(const Jitter& jitter, int decimals) {
    if (jitter.n == 0) return "no data";
    return "mean " + Fixed(jitter.mean, decimals) + "  sd " + Fixed(jitter.sd, decimals) + "  max dev " +
           Fixed(jitter.maxDeviation, decimals) + "  (n " + std::to_string(jitter.n) + ")";
}

}  // namespace pelorin::measure
