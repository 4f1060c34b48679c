// Records the sink's monitor beside the Windows build run under Wine (which cannot start parec), and
// sets the tones it recorded against the onsets the Windows build wrote for them: the tone row of
// `scripts/bench --wine`, labelled as Wine's.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "audio/wav_file.h"
#include "demo/demo_waves.h"
#include "record_beside.h"
#include "report.h"
#include "tone_onsets.h"

namespace pelorin::bench {

namespace {

constexpr int RATE = 44100;
constexpr int ONSET_THRESHOLD = 64;
// A recorded tone is taken for the written one within this much.
constexpr double MATCH_MICROS = 50'000;

volatile std::sig_atomic_t stopAsked = 0;

void AskStop(int) { stopAsked = 1; }

// Wine's performance counter runs on the system's raw monotonic clock; the Linux build on the
// monotonic clock, which the system may slew apart from the raw one.
int64_t ClockMicros(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

}  // namespace

int RecordTonesBeside(const std::string& source, const std::string& tonesFile, bool relative) {
    std::signal(SIGTERM, AskStop);
    std::signal(SIGINT, AskStop);
    const clockid_t clock = relative ? CLOCK_MONOTONIC : CLOCK_MONOTONIC_RAW;
    MonitorRecorder recorder(source, RATE, [clock] { return ClockMicros(clock); });
    if (!recorder.Start()) return 1;
    while (stopAsked == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    recorder.Stop();

    // Where each demo tone first crosses the level, from tones made here as the Windows build made its own.
    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("pelorin-record-" + std::to_string(getpid()));
    std::map<std::string, double> lead;
    if (WriteDemoWaves(folder / "wave")) {
        for (const char* name : {"200.wav", "500.wav", "800.wav"}) {
            std::optional<WavData> wav = ReadWavData((folder / "wave" / name).string());
            if (!wav || wav->info.bitsPerSample != 16) continue;
            std::vector<int16_t> samples(wav->bytes.size() / 2);
            std::memcpy(samples.data(), wav->bytes.data(), samples.size() * 2);
            lead[name] = static_cast<double>(FirstAbove(samples, ONSET_THRESHOLD)) * 1e6 / RATE;
        }
    }
    std::filesystem::remove_all(folder);

    std::vector<size_t> rises = FindRises(recorder.Samples(), ONSET_THRESHOLD, RATE / 50);
    // The sink's pace while the program played into it: from its first sound to its last.
    const double first = rises.empty() ? 0 : static_cast<double>(rises.front());
    const double last = rises.empty() ? 0 : static_cast<double>(rises.back());
    std::vector<double> riseMicros;
    for (size_t rise : rises) riseMicros.push_back(recorder.FrameMicrosWithin(static_cast<double>(rise), first, last));
    struct Written {
        std::string paths;
        double micros = 0;
        int exact = 0;
        double lead = 0;
    };
    std::vector<Written> tones;
    if (FILE* file = std::fopen(tonesFile.c_str(), "r")) {
        char paths[64];
        char name[64];
        long long micros = 0;
        int exact = 0;
        while (std::fscanf(file, "%63s %lld %d %63s", paths, &micros, &exact, name) == 4) {
            const auto found = lead.find(name);
            if (found != lead.end()) tones.push_back({paths, static_cast<double>(micros), exact, found->second});
        }
        std::fclose(file);
    }
    // The recorded sound nearest each written tone.
    const auto nearest = [&riseMicros](const Written& tone, double shift) {
        double best = INFINITY;
        for (double rise : riseMicros) {
            const double difference = rise - tone.lead - (tone.micros + shift);
            if (std::abs(difference) < std::abs(best)) best = difference;
        }
        return best;
    };
    // Onsets on a clock of their own (a program's, counted from its start) are first put on the
    // recording's: by the shift that lines up the most tones with recorded sounds to a millisecond.
    double shift = 0;
    if (relative && !tones.empty()) {
        size_t most = 0;
        for (double rise : riseMicros) {
            const double candidate = rise - tones.front().lead - tones.front().micros;
            size_t lined = 0;
            for (const Written& tone : tones) lined += std::abs(nearest(tone, candidate)) < 1000;
            if (lined > most) {
                most = lined;
                shift = candidate;
            }
        }
    }
    std::map<std::string, Figures> figures;
    // A whole run's file says which onsets it holds to 0.5 ms (read back from the output): only those
    // are held to it here; the planned ones are shown apart.
    std::vector<double> planned;
    for (const Written& tone : tones) {
        const double difference = nearest(tone, shift);
        if (std::abs(difference) > MATCH_MICROS) continue;
        if (relative && !tone.exact) {
            planned.push_back(difference / 1000.0);
            continue;
        }
        figures[tone.paths]["tone.vs.file"].push_back(difference / 1000.0);
        figures[tone.paths]["tone.exact"].push_back(tone.exact);
    }
    const size_t written = tones.size();
    std::printf("\n%s: %zu tones written, %zu sounds recorded.\n",
                relative ? "Tones of a whole run of the program, recorded beside it (onsets lined up with the recording "
                           "first: only the spread counts)"
                         : "Tones of the Windows build under Wine (Wine's WASAPI playing to the same null sink), "
                           "recorded beside it",
                written, rises.size());
    // Its frames are turned into time at this pace, not the nominal one.
    const double pace = recorder.FramesPerSecond(first, last);
    std::printf("The sink delivered %.0f frames a second of the program's clock (%+.0f ppm of its nominal %d).\n", pace,
                (pace / RATE - 1) * 1e6, RATE);
    if (relative) {
        std::printf("Tones the file gives as planned (audio_plan), not held to 0.5 ms: %zu", planned.size());
        if (!planned.empty()) {
            const auto [least, most] = std::minmax_element(planned.begin(), planned.end());
            std::printf(", recorded - file from %.3f to %.3f ms", *least, *most);
        }
        std::printf(".\n");
    }
    PrintRecordedToneRow(relative ? "tone in a whole run, exact in the file: recorded - results file" :
                                    "tone in a real block: recorded - results file (Wine)",
                         figures["changed-parts-system-sound"], figures["whole-frames-sdl-sound"]);
    return 0;
}

}  // namespace pelorin::bench
