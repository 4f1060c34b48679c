#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/wav_file.h"

namespace pelorin::test {

// A fresh folder for one test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelorin-test-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path;
};

// A silent 44.1 kHz wave file of the given length.
inline void MakeWav(const std::string& path, int millis) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteWavPcm16(path, 44100, std::vector<int16_t>(static_cast<size_t>(44100 * millis / 1000), 0));
}

// Runs body in a child process once prepare has succeeded there, and returns what body returned;
// nullopt when prepare failed or the child did not end normally.
inline std::optional<std::string> RunInChild(const std::function<bool()>& prepare,
                                             const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) return std::nullopt;
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (!prepare()) _exit(3);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("exception: ") + error.what();
        }
        [[maybe_unused]] ssize_t ignored = write(channel[1], result.data(), result.size());
        _exit(0);
    }
    close(channel[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return result;
}

// Runs body in a child process as the unprivileged user nobody, or as this user when it is not root:
// root writes wherever permission bits say otherwise. nullopt when root cannot drop its privileges here.
inline std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& body) {
    return RunInChild(
        [] {
            constexpr uid_t NOBODY = 65534;
            return getuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0);
        },
        body);
}

}  // namespace pelorin::test
