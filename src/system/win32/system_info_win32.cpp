#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "check/system_info.h"
#include "system/system_facts.h"
#include "system/win32/win32_handle.h"

namespace pelorin::check {

namespace {

// The plans that keep the processor awake: High performance and Ultimate performance.
constexpr GUID HIGH_PERFORMANCE{0x8c5e7fda, 0xe8bf, 0x4a96, {0x9a, 0x85, 0xa6, 0xe2, 0x3a, 0x8c, 0x63, 0x5c}};
constexpr GUID ULTIMATE_PERFORMANCE{0xe9a42b02, 0xd5df, 0x448d, {0xaa, 0x00, 0x03, 0xf1, 0x47, 0x49, 0xeb, 0x61}};
constexpr GUID BALANCED{0x381b4222, 0xf694, 0x41f0, {0x96, 0x85, 0xff, 0x5b, 0xb2, 0x60, 0xdf, 0x2e}};
constexpr GUID POWER_SAVER{0xa1841308, 0x3541, 0x4fab, {0xbc, 0x81, 0xf7, 0x15, 0x56, 0xf2, 0x0b, 0x4a}};

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <class Function>
Function Find(const wchar_t* library, const char* name) {
    HMODULE module = LoadLibraryW(library);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string GuidText(const GUID& id) {
    char text[40];
    std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", id.Data1, id.Data2,
                  id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                  id.Data4[7]);
    return text;
}

// The active plan's name as the Control Panel shows it, or its well-known name.
std::string PlanName(const GUID& plan) {
    using ReadName = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, UCHAR*, DWORD*);
    if (auto read = Find<ReadName>(L"powrprof.dll", "PowerReadFriendlyName")) {
        wchar_t name[256] = {};
        DWORD size = sizeof name;
        if (read(nullptr, &plan, nullptr, nullptr, reinterpret_cast<UCHAR*>(name), &size) == ERROR_SUCCESS &&
            name[0] != L'\0') {
            return Utf8FromWide(name);
        }
    }
    if (Same(plan, HIGH_PERFORMANCE)) return "High performance";
    if (Same(plan, ULTIMATE_PERFORMANCE)) return "Ultimate performance";
    if (Same(plan, BALANCED)) return "Balanced";
    if (Same(plan, POWER_SAVER)) return "Power saver";
    return GuidText(plan);
}

}  // namespace

PowerFigures ReadPower() {
    PowerFigures power;
    power.checked = true;
    using GetActive = DWORD(WINAPI*)(HKEY, GUID**);
    GUID* active = nullptr;
    auto getActive = Find<GetActive>(L"powrprof.dll", "PowerGetActiveScheme");
    if (getActive != nullptr && getActive(nullptr, &active) == ERROR_SUCCESS && active != nullptr) {
        power.plan = PlanName(*active);
        power.highPerformance = Same(*active, HIGH_PERFORMANCE) || Same(*active, ULTIMATE_PERFORMANCE);
        LocalFree(active);
    } else {
        power.highPerformance = false;
    }
    SYSTEM_POWER_STATUS status{};
    // ACLineStatus 0 is the battery; 1 mains, 255 unknown (a desktop PC without a battery says 1).
    power.onBattery = GetSystemPowerStatus(&status) != 0 && status.ACLineStatus == 0;
    return power;
}

std::string SystemName() { return OperatingSystemDescription(); }

ReferenceSystem ReferenceSystemHere() { return ReferenceSystem::Windows; }

const char* InjectorName() { return "SendInput"; }

}  // namespace pelorin::check
