#include <sys/resource.h>

#include "measure/process_times.h"

namespace pelorin::measure {

namespace {

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

double ProcessCpuSeconds() { return CpuSeconds(RUSAGE_SELF); }
double ThreadCpuSeconds() { return CpuSeconds(RUSAGE_THREAD); }

double PeakMemoryMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace pelorin::measure
