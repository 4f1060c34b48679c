// The file helpers' POSIX half: flock, one write, fsync of the file and its folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits.h>

#include "system/files.h"
#include "system/files_internal.h"
#include "system/posix/posix_files.h"

namespace pelorin {

const char PATH_SEPARATOR = '/';

namespace {

AppendResult Failure(const std::string& reason) { return AppendResult{AppendResult::Status::Failed, reason}; }

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

namespace {

AppendResult::Cause CauseOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return AppendResult::Cause::ReadOnly;
    case ETXTBSY:
        return AppendResult::Cause::InUse;
    default:
        return AppendResult::Cause::Other;
    }
}

AppendResult Failure(int error, const std::string& reason) {
    return AppendResult{AppendResult::Status::Failed, reason, CauseOf(error)};
}

AppendResult Failure(int error) { return Failure(error, std::strerror(error)); }

// Whether the path still names the file open under fd: SettleFile, or an append that made the file and
// failed, removes it under the lock, and whoever waited for the lock must then open the path anew.
bool StillNamed(int fd, const std::string& path) {
    struct stat open {};
    struct stat named {};
    return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Takes the file's lock through fd; false with errno set on failure.
bool Lock(int fd) {
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// The most times a file is opened anew because it was removed while this program waited for its lock.
constexpr int MAX_REOPENS = 100;

}  // namespace

AppendResult AppendComposed(const std::string& path,
                            const std::function<std::optional<std::string>(const std::string& contents)>& compose) {
    // Non-blocking, so that a FIFO in the file's place can neither stall the open nor the write.
    constexpr int FLAGS = O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int reopened = 0;; ++reopened) {
        bool created = false;
        int raw = open(path.c_str(), FLAGS);
        if (raw < 0 && errno == ENOENT) {
            raw = open(path.c_str(), FLAGS | O_CREAT | O_EXCL, 0644);
            created = raw >= 0;
            // Another program created it in between: use theirs.
            if (raw < 0 && errno == EEXIST) raw = open(path.c_str(), FLAGS);
        }
        if (raw < 0) return Failure(errno);
        FileDescriptor file(raw);
        if (!Lock(file.Get())) return Failure(errno);
        if (!StillNamed(file.Get(), path) && reopened < MAX_REOPENS) continue;

        struct stat status {};
        if (fstat(file.Get(), &status) != 0) return Failure(errno);
        bool regular = S_ISREG(status.st_mode);
        std::string contents;
        // Only a regular file has contents to check. A device is not read, but the write is still tried,
        // so that /dev/full, the stand-in for a full disk, fails the way a full disk does.
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
        int writeErrno = 0;
        if (written < 0) {
            writeErrno = errno;
            writeError = std::strerror(errno);
        } else if (static_cast<size_t>(written) < data.size()) {
            writeError = std::strerror(ENOSPC);
        } else if (!regular) {
            // A device or FIFO that took the record keeps nothing: never report it as written.
            writeError = "not a regular file";
        } else if (fsync(file.Get()) != 0) {
            writeErrno = errno;
            writeError = std::strerror(errno);
        } else if (created || contents.empty()) {
            // The first record may stand in a file whose folder entry is not on the disk yet: this
            // program's own, or one that a failed attempt left empty.
            if (auto reason = SyncFolderOf(path)) writeError = "cannot flush the folder " + FolderOf(path) + ": " + *reason;
        }
        if (writeError.empty()) return AppendResult{AppendResult::Status::Written, {}};
        // Nothing half-written or unflushed stays behind, so a retry neither joins nor repeats it; a file
        // this append made, and nobody wrote to before it took the lock, goes altogether rather than stand
        // empty (an append that waits for the lock meanwhile makes it anew).
        if (created && contents.empty()) {
            unlink(path.c_str());
        } else if (regular && written > 0) {
            [[maybe_unused]] int ignored = ftruncate(file.Get(), static_cast<off_t>(contents.size()));
            [[maybe_unused]] int flushed = fsync(file.Get());
        }
        return Failure(writeErrno, writeError);
    }
}

std::optional<std::string> SettleFile(const std::string& path,
                                      const std::function<bool(const std::string& contents)>& settle) {
    for (int reopened = 0;; ++reopened) {
        FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file.Get() < 0) return errno == ENOENT ? std::nullopt : std::optional<std::string>(std::strerror(errno));
        if (!Lock(file.Get())) return std::string(std::strerror(errno));
        if (!StillNamed(file.Get(), path)) {
            if (reopened < MAX_REOPENS) continue;
            return std::nullopt;
        }
        struct stat status {};
        if (fstat(file.Get(), &status) != 0) return std::string(std::strerror(errno));
        if (!S_ISREG(status.st_mode)) return std::string("not a regular file");
        std::string contents;
        if (auto reason = ReadRegular(file.Get(), status.st_size, contents)) return reason;
        if (!settle(contents)) return std::nullopt;
        if (unlink(path.c_str()) != 0) return std::string(std::strerror(errno));
        if (auto reason = SyncFolderOf(path)) return "cannot flush the folder " + FolderOf(path) + ": " + *reason;
        return std::nullopt;
    }
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), S_ISDIR(status.st_mode)};
}

std::optional<std::string> ResolvedPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool IsLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::optional<std::string> LinkTarget(const std::string& path) {
    std::string target(PATH_MAX, '\0');
    ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(length));
    return target;
}

bool SameName(std::string_view a, std::string_view b) { return a == b; }

}  // namespace pelorin
