// DejaVu Sans beside pelorin.exe: Windows has no copy of its own, so the package carries one.
#include "hosts/sdl/font_files.h"

#include <windows.h>

#include <filesystem>

#include "system/files.h"
#include "system/win32/win32_handle.h"

namespace pelorin::sdl {

namespace {

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return Utf8FromWide(path.substr(0, path.find_last_of(L'\\')));
}

std::string Existing(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(PathFromUtf8(path), error) ? path : "";
}

}  // namespace

FontFiles FindFontFiles() {
    std::string folder = ProgramFolder();
    FontFiles files;
    files.regular = Existing(JoinPath(folder, "DejaVuSans.ttf"));
    files.bold = Existing(JoinPath(folder, "DejaVuSans-Bold.ttf"));
    files.whereFrom = "DejaVuSans.ttf beside pelorin.exe";
    return files;
}

}  // namespace pelorin::sdl
