// The file helpers' POSIX half: flock, one write, fsync of the file and its folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits.h>

#include "system/files.h"
#include "system/files_internal.h"
#include "system/posix/posix_files.h"

namespace pelorin {

const char PATH_SEPARATOR = '/';

namespace {

AppendResult Failure(const std::string& reason) { return AppendResult{AppendResult::Status::Failed, reason}; }
AppendResult Failure(int error) { return Failure(std::strerror(error)); }

std::optional<std::string> ReadRegular(int fd, off_t size, std::string& contents) {
    if (size < 0) return detail::TooLarge();
    return detail::ReadBounded(
        static_cast<uint64_t>(size),
        [fd](char* buffer, size_t count, uint64_t offset, std::string& reason) -> std::optional<size_t> {
            for (;;) {
                ssize_t got = pread(fd, buffer, count, static_cast<off_t>(offset));
                if (got >= 0) return static_cast<size_t>(got);
                if (errno == EINTR) continue;
                reason = std::strerror(errno);
                return std::nullopt;
            }
        },
        contents);
}

// The folder a path names its file in: "." for a bare name, "/" for a file at the root.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> SyncFolderOf(const std::string& path) {
    FileDescriptor directory(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0 || fsync(directory.Get()) != 0) return std::string(std::strerror(errno));
    return std::nullopt;
}

std::string CurrentFolder() {
    std::string folder(PATH_MAX, '\0');
    while (getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return folder;
}

std::optional<std::string> MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return std::nullopt;
    return std::string(std::strerror(errno));
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& reason) -> std::optional<std::string> {
        if (error) *error = reason;
        return std::nullopt;
    };
    // Non-blocking, so that a FIFO in the file's place cannot stall the open.
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) return fail(std::strerror(errno));
    struct stat status {};
    if (fstat(file.Get(), &status) != 0) return fail(std::strerror(errno));
    // A device such as /dev/zero never ends, and a FIFO never holds what was written to it.
    if (S_ISDIR(status.st_mode)) return fail(std::strerror(EISDIR));
    if (!S_ISREG(status.st_mode)) return fail("not a regular file");
    std::string contents;
    if (auto reason = ReadRegular(file.Get(), status.st_size, contents)) return fail(*reason);
    return contents;
}

AppendResult AppendComposed(const std::string& path,
                            const std::function<std::optional<std::string>(const std::string& contents)>& compose) {
    bool created = false;
    // Non-blocking, so that a FIFO in the file's place can neither stall the open nor the write.
    constexpr int FLAGS = O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int raw = open(path.c_str(), FLAGS);
    if (raw < 0 && errno == ENOENT) {
        raw = open(path.c_str(), FLAGS | O_CREAT | O_EXCL, 0644);
        created = raw >= 0;
        // Another program created it in between: use theirs.
        if (raw < 0 && errno == EEXIST) raw = open(path.c_str(), FLAGS);
    }
    if (raw < 0) return Failure(errno);
    FileDescriptor file(raw);
    while (flock(file.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return Failure(errno);
    }

    struct stat status {};
    if (fstat(file.Get(), &status) != 0) return Failure(errno);
    bool regular = S_ISREG(status.st_mode);
    std::string contents;
    // Only a regular file has contents to check. A device is not read, but the write is still tried, so
    // that /dev/full, the stand-in for a full disk, fails the way a full disk does.
    if (regular) {
        if (auto reason = ReadRegular(file.Get(), status.st_size, contents)) return Failure(*reason);
    }
    std::optional<std::string> composed = compose(contents);
    if (!composed) return AppendResult{AppendResult::Status::Refused, {}};
    const std::string& data = *composed;
    ssize_t written;
    do {
        written = write(file.Get(), data.data(), data.size());
    } while (written < 0 && errno == EINTR);
    std::string writeError;
    if (written < 0) {
        writeError = std::strerror(errno);
    } else if (static_cast<size_t>(written) < data.size()) {
        writeError = std::strerror(ENOSPC);
    } else if (!regular) {
        // A device or FIFO that took the record keeps nothing: never report it as written.
        writeError = "not a regular file";
    } else if (fsync(file.Get()) != 0) {
        writeError = std::strerror(errno);
    } else if (created || contents.empty()) {
        // The first record may stand in a file whose folder entry is not on the disk yet: this
        // program's own, or one that a failed attempt left empty.
        if (auto reason = SyncFolderOf(path)) writeError = "cannot flush the folder " + FolderOf(path) + ": " + *reason;
    }
    if (!writeError.empty()) {
        // Nothing half-written or unflushed stays behind, so a retry neither joins nor repeats it.
        if (regular && written > 0) {
            [[maybe_unused]] int ignored = ftruncate(file.Get(), static_cast<off_t>(contents.size()));
            [[maybe_unused]] int flushed = fsync(file.Get());
        }
        return Failure(writeError);
    }
    return AppendResult{AppendResult::Status::Written, {}};
}

}  // namespace pelorin
