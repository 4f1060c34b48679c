// The file helpers' Windows half: wide paths, LockFileEx, one WriteFile, FlushFileBuffers.
#include <windows.h>

#include "system/files.h"
#include "system/files_internal.h"
#include "system/win32/win32_handle.h"

namespace pelorin {

const char PATH_SEPARATOR = '\\';

std::wstring WideFromUtf8(std::string_view utf8) {
    if (utf8.empty()) return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return "error " + std::to_string(error);
    std::string message = Utf8FromWide(std::wstring_view(text, length));
    LocalFree(text);
    // The system ends its messages with a line end, which would break the message box's lines.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

namespace {

// The byte locked to register: far past any data, because Windows' locks are mandatory and a lock
// over the records would keep other programs from reading the list meanwhile (flock on Linux does
// not). Every registering program takes this same byte, so it excludes them all the same.
constexpr uint64_t LOCK_OFFSET = uint64_t{1} << 62;

AppendResult Failure(const std::string& reason) { return AppendResult{AppendResult::Status::Failed, reason}; }
AppendResult Failure(DWORD error) { return Failure(SystemMessage(error)); }

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// Reads a disk file whole; returns the reason on failure.
std::optional<std::string> ReadRegular(HANDLE file, std::string& contents) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return SystemMessage(GetLastError());
    return detail::ReadBounded(
        static_cast<uint64_t>(size.QuadPart),
        [file](char* buffer, size_t count, uint64_t offset, std::string& reason) -> std::optional<size_t> {
            OVERLAPPED at = At(offset);
            DWORD got = 0;
            DWORD want = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
            if (ReadFile(file, buffer, want, &got, &at)) return got;
            DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) return size_t{0};
            reason = SystemMessage(error);
            return std::nullopt;
        },
        contents);
}

// A file that holds data on a disk, not a device, pipe or console behind a file name.
bool IsDiskFile(HANDLE file) { return GetFileType(file) == FILE_TYPE_DISK; }

bool IsFolder(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Gives the registration lock back the moment the append is done, on every path: closing the handle
// would too, but only when the system gets round to it.
class HeldLock {
public:
    HeldLock(HANDLE file, OVERLAPPED at) : file(file), at(at) {}
    ~HeldLock() { UnlockFileEx(file, 0, 1, 0, &at); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    HANDLE file;
    OVERLAPPED at;
};

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::string CurrentFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0) return ".";
        if (length < folder.size()) {
            folder.resize(length);
            return Utf8FromWide(folder);
        }
        folder.resize(length);
    }
}

std::optional<std::string> MakeFolder(const std::string& path) {
    if (CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    return SystemMessage(GetLastError());
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& reason) -> std::optional<std::string> {
        if (error) *error = reason;
        return std::nullopt;
    };
    // Backup semantics lets a folder open, so that it can be told apart from a file that is missing.
    Win32Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return fail(SystemMessage(GetLastError()));
    if (IsFolder(file.Get())) return fail("is a folder");
    if (!IsDiskFile(file.Get())) return fail("not a regular file");
    std::string contents;
    if (auto reason = ReadRegular(file.Get(), contents)) return fail(*reason);
    return contents;
}

AppendResult AppendComposed(const std::string& path,
                            const std::function<std::optional<std::string>(const std::string& contents)>& compose) {
    // Others may read and write the list meanwhile, as on Linux; the lock keeps registrations apart.
    Win32Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, SHARE_ALL, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failure(GetLastError());
    OVERLAPPED lockAt = At(LOCK_OFFSET);
    // Blocks until the program that holds the lock has written and flushed its record.
    if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt)) return Failure(GetLastError());
    HeldLock held(file.Get(), lockAt);

    bool regular = IsDiskFile(file.Get());
    std::string contents;
    // As on Linux, a device is not read but the write is still tried, to fail as a device does.
    if (regular) {
        if (auto reason = ReadRegular(file.Get(), contents)) return Failure(*reason);
    }
    std::optional<std::string> composed = compose(contents);
    if (!composed) return AppendResult{AppendResult::Status::Refused, {}};
    const std::string& data = *composed;
    // All ones: at the file's end, as an append.
    OVERLAPPED atEnd{};
    atEnd.Offset = atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    bool wrote = WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, &atEnd);
    std::string writeError;
    if (!wrote) {
        writeError = SystemMessage(GetLastError());
    } else if (written < data.size()) {
        writeError = SystemMessage(ERROR_DISK_FULL);
    } else if (!regular) {
        writeError = "not a regular file";
    } else if (!FlushFileBuffers(file.Get())) {
        // NTFS journals the folder entry of a new file itself: there is no folder to flush here.
        writeError = SystemMessage(GetLastError());
    }
    if (!writeError.empty()) {
        // Nothing half-written or unflushed stays behind, so a retry neither joins nor repeats it.
        if (regular && written > 0) {
            FILE_END_OF_FILE_INFO end{};
            end.EndOfFile.QuadPart = static_cast<LONGLONG>(contents.size());
            SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof end);
            FlushFileBuffers(file.Get());
        }
        return Failure(writeError);
    }
    return AppendResult{AppendResult::Status::Written, {}};
}

}  // namespace pelorin
