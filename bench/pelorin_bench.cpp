// Timing benchmark of the real program: the dual-task screen on the real host, measured at the
// output (the X server for frames, a PulseAudio sink's monitor for tones) beside today's drawing and
// tone start. Prints one table.
//
//   pelorin_bench [--quick] [--size WxH] PELORIN BARE_WINDOW
//
// Needs an X display (DISPLAY) of the size given; scripts/bench starts one, and a PulseAudio server
// with a null sink whose monitor it names in PELORIN_BENCH_MONITOR. Each phase runs in a child
// process of its own (pelorin_bench --child PHASE PATHS), so that CPU time and peak memory belong
// to one way of running alone; the children run in a folder holding the demo tones in wave/.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "demo_waves.h"
#include "measure.h"
#include "report.h"
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

const char* PathsName(Paths paths) { return paths == Paths::Pelorin ? "pelorin" : "today"; }

Figures RunChildProcess(const std::string& self, const std::string& phase, Paths paths, const Settings& settings) {
    std::string command = "'" + self + "' --child " + phase + " " + PathsName(paths);
    if (settings.quick) command += " --quick";
    Figures figures;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return figures;
    // Lines other than figures, such as the program's own start-up line, are passed over.
    char line[256];
    char name[64];
    double value;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        if (std::sscanf(line, "%63s %lf", name, &value) == 2) figures[name].push_back(value);
    }
    if (pclose(pipe) != 0) std::fprintf(stderr, "pelorin_bench: %s %s run failed\n", phase.c_str(), PathsName(paths));
    return figures;
}

// Start-up to the first frame: from the spawn to the moment the screen's grey is on the display.
StartUp MeasureStartUp(RootPixels& root, const std::string& program, const std::filesystem::path& folder, int runs) {
    StartUp result;
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

int RunParent(const std::string& self, const std::string& pelorin, const std::string& bare, const Settings& settings,
              int wantedWidth, int wantedHeight) {
    RootPixels root;
    if (!root.Open()) {
        std::fprintf(stderr, "pelorin_bench: no X display (is DISPLAY set?)\n");
        return 1;
    }
    if (wantedWidth != 0 && (root.Width() != wantedWidth || root.Height() != wantedHeight)) {
        std::fprintf(stderr, "pelorin_bench: the display is %dx%d, not the %dx%d asked for\n", root.Width(),
                     root.Height(), wantedWidth, wantedHeight);
        return 1;
    }
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pelorin-bench-" + std::to_string(getpid()));
    if (!WriteDemoWaves(folder / "wave")) return 1;
    std::filesystem::current_path(folder);

    Measured measured;
    measured.settings = settings;
    measured.width = root.Width();
    measured.height = root.Height();
    std::fprintf(stderr, "pelorin_bench: %dx%d, idle block (%d s), pelorin...\n", root.Width(), root.Height(),
                 settings.BlockMillis() / 1000);
    measured.blockPelorin = RunChildProcess(self, "block", Paths::Pelorin, settings);
    std::fprintf(stderr, "pelorin_bench: idle block, today's drawing...\n");
    measured.blockToday = RunChildProcess(self, "block", Paths::Today, settings);
    std::fprintf(stderr, "pelorin_bench: waits, keys, letters and tones, pelorin...\n");
    measured.miscPelorin = RunChildProcess(self, "misc", Paths::Pelorin, settings);
    std::fprintf(stderr, "pelorin_bench: waits, keys, letters and tones, today's...\n");
    measured.miscToday = RunChildProcess(self, "misc", Paths::Today, settings);

    std::fprintf(stderr, "pelorin_bench: start-up...\n");
    int runs = settings.Reps(10, 3);
    measured.startBare = MeasureStartUp(root, bare, folder, runs);
    measured.startPelorin = MeasureStartUp(root, pelorin, folder, runs);
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(folder);

    PrintReport(measured);
    return 0;
}

}  // namespace
}  // namespace pelorin::bench

int main(int argc, char** argv) {
    using namespace pelorin::bench;
    Settings settings;
    if (const char* monitor = std::getenv("PELORIN_BENCH_MONITOR")) settings.monitor = monitor;
    int width = 0;
    int height = 0;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick") {
            settings.quick = true;
        } else if (arg == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
                std::fprintf(stderr, "pelorin_bench: --size takes WIDTHxHEIGHT, such as 1024x768\n");
                return 2;
            }
        } else {
            args.push_back(arg);
        }
    }
    if (args.size() == 3 && args[0] == "--child") {
        return MeasurePhase(args[1], args[2] == "today" ? Paths::Today : Paths::Pelorin, settings);
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: pelorin_bench [--quick] [--size WxH] PELORIN BARE_WINDOW\n");
        return 2;
    }
    std::string self = std::filesystem::canonical("/proc/self/exe").string();
    return RunParent(self, std::filesystem::absolute(args[0]).string(), std::filesystem::absolute(args[1]).string(),
                     settings, width, height);
}
