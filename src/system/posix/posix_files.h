#pragma once

#include <unistd.h>

#include <optional>
#include <string>

// What the POSIX halves of the file helpers share.
namespace pelorin {

// Owns a POSIX file descriptor (-1: none); closing it also drops any lock taken through it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd; }

private:
    int fd;
};

// Flushes the entries of the folder a file is named in to the disk, so that a new file's name is
// there too; the system's reason on failure.
std::optional<std::string> SyncFolderOf(const std::string& path);

}  // namespace pelorin
