#include <windows.h>

#include <string>

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
