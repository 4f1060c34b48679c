// The Windows build of the benchmark, which runs under Wine on the project's machines. Neither the X
// server under Wine nor a sound server is in its reach, so it measures what the program itself sees.
#include <windows.h>
#include <process.h>

#include "system.h"

namespace pelorin::bench {

namespace {

// Wine's version, or null on Windows itself.
const char* WineVersion() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (found == nullptr) return nullptr;
    return reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(found))();
}

}  // namespace

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
