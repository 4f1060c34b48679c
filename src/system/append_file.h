#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

// A file this program makes new and then only appends to, each piece in one write: what the results
// of a run are kept in. The operating system's side lives in one file per system.
class AppendFile {
public:
    // What became of making the file.
    struct Created {
        std::unique_ptr<AppendFile> file;  // null on failure
        bool exists = false;               // the name was taken: nothing was opened or changed
        std::string error;                 // the reason, on failure
    };

    // Makes the file; never opens or changes one that exists under that name (nor a link there).
    static Created CreateNew(const std::string& path);

    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Appends data in one write, so that a program killed at any moment leaves it whole or not at all.
    // On failure (a full disk takes part of it) the file is cut back to what it held before, and the
    // reason is returned.
    std::optional<std::string> Append(std::string_view data);
    // Flushes the file to the disk, and the first time its folder's entry too; the reason on failure.
    std::optional<std::string> Sync();

    const std::string& Path() const { return path; }

private:
    AppendFile(std::string path, std::intptr_t handle) : path(std::move(path)), handle(handle) {}

    std::string path;
    std::intptr_t handle;  // the system's handle of the open file
    uint64_t size = 0;     // bytes appended so far
    bool folderSynced = false;
};

}  // namespace pelorin
