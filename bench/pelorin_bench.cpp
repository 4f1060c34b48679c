// Timing benchmark of the real program: the dual-task screen on the real host, measured at the
// output (the X server for frames, a PulseAudio sink's monitor for tones) beside the baseline drawing
// and tone start. Prints one table.
//
//   pelorin_bench [--quick] [--size WxH] PELORIN BARE_WINDOW
//
// Needs an X display (DISPLAY) of the size given; scripts/bench starts one, and a PulseAudio server
// with a null sink whose monitor it names in PELORIN_BENCH_MONITOR. Each phase runs in a child
// process of its own (pelorin_bench --child PHASE PATHS), so that CPU time and peak memory belong
// to one way of running alone; the children run in a folder holding the demo tones in wave/.
//
// The Windows build (pelorin_bench.exe, scripts/bench --wine) measures what the program itself sees
// and prints the figures that need the X server or the sound server as not measured.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo_waves.h"
#include "measure.h"
#include "record_beside.h"
#include "report.h"
#include "system.h"

namespace pelorin::bench {
namespace {

const char* PathsName(Paths paths) {
    return paths == Paths::ChangedPartsSystemSound ? "changed-parts-system-sound" : "whole-frames-sdl-sound";
}

// The "name value" lines a command prints.
Figures ReadFigures(const std::string& command) {
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
    if (pclose(pipe) != 0) std::fprintf(stderr, "pelorin_bench: %s failed\n", command.c_str());
    return figures;
}

Figures RunChildProcess(const std::string& self, const std::string& phase, Paths paths, const Settings& settings) {
    std::string command = ShellQuoted(self) + " --child " + phase + " " + PathsName(paths);
    if (settings.quick) command += " --quick";
    return ReadFigures(command);
}

int RunParent(const std::string& self, const std::string& pelorin, const std::string& bare, const Settings& settings,
              int wantedWidth, int wantedHeight) {
    int width = 0;
    int height = 0;
    if (!DisplaySize(width, height)) {
        std::fprintf(stderr, "pelorin_bench: no X display (is DISPLAY set?)\n");
        return 1;
    }
    if (wantedWidth != 0 && (width != wantedWidth || height != wantedHeight)) {
        std::fprintf(stderr, "pelorin_bench: the display is %dx%d, not the %dx%d asked for\n", width, height,
                     wantedWidth, wantedHeight);
        return 1;
    }
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pelorin-bench-" + std::to_string(ProcessId()));
    if (!WriteDemoWaves(folder / "wave")) return 1;
    std::filesystem::current_path(folder);

    Measured measured;
    measured.settings = settings;
    measured.width = width;
    measured.height = height;
    std::fprintf(stderr, "pelorin_bench: %dx%d, idle block (%d s), pelorin...\n", width, height,
                 settings.BlockMillis() / 1000);
    measured.blockPelorin = RunChildProcess(self, "block", Paths::ChangedPartsSystemSound, settings);
    std::fprintf(stderr, "pelorin_bench: idle block, baseline...\n");
    measured.blockBaseline = RunChildProcess(self, "block", Paths::WholeFramesSdlSound, settings);
    if (!bare.empty()) {
        std::fprintf(stderr, "pelorin_bench: the stack's floor: a bare SDL window presenting 28.6 frames a second...\n");
        measured.floor = ReadFigures(ShellQuoted(bare) + " --present-for " + std::to_string(settings.BlockMillis()));
    }
    std::fprintf(stderr, "pelorin_bench: waits, keys, letters and tones, pelorin...\n");
    measured.miscPelorin = RunChildProcess(self, "misc", Paths::ChangedPartsSystemSound, settings);
    std::fprintf(stderr, "pelorin_bench: waits, keys, letters and tones, baseline...\n");
    measured.miscBaseline = RunChildProcess(self, "misc", Paths::WholeFramesSdlSound, settings);

    std::fprintf(stderr, "pelorin_bench: start-up...\n");
    int runs = settings.Reps(10, 3);
    measured.startBare = MeasureStartUp(bare, folder, runs);
    measured.startPelorin = MeasureStartUp(pelorin, folder, runs);
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
    if (const char* tones = std::getenv("PELORIN_BENCH_TONES")) settings.tonesFile = tones;
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
    if (args.size() == 3 && args[0] == "--record-tones-beside") return RecordTonesBeside(args[1], args[2], false);
    if (args.size() == 4 && args[0] == "--record-tones-beside" && args[3] == "--relative") {
        return RecordTonesBeside(args[1], args[2], true);
    }
    if (args.size() == 3 && args[0] == "--child") {
        settings.paths = args[2];
        return MeasurePhase(args[1], args[2] == PathsName(Paths::WholeFramesSdlSound) ? Paths::WholeFramesSdlSound : Paths::ChangedPartsSystemSound, settings);
    }
    // Where start-up is not measured, the two programs it compares are not needed.
    bool startUpMeasured = NotMeasuredHere().empty();
    if (args.size() != 2 && (startUpMeasured || !args.empty())) {
        std::fprintf(stderr, "usage: pelorin_bench [--quick] [--size WxH] PELORIN BARE_WINDOW\n");
        return 2;
    }
    std::string pelorin = args.empty() ? "" : std::filesystem::absolute(args[0]).string();
    std::string bare = args.empty() ? "" : std::filesystem::absolute(args[1]).string();
    return RunParent(SelfPath(), pelorin, bare, settings, width, height);
}
