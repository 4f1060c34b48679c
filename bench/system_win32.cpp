// The Windows build of the benchmark, which runs under Wine on the project's machines. Neither the X
// server under Wine nor a sound server is in its reach, so it measures what the program itself sees.
#include <windows.h>
#include <process.h>
#include <psapi.h>

#include "system.h"

namespace pelorin::bench {

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

// Wine's version, or null on Windows itself.
const char* WineVersion() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (found == nullptr) return nullptr;
    return reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(found))();
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

std::string SelfPath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).string();
}

// cmd.exe, which runs the children, takes double quotes.
std::string ShellQuoted(const std::string& path) { return "\"" + path + "\""; }
int ProcessId() { return _getpid(); }

std::string NotMeasuredHere() {
    return WineVersion() != nullptr ? "not measured under Wine" : "not measured on Windows";
}

std::string SystemNote() {
    if (const char* version = WineVersion()) {
        return std::string(" of the Windows build under Wine ") + version + " (Wine's figures, not Windows')";
    }
    return " of the Windows build";
}

const char* DefaultVideoDriver() { return "windows"; }

bool DisplaySize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
    return width > 0 && height > 0;
}

StartUp MeasureStartUp(const std::string&, const std::filesystem::path&, int) { return {}; }

}  // namespace pelorin::bench
