#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/wav_file.h"

namespace pelorin::test {

// CI runs as root with tracing allowed, so a check it cannot run there is a fault of the machine or of
// the test, not something to pass over.
inline bool OnCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

// Skips the rest of the test with the reason on a developer's machine; fails it on CI.
#define PELORIN_SKIP(reason)                                         \
    do {                                                             \
        if (::pelorin::test::OnCi()) FAIL() << "not run on CI: " << (reason); \
        GTEST_SKIP() << (reason);                                    \
    } while (false)

// A folder of a name no other exists under, made in base: its UTF-8 path.
inline std::string MakeUniqueFolder(const std::filesystem::path& base, const std::string& stem) {
    std::random_device entropy;
    for (;;) {
        std::filesystem::path folder = base / (stem + std::to_string(entropy()));
        if (std::filesystem::create_directory(folder)) {
            std::u8string utf8 = folder.u8string();
            return std::string(utf8.begin(), utf8.end());
        }
    }
}

// A fresh folder for one test, removed afterwards.
class TempDir {
public:
    TempDir() : path(MakeUniqueFolder(std::filesystem::temp_directory_path(), "pelorin-test-")) {}
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

}  // namespace pelorin::test
