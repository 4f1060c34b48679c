#pragma once

#include <unistd.h>

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

}  // namespace pelorin
