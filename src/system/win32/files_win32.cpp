// The file helpers' Windows half: wide paths, LockFileEx, one WriteFile, FlushFileBuffers.
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

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

namespace {

AppendResult::Cause CauseOf(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return AppendResult::Cause::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return AppendResult::Cause::ReadOnly;
    default:
        return AppendResult::Cause::Other;
    }
}

AppendResult FailureOf(DWORD error) {
    return AppendResult{AppendResult::Status::Failed, SystemMessage(error), CauseOf(error)};
}

// What a handle or a path names, by its volume and file index.
std::optional<std::pair<DWORD, uint64_t>> IndexOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
    return std::pair{information.dwVolumeSerialNumber, (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// Whether the path no longer names the file open under this handle: SettleFile, or an append that made
// the file and failed, removes it under the lock, and whoever waited for the lock must then open the
// path anew. (Asked of the path itself: a file whose deletion waits for the last handle to close still
// opens by its name under Wine, and its pending deletion is not told.)
bool Removed(HANDLE file, const std::string& path) {
    Win32Handle named(CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return !named || IndexOf(named.Get()) != IndexOf(file);
}

// Removes a file that handles may still hold, this program's own among them: renamed aside first, so
// that its name is free at once (a deletion takes effect only when the last handle closes), then
// deleted.
bool RemoveHeld(const std::string& path) {
    std::string aside = path + ".removed-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    if (!MoveFileExW(WideFromUtf8(path).c_str(), WideFromUtf8(aside).c_str(), 0)) {
        return DeleteFileW(WideFromUtf8(path).c_str()) != 0;
    }
    DeleteFileW(WideFromUtf8(aside).c_str());
    return true;
}

// The most times a file is opened anew because it was removed while this program waited for its lock.
constexpr int MAX_REOPENS = 100;

// Opens a file for the appends and their lock, created when missing (created says so), or with create
// false only where it exists.
HANDLE OpenShared(const std::string& path, DWORD access, bool create, bool& created) {
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), access, SHARE_ALL, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    created = file != INVALID_HANDLE_VALUE && create && error != ERROR_ALREADY_EXISTS;
    SetLastError(error);
    return file;
}

}  // namespace

AppendResult AppendComposed(const std::string& path,
                            const std::function<std::optional<std::string>(const std::string& contents)>& compose) {
    for (int reopened = 0;; ++reopened) {
        // Others may read and write the list meanwhile, as on Linux; the lock keeps registrations apart.
        bool created = false;
        Win32Handle file(OpenShared(path, GENERIC_READ | GENERIC_WRITE, true, created));
        if (!file) return FailureOf(GetLastError());
        OVERLAPPED lockAt = At(LOCK_OFFSET);
        // Blocks until the program that holds the lock has written and flushed its record.
        if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt)) return FailureOf(GetLastError());
        HeldLock held(file.Get(), lockAt);
        if (Removed(file.Get(), path) && reopened < MAX_REOPENS) continue;

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
        DWORD error = ERROR_SUCCESS;
        std::string writeError;
        if (!wrote) {
            error = GetLastError();
        } else if (written < data.size()) {
            error = ERROR_DISK_FULL;
        } else if (!regular) {
            writeError = "not a regular file";
        } else if (!FlushFileBuffers(file.Get())) {
            // NTFS journals the folder entry of a new file itself: there is no folder to flush here.
            error = GetLastError();
        }
        if (error == ERROR_SUCCESS && writeError.empty()) return AppendResult{AppendResult::Status::Written, {}};
        // Nothing half-written or unflushed stays behind, so a retry neither joins nor repeats it; a file
        // this append made, and nobody wrote to before it took the lock, goes altogether rather than stand
        // empty (an append that waits for the lock meanwhile makes it anew).
        if (created && contents.empty()) {
            RemoveHeld(path);
        } else if (regular && written > 0) {
            FILE_END_OF_FILE_INFO end{};
            end.EndOfFile.QuadPart = static_cast<LONGLONG>(contents.size());
            SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof end);
            FlushFileBuffers(file.Get());
        }
        if (error != ERROR_SUCCESS) return FailureOf(error);
        return Failure(writeError);
    }
}

std::optional<std::string> SettleFile(const std::string& path,
                                      const std::function<bool(const std::string& contents)>& settle) {
    for (int reopened = 0;; ++reopened) {
        bool created = false;
        Win32Handle file(OpenShared(path, GENERIC_READ, false, created));
        if (!file) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
            return SystemMessage(error);
        }
        OVERLAPPED lockAt = At(LOCK_OFFSET);
        if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt)) return SystemMessage(GetLastError());
        HeldLock held(file.Get(), lockAt);
        if (Removed(file.Get(), path)) {
            if (reopened < MAX_REOPENS) continue;
            return std::nullopt;
        }
        if (!IsDiskFile(file.Get())) return std::string("not a regular file");
        std::string contents;
        if (auto reason = ReadRegular(file.Get(), contents)) return reason;
        if (!settle(contents)) return std::nullopt;
        if (!RemoveHeld(path)) return SystemMessage(GetLastError());
        return std::nullopt;
    }
}

namespace {

// Opens what a path names for its attributes only, links and junctions followed; a folder opens too.
Win32Handle OpenToLookAt(const std::string& path) {
    return Win32Handle(CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The reparse data of a symbolic link or a junction, as the system's development kit lays it out (the
// compiler's Windows headers leave it out).
struct ReparseData {
    ULONG tag;
    USHORT dataLength;
    USHORT reserved;
    USHORT substituteNameOffset;
    USHORT substituteNameLength;
    USHORT printNameOffset;
    USHORT printNameLength;
};

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    Win32Handle file = OpenToLookAt(path);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.Get(), &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow,
                        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    Win32Handle file = OpenToLookAt(path);
    if (!file) return std::nullopt;
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file.Get(), resolved.data(), static_cast<DWORD>(resolved.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < resolved.size()) {
            resolved.resize(length);
            break;
        }
        resolved.resize(length);
    }
    // The system answers in its long-path form: \\?\C:\Lab, \\?\UNC\server\share.
    std::wstring_view view = resolved;
    if (view.starts_with(L"\\\\?\\UNC\\")) return "\\\\" + Utf8FromWide(view.substr(8));
    if (view.starts_with(L"\\\\?\\")) view.remove_prefix(4);
    return Utf8FromWide(view);
}

bool IsLink(const std::string& path) {
    // A cloud folder's placeholders are reparse points too: only links and junctions count.
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(WideFromUtf8(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

std::optional<std::string> LinkTarget(const std::string& path) {
    Win32Handle link(CreateFileW(WideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!link) return std::nullopt;
    // MAXIMUM_REPARSE_DATA_BUFFER_SIZE: 16 kB.
    std::vector<char> buffer(16 * 1024);
    DWORD got = 0;
    if (!DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()),
                         &got, nullptr) ||
        got < sizeof(ReparseData)) {
        return std::nullopt;
    }
    ReparseData data{};
    std::memcpy(&data, buffer.data(), sizeof data);
    // A symbolic link's path buffer follows a flags field that a junction's lacks.
    size_t names = sizeof data + (data.tag == IO_REPARSE_TAG_SYMLINK ? sizeof(ULONG) : 0);
    if (data.tag != IO_REPARSE_TAG_SYMLINK && data.tag != IO_REPARSE_TAG_MOUNT_POINT) return std::nullopt;
    size_t offset = names + data.printNameOffset;
    if (data.printNameLength == 0) offset = names + data.substituteNameOffset;
    size_t length = data.printNameLength != 0 ? data.printNameLength : data.substituteNameLength;
    if (offset + length > got) return std::nullopt;
    std::wstring target(length / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), buffer.data() + offset, length);
    // A substitute name is in the system's own form: \??\C:\Lab.
    std::wstring_view view = target;
    if (view.starts_with(L"\\??\\")) view.remove_prefix(4);
    return Utf8FromWide(view);
}

bool SameName(std::string_view a, std::string_view b) {
    std::wstring wideA = WideFromUtf8(a);
    std::wstring wideB = WideFromUtf8(b);
    return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(), static_cast<int>(wideB.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace pelorin
