// results_bench [FOLDER] [ROWS]: what writing one row of the results costs the event loop. Writes ROWS
// (default 20000) rows, as the blocks do, one write each, into an events file made in a fresh folder
// inside FOLDER (default: the current folder, so that the disk is the one a run writes to), and
// prints the time each row took from the call to its return (p50, p99, max), and the time of the flush
// that ends a block. The folder is removed afterwards.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "records/results_log.h"
#include "ui/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration duration) { return std::chrono::duration<double, std::micro>(duration).count(); }

void Print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    auto at = [&](double share) { return times[std::min(times.size() - 1, static_cast<size_t>(share * static_cast<double>(times.size())))]; };
    std::printf("%-34s %8zu  %9.1f  %9.1f  %9.1f\n", what, times.size(), at(0.5), at(0.99), times.back());
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path base = argc > 1 ? argv[1] : ".";
    int rows = argc > 2 ? std::atoi(argv[2]) : 20000;
    if (rows < 1) {
        std::fprintf(stderr, "usage: results_bench [FOLDER] [ROWS]\n");
        return 2;
    }
    // A folder of its own, whatever the system: a name not taken yet.
    std::string folder;
    std::error_code error;
    for (std::random_device random; folder.empty();) {
        fs::path candidate = base / ("results-bench-" + std::to_string(random()));
        if (fs::create_directory(candidate, error)) folder = candidate.string();
        if (error) {
            std::fprintf(stderr, "results_bench: cannot make a folder in %s: %s\n", base.string().c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    std::vector<double> rowTimes;
    std::vector<double> flushTimes;
    {
        pelorin::HeadlessHost host(1024, 768, folder);
        pelorin::Runtime runtime(host);
        pelorin::ResultsLog results(runtime);
        results.Open(folder, pelorin::DatasetSettings{}, {1, 1}, 0);
        if (results.EventsPath().empty()) {
            std::fprintf(stderr, "results_bench: cannot make the events file in %s\n", folder.c_str());
            return 1;
        }
        constexpr int ROWS_PER_BLOCK = 500;
        const char keys[] = "xswbnmq";
        for (int row = 0; row < rows; ++row) {
            if (row % ROWS_PER_BLOCK == 0) {
                results.BlockStart("dual", [] { return pelorin::ResultsLog::Bars{0.333, 0.333}; });
            }
            char key = keys[row % 7];
            auto start = Clock::now();
            // A response row, the widest kind, and the one written while the subject waits for the bar.
            results.Response(key, host.NowMicros(), key == 'q' ? pelorin::Channel::None : pelorin::Channel::Tone,
                             key == 'q' ? std::nullopt : std::optional<bool>(row % 4 != 0));
            rowTimes.push_back(Micros(Clock::now() - start));
            if (row % ROWS_PER_BLOCK == ROWS_PER_BLOCK - 1) {
                auto flush = Clock::now();
                results.EndBlock();
                // The flush waits for the blank screen that follows a block, whose wait runs it.
                runtime.DoWaitWork();
                flushTimes.push_back(Micros(Clock::now() - flush));
            }
        }
    }
    std::printf("results file in %s\n", folder.c_str());
    std::printf("%-34s %8s  %9s  %9s  %9s\n", "microseconds", "count", "p50", "p99", "max");
    Print("one row: format and write", rowTimes);
    if (!flushTimes.empty()) Print("flush at a block's end (fsync)", flushTimes);
    fs::remove_all(folder, error);
    return 0;
}
