#include "system/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system/posix/posix_files.h"

namespace pelorin {

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

AppendFile::Created AppendFile::CreateNew(const std::string& path) {
    // O_EXCL: an existing file, or a link in its place, is never opened, so nothing is overwritten.
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) {
        Created failed;
        failed.exists = errno == EEXIST;
        failed.error = std::strerror(errno);
        return failed;
    }
    return Created{std::unique_ptr<AppendFile>(new AppendFile(path, fd)), false, {}};
}

AppendFile::~AppendFile() { close(Fd(handle)); }

std::optional<std::string> AppendFile::Append(std::string_view data) {
    ssize_t written;
    do {
        written = write(Fd(handle), data.data(), data.size());
    } while (written < 0 && errno == EINTR);
    if (written >= 0 && static_cast<size_t>(written) == data.size()) {
        size += data.size();
        return std::nullopt;
    }
    std::string reason = std::strerror(written < 0 ? errno : ENOSPC);
    // A piece cut off by a full disk is taken back: the file holds whole pieces only.
    if (written > 0) {
        [[maybe_unused]] int ignored = ftruncate(Fd(handle), static_cast<off_t>(size));
    }
    return reason;
}

std::optional<std::string> AppendFile::Sync() {
    if (fsync(Fd(handle)) != 0) return std::string(std::strerror(errno));
    if (folderSynced) return std::nullopt;
    // A new file's name is on the disk only once its folder is flushed.
    if (auto reason = SyncFolderOf(path)) return "cannot flush its folder: " + *reason;
    folderSynced = true;
    return std::nullopt;
}

}  // namespace pelorin
