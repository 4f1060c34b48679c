#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

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

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    return contents.str();
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

AppendResult Failure(int error) { return AppendResult{AppendResult::Status::Failed, std::strerror(error)}; }

bool EndsWithLineEnd(const std::string& contents) {
    return contents.empty() || contents.back() == '\n' || contents.back() == '\r';
}

}  // namespace

AppendResult AppendIfAccepted(const std::string& path, const std::function<bool(const std::string& contents)>& accept,
                              const std::string& record) {
    bool created = false;
    int raw = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (raw < 0 && errno == ENOENT) {
        raw = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created = raw >= 0;
        // Another program created it in between: use theirs.
        if (raw < 0 && errno == EEXIST) raw = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (raw < 0) return Failure(errno);
    FileDescriptor file(raw);
    while (flock(file.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return Failure(errno);
    }

    struct stat status {};
    if (fstat(file.Get(), &status) != 0) return Failure(errno);
    std::string contents;
    // Only a regular file has contents to check; a device is written to, never read.
    if (S_ISREG(status.st_mode)) {
        contents.resize(static_cast<size_t>(status.st_size));
        size_t done = 0;
        while (done < contents.size()) {
            ssize_t got = pread(file.Get(), contents.data() + done, contents.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Failure(errno);
            if (got == 0) break;
            done += static_cast<size_t>(got);
        }
        contents.resize(done);
    }
    if (!accept(contents)) return AppendResult{AppendResult::Status::Refused, {}};

    std::string data = EndsWithLineEnd(contents) ? record : CRLF + record;
    ssize_t written;
    do {
        written = write(file.Get(), data.data(), data.size());
    } while (written < 0 && errno == EINTR);
    int writeError = written < 0 ? errno : (static_cast<size_t>(written) < data.size() ? ENOSPC : 0);
    if (writeError == 0 && fsync(file.Get()) != 0) writeError = errno;
    if (writeError != 0) {
        // Nothing half-written stays behind.
        if (S_ISREG(status.st_mode) && written > 0) {
            [[maybe_unused]] int ignored = ftruncate(file.Get(), static_cast<off_t>(contents.size()));
        }
        return Failure(writeError);
    }
    if (created) {
        std::string folder = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
        FileDescriptor directory(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.Get() >= 0) fsync(directory.Get());
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
