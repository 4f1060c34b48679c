#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pelorin {

// Owns a Win32 kernel handle (file, timer, event); closing a file also drops its locks.
class Win32Handle {
public:
    explicit Win32Handle(HANDLE handle = nullptr) : handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Win32Handle() {
        if (handle != nullptr) CloseHandle(handle);
    }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;

    HANDLE Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    HANDLE handle;
};

// UTF-8 to UTF-16 and back: every path is wide inside, UTF-8 outside.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

// The system's own text for an error code, in the user's language.
std::string SystemMessage(DWORD error);

}  // namespace pelorin
