#include "system/warning.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

#include "system/files.h"
#include "system/win32/win32_handle.h"

namespace pelorin {

namespace {

constexpr const char* LOG_NAME = "pelorin.log";

void AppendToLog(const std::string& message) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    std::string line = stamp + message + CRLF;
    // Append-only access: every line lands at the end, also with two programs in one folder.
    Win32Handle log(CreateFileW(WideFromUtf8(JoinPath(CurrentFolder(), LOG_NAME)).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!log) return;
    DWORD written = 0;
    WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void Warn(const std::string& message) {
    // Seen when started from a console; the log is what a double-click leaves.
    std::cerr << "pelorin: " << message << '\n';
    AppendToLog(message);
}

void ReportFailure(const std::string& message) {
    Warn(message);
    MessageBoxW(nullptr, WideFromUtf8(message).c_str(), L"Pelorin", MB_OK | MB_ICONERROR);
}

// Windows' own box needs no help.
void ShowFailuresIn(void (*)(const std::string& message)) {}

}  // namespace pelorin
