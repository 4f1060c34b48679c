#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace pelorin {

std::string PrintNumber(long value) {
    std::string digits = std::to_string(value);
    return (value < 0 ? "" : " ") + digits + " ";
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

namespace {

// Owns a file descriptor; closing it also drops its lock.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

AppendResult Failure(const std::string& reason) { return AppendResult{AppendResult::Status::Failed, reason}; }
AppendResult Failure(int error) { return Failure(std::strerror(error)); }

std::string TooLarge() { return "larger than " + std::to_string(MAX_READ_BYTES >> 20) + " MB"; }

// Reads a regular file from its start to its end, refusing one that is or grows past MAX_READ_BYTES.
// Returns the reason on failure.
std::optional<std::string> ReadRegular(int fd, off_t size, std::string& contents) {
    if (size < 0 || static_cast<uint64_t>(size) > MAX_READ_BYTES) return TooLarge();
    contents.resize(static_cast<size_t>(size));
    size_t done = 0;
    for (;;) {
        // One byte past the expected size shows a file that grew meanwhile.
        if (done == contents.size()) {
            if (contents.size() >= MAX_READ_BYTES + 1) return TooLarge();
            contents.resize(std::min<size_t>(std::max<size_t>(2 * contents.size(), 4096), MAX_READ_BYTES + 1));
        }
        ssize_t got = pread(fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::string(std::strerror(errno));
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    contents.resize(done);
    return std::nullopt;
}

// The folder a path names its file in: "." for a bare name, "/" for a file at the root.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Flushes a folder's entries to the disk; returns the reason on failure.
std::optional<std::string> SyncFolder(const std::string& folder) {
    FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0 || fsync(directory.Get()) != 0) {
        return "cannot flush the folder " + folder + ": " + std::strerror(errno);
    }
    return std::nullopt;
}

bool EndsWithLineEnd(const std::string& contents) {
    return contents.empty() || contents.back() == '\n' || contents.back() == '\r';
}

}  // namespace

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

AppendResult AppendIfAccepted(const std::string& path, const std::function<bool(const std::string& contents)>& accept,
                              const std::string& record) {
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
    if (!accept(contents)) return AppendResult{AppendResult::Status::Refused, {}};

    std::string data = EndsWithLineEnd(contents) ? record : CRLF + record;
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
    } else if (created || (regular && contents.empty())) {
        // The first record may stand in a file whose folder entry is not on the disk yet: this
        // program's own, or one that a failed attempt left empty.
        if (auto reason = SyncFolder(FolderOf(path))) writeError = *reason;
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

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void FieldReader::SkipBlanks() {
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
}

std::optional<long> FieldReader::ReadNumber() {
    SkipBlanks();
    size_t end = line.find_first_of(" \t,", position);
    if (end == std::string_view::npos) end = line.size();
    std::string_view field = line.substr(position, end - position);
    position = end < line.size() && line[end] == ',' ? end + 1 : end;
    long value = 0;
    auto [rest, status] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || status != std::errc() || rest != field.data() + field.size()) return std::nullopt;
    return value;
}

std::string FieldReader::ReadText() {
    SkipBlanks();
    size_t end = line.find(',', position);
    if (end == std::string_view::npos) end = line.size();
    std::string_view field = line.substr(position, end - position);
    position = end < line.size() ? end + 1 : end;
    return std::string(Trim(field));
}

}  // namespace pelorin
