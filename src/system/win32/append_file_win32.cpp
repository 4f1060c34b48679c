// The append-only file's Windows half: a new file only, each piece in one WriteFile at the end.
#include "system/append_file.h"

#include <windows.h>

#include "system/files.h"
#include "system/win32/win32_handle.h"

namespace pelorin {

namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

AppendFile::Created AppendFile::CreateNew(const std::string& path) {
    // CREATE_NEW: an existing file, or a link in its place, is never opened, so nothing is overwritten.
    // Others may read the file while it grows.
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        Created failed;
        failed.exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        failed.error = SystemMessage(error);
        return failed;
    }
    return Created{std::unique_ptr<AppendFile>(new AppendFile(path, reinterpret_cast<std::intptr_t>(file))), false, {}};
}

AppendFile::~AppendFile() { CloseHandle(Handle(handle)); }

std::optional<std::string> AppendFile::Append(std::string_view data) {
    // All ones: at the file's end.
    OVERLAPPED atEnd{};
    atEnd.Offset = atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    bool wrote = WriteFile(Handle(handle), data.data(), static_cast<DWORD>(data.size()), &written, &atEnd);
    if (wrote && written == data.size()) {
        size += data.size();
        return std::nullopt;
    }
    std::string reason = SystemMessage(wrote ? ERROR_DISK_FULL : GetLastError());
    // A piece cut off by a full disk is taken back: the file holds whole pieces only.
    if (written > 0) {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        SetFileInformationByHandle(Handle(handle), FileEndOfFileInfo, &end, sizeof end);
    }
    return reason;
}

std::optional<std::string> AppendFile::Sync() {
    // NTFS journals a new file's folder entry itself: there is no folder to flush.
    if (!FlushFileBuffers(Handle(handle))) return SystemMessage(GetLastError());
    folderSynced = true;
    return std::nullopt;
}

}  // namespace pelorin
