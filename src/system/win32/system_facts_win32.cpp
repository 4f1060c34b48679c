#include <windows.h>

#include "system/system_facts.h"
#include "system/win32/win32_handle.h"

namespace pelorin {

// RtlGetVersion tells the real version; GetVersionEx answers what the program's manifest allows.
std::string OperatingSystemDescription() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    std::string system = "Windows";
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto get = ntdll != nullptr
                   ? reinterpret_cast<GetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                   : nullptr;
    if (get != nullptr && get(&version) == 0) {
        system += " " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
                  " build " + std::to_string(version.dwBuildNumber);
    }
    FARPROC wine = ntdll != nullptr ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (wine != nullptr) {
        system += std::string(" under Wine ") + reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(wine))();
    }
    return system;
}

std::string MachineName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return "";
    return Utf8FromWide(name);
}

}  // namespace pelorin
