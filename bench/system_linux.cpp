#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "system.h"
#include "x11_probe.h"

namespace pelorin::bench {

namespace {

// The screens' grey, which the start-up figure waits for.
constexpr long SCREEN_GREY = 0xD4D0C8;

int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

}  // namespace

std::string SelfPath() { return std::filesystem::canonical("/proc/self/exe").string(); }
std::string ShellQuoted(const std::string& path) { return "'" + path + "'"; }
int ProcessId() { return getpid(); }

std::string NotMeasuredHere() { return ""; }
std::string SystemNote() { return ""; }
const char* DefaultVideoDriver() { return "x11"; }

bool DisplaySize(int& width, int& height) {
    RootPixels root;
    if (!root.Open()) return false;
    width = root.Width();
    height = root.Height();
    return true;
}

// From the spawn to the moment the screen's grey is on the display.
StartUp MeasureStartUp(const std::string& program, const std::filesystem::path& folder, int runs) {
    StartUp result;
    RootPixels root;
    if (!root.Open()) return result;
    int x = 2, y = root.Height() - 3;
    for (int run = 0; run <= runs; ++run) {
        while (root.Pixel(x, y) == SCREEN_GREY) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int64_t spawned = MonotonicMicros();
        pid_t child = fork();
        if (child == 0) {
            if (chdir(folder.c_str()) != 0) _exit(127);
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int64_t drawn = 0;
        while (drawn == 0 && MonotonicMicros() - spawned < 10'000'000) {
            if (root.Pixel(x, y) == SCREEN_GREY) drawn = MonotonicMicros();
            else std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        kill(child, SIGTERM);
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        result.peakRssMegabytes = std::max(result.peakRssMegabytes, static_cast<double>(usage.ru_maxrss) / 1024.0);
        // The first run fills the file caches; it is not counted.
        if (run > 0 && drawn != 0) result.millis.push_back(static_cast<double>(drawn - spawned) / 1000.0);
    }
    return result;
}

}  // namespace pelorin::bench
