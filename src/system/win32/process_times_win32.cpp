#include <windows.h>
#include <psapi.h>

#include "measure/process_times.h"

namespace pelorin::measure {

namespace {

double Seconds(FILETIME time) {
    ULARGE_INTEGER value{};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double CpuSeconds(bool (*times)(FILETIME*, FILETIME*, FILETIME*, FILETIME*)) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!times(&created, &exited, &kernel, &user)) return 0;
    return Seconds(kernel) + Seconds(user);
}

}  // namespace

double ProcessCpuSeconds() {
    return CpuSeconds([](FILETIME* a, FILETIME* b, FILETIME* c, FILETIME* d) {
        return GetProcessTimes(GetCurrentProcess(), a, b, c, d) != 0;
    });
}

double ThreadCpuSeconds() {
    return CpuSeconds([](FILETIME* a, FILETIME* b, FILETIME* c, FILETIME* d) {
        return GetThreadTimes(GetCurrentThread(), a, b, c, d) != 0;
    });
}

double PeakMemoryMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    // The kernel32 name: no psapi library to link.
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace pelorin::measure
