#include "system/console.h"

#include <windows.h>
#include <shellapi.h>

#include <conio.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "system/files.h"

namespace pelorin {

namespace {

std::string Utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}

bool Leads(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

// The narrow argv is in the ANSI code page: the wide command line keeps every character.
std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

void UseStartingConsole() {
    bool out = Leads(STD_OUTPUT_HANDLE);
    bool err = Leads(STD_ERROR_HANDLE);
    if (out && err) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

std::string DefaultDataFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return CurrentFolder();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return Utf8(std::filesystem::path(path).parent_path().c_str());
}

bool ConsoleWindowIsOwn() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return false;
    // A console opened for this program holds it alone; one it was started from holds its shell too.
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKeyPress() {
    std::cout << "\nPress any key to close this window." << std::flush;
    std::cerr << std::flush;
    _getch();
}

bool OpenWithDefaultProgram(const std::string& path) {
    std::wstring wide = PathFromUtf8(path).wstring();
    auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // ShellExecute's success is any value above 32.
    return result > 32;
}

}  // namespace pelorin
