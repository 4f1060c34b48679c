#include <windows.h>
// After windows.h, which they need.
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hosts/sdl/system_display.h"
#include "system/win32/win32_handle.h"

namespace pelorin::sdl {

// The program is aware of each monitor's scaling (per-monitor v2), so the monitor's effective DPI is
// the one it is asked to draw at there. GetDpiForMonitor is Windows 8.1's; before it, the system's.
void ReadDisplayDpi(DisplayInfo& display) {
    using GetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    constexpr int EFFECTIVE_DPI = 0;
    POINT centre{display.left + display.width / 2, display.top + display.height / 2};
    HMONITOR monitor = MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST);
    UINT dpiX = 0;
    UINT dpiY = 0;
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    auto get = shcore != nullptr ? reinterpret_cast<GetDpiForMonitor>(
                                       reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                                 : nullptr;
    if (get != nullptr && get(monitor, EFFECTIVE_DPI, &dpiX, &dpiY) == S_OK && dpiX > 0) {
        display.dpi = static_cast<float>(dpiX);
        display.dpiSource = "monitor DPI " + std::to_string(dpiX);
        return;
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    display.dpi = dpi > 0 ? static_cast<float>(dpi) : BASE_DPI;
    display.dpiSource = "system DPI " + std::to_string(dpi);
}

namespace {

// The monitors' device interface class (GUID_DEVINTERFACE_MONITOR).
constexpr GUID MONITOR_INTERFACES = {0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

// The EDID the monitor of a device interface gave the system, kept in its device's registry key.
std::string MonitorEdid(const wchar_t* interfaceName) {
    HDEVINFO set = SetupDiGetClassDevsW(&MONITOR_INTERFACES, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return "";
    std::string edid;
    SP_DEVICE_INTERFACE_DATA monitor{};
    monitor.cbSize = sizeof monitor;
    if (SetupDiOpenDeviceInterfaceW(set, interfaceName, 0, &monitor)) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &monitor, nullptr, 0, &needed, nullptr);
        std::vector<char> buffer(std::max<DWORD>(needed, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (SetupDiGetDeviceInterfaceDetailW(set, &monitor, detail, static_cast<DWORD>(buffer.size()), nullptr, &device)) {
            HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            if (key != INVALID_HANDLE_VALUE) {
                BYTE data[1024];
                DWORD size = sizeof data;
                if (RegQueryValueExW(key, L"EDID", nullptr, nullptr, data, &size) == ERROR_SUCCESS) {
                    edid.assign(reinterpret_cast<const char*>(data), size);
                }
                RegCloseKey(key);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return edid;
}

}  // namespace

// The monitors attached to the adapter output that shows the display, by their device interfaces:
// the first whose EDID gives a size is the one.
void ReadDisplaySize(DisplayInfo& display) {
    POINT centre{display.left + display.width / 2, display.top + display.height / 2};
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &info)) return;
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    for (DWORD i = 0; EnumDisplayDevicesW(info.szDevice, i, &device, EDD_GET_DEVICE_INTERFACE_NAME); ++i) {
        if ((device.StateFlags & DISPLAY_DEVICE_ACTIVE) == 0) continue;
        if (std::optional<PictureSize> size = EdidPictureSize(MonitorEdid(device.DeviceID))) {
            // A monitor turned on its side shows its picture turned too.
            bool turned = (display.width > display.height) != (size->widthMm > size->heightMm);
            display.widthMm = turned ? size->heightMm : size->widthMm;
            display.heightMm = turned ? size->widthMm : size->heightMm;
            return;
        }
    }
}

// The thread's layout: the one its keys are typed with.
KeyboardLayout ReadKeyboardLayout(std::string_view keys) {
    KeyboardLayout layout;
    HKL active = GetKeyboardLayout(0);
    wchar_t id[KL_NAMELENGTH] = {};
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetKeyboardLayoutNameW(id);
    LCIDToLocaleName(MAKELCID(LOWORD(reinterpret_cast<ULONG_PTR>(active)), SORT_DEFAULT), locale,
                     LOCALE_NAME_MAX_LENGTH, 0);
    std::string localeName = Utf8FromWide(locale);
    std::string idName = Utf8FromWide(id);
    layout.name = localeName.empty() ? idName : idName.empty() ? localeName : localeName + " (" + idName + ")";
    for (char key : keys) {
        SHORT typed = VkKeyScanExW(static_cast<wchar_t>(static_cast<unsigned char>(key)), active);
        // No key of the layout types it: both bytes are -1.
        if (LOBYTE(typed) == 0xFF && HIBYTE(typed) == 0xFF) layout.untypable += key;
    }
    return layout;
}

}  // namespace pelorin::sdl
