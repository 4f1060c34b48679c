#include "measure.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav_file.h"
#include "demo/demo_waves.h"
#include "hosts/sdl/input_wait.h"
#include "hosts/sdl/sdl_host.h"
#include "measure/key_injector.h"
#include "measure/measuring_host.h"
#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/tone_letter_task.h"
#include "system.h"
#include "tone_onsets.h"
#include "ui/runtime.h"
#include "x11_probe.h"

namespace pelorin::bench {

using namespace pelorin::measure;

int Settings::BlockMillis() const { return quick ? 10000 : BarGame::BLOCK_MS; }

namespace {

// Outlasts every measurement of the "misc" phase, so that no block ending starts the next block.
constexpr int LONG_BLOCK_MS = 3'600'000;
// The longest a tone may take from its call to the output and still be taken for the one called.
constexpr int64_t MAX_LATENCY_MICROS = 200'000;
// Level, in 16-bit units, at which a recorded tone counts as begun; tones start from silence.
constexpr int ONSET_THRESHOLD = 64;

double Millis(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

void Put(const std::string& name, double value) { std::printf("%s %.6f\n", name.c_str(), value); }

void PutSeries(const std::string& name, const std::vector<double>& values) {
    for (double value : values) Put(name, value);
}

// A run of the dual block: the demo tones in ./wave, the letters the block sequencer sets, the block
// started as the sequencer starts it, and its rows written to a results file in the current folder
// as a registered subject's are.
struct DualBlock {
    explicit DualBlock(Paths paths) : experiment(host) {
        if (paths == Paths::WholeFramesSdlSound) {
            host.UseWholeFramesAndSdlSound();
            host.StampKeysWhenRead();
        }
        recordMicros = host.NowMicros();
        experiment.results.Open(".", DatasetSettings{}, {1, 1}, recordMicros);
        experiment.Display();
        task.Start();
        host.Watch(task);
    }

    MeasuringHost host;
    Experiment experiment;
    Tone_LetterTask& task = experiment.Tone_LetterTask();
    int64_t recordMicros = 0;
};

// The onsets of the tone rows of a results file, on the host's clock.
std::vector<int64_t> ToneOnsetsInFile(const std::string& path, int64_t recordMicros) {
    std::vector<int64_t> onsets;
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return onsets;
    std::vector<std::string> columns;
    size_t onsetColumn = 0;
    size_t typeColumn = 0;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        std::vector<std::string> fields(1);
        for (const char* c = buffer; *c != '\0' && *c != '\n'; ++c) {
            if (*c == '\t') {
                fields.emplace_back();
            } else {
                fields.back() += *c;
            }
        }
        if (columns.empty()) {
            columns = fields;
            for (size_t i = 0; i < columns.size(); ++i) {
                if (columns[i] == "onset") onsetColumn = i;
                if (columns[i] == "trial_type") typeColumn = i;
            }
            continue;
        }
        if (fields.size() <= std::max(onsetColumn, typeColumn) || fields[typeColumn] != "tone") continue;
        // Seconds to the microsecond, read as whole microseconds.
        long long seconds = 0;
        long long micros = 0;
        if (std::sscanf(fields[onsetColumn].c_str(), "%lld.%6lld", &seconds, &micros) != 2) continue;
        onsets.push_back(recordMicros + seconds * 1'000'000 + micros);
    }
    std::fclose(file);
    return onsets;
}

// The idle block: growth-tick lateness against the timer's schedule, the block timer, CPU and memory.
void MeasureBlock(Paths paths, const Settings& settings) {
    DualBlock block(paths);
    BlockFigures figures = MeasureIdleBlock(block.host, block.experiment.runtime, block.task, settings.BlockMillis());
    PutSeries("tick", figures.tickLateness);
    Put("ticks.fired", figures.ticksFired);
    Put("ticks.due", figures.ticksDue);
    Put("block.error", figures.blockError);
    Put("block.millis", settings.BlockMillis());
    Put("cpu.process", figures.cpuProcess);
    Put("cpu.thread", figures.cpuThread);
    Put("rss", figures.peakMemory);
    Put("draw", figures.drawPerTick);
    PutSeries("onset", figures.tickOnsets);
    Put("frames.shown", figures.framesShown);
    Put("frames.missed", figures.framesMissed);
    Put("frames.stamped", figures.onsetStamp == FrameStamp::DisplayRefresh ? 1 : 0);
    Put("refresh", figures.refreshMs);
}

void PushKey(char key) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.text[0] = key;
    SDL_PushEvent(&event);
}

// Letter answers typed while the block runs: each key's time from sending to the screen taking it.
void PutKeys(const std::string& name, DualBlock& block, int count, const std::function<void(char)>& send) {
    KeyFigures figures = MeasureKeys(block.host, block.experiment.runtime, count, send);
    PutSeries(name, figures.toHandler);
    Put(name + ".lost", figures.lost);
}

// Each letter's reported present against the first damage of its label the X server announced after
// the frame was begun: what an X client sees of the letter's onset.
void PutLetterOnsets(MeasuringHost& host, DamageWatcher& watcher, const Tone_LetterTask& task) {
    std::vector<DamageWatcher::Damage> damages = watcher.Events();
    int x = static_cast<int>(task.Label1.Left() / host.TwipsPerPixel());
    int y = static_cast<int>(task.Label1.Top() / host.TwipsPerPixel());
    int w = static_cast<int>(task.Label1.Width() / host.TwipsPerPixel());
    int h = static_cast<int>(task.Label1.Height() / host.TwipsPerPixel());
    size_t missed = 0;
    std::vector<double> error;
    for (const MeasuringHost::Letter& letter : host.letters) {
        auto seen = std::find_if(damages.begin(), damages.end(), [&](const DamageWatcher::Damage& d) {
            return d.micros >= letter.changed && d.x < x + w && x < d.x + d.w && d.y < y + h && y < d.y + d.h;
        });
        if (letter.presented == 0 || seen == damages.end()) {
            ++missed;
            continue;
        }
        error.push_back(Millis(seen->micros - letter.presented));
    }
    PutSeries("letter.onset", error);
    Put("letter.missed", static_cast<double>(missed));
}

// Tone answers typed a random 60 to 400 ms after each tone has ended, so that every tone is called
// at a different point of the device's buffer; with a monitor, the tones are recorded as they come
// out of the sound server.
void MeasureTones(DualBlock& block, const Settings& settings, MonitorRecorder& recorder, bool recording) {
    MeasuringHost& host = block.host;
    Runtime& runtime = block.experiment.runtime;
    int count = settings.Reps(60, 50);
    host.tones.clear();
    int first = host.tonesPlayed;
    std::atomic<bool> done = false;
    std::thread typist([&] {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> gap(60, 400);
        int seen = first;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
            // Sent again while no tone follows: it may have come before the answer was armed.
            for (int waited = 0; host.tonesPlayed == seen && !done; ++waited) {
                if (waited % 1000 == 0) PushKey(host.answerKey);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            seen = host.tonesPlayed;
        }
    });
    // Letter answers typed through the X server meanwhile, at random 100 to 400 ms gaps: keys arrive
    // while the tones play, as in a real block.
    std::thread letters([&] {
        KeyInjector injector;
        if (!injector.Open()) return;
        std::mt19937 random(13);
        std::uniform_int_distribution<int> gap(100, 400);
        std::uniform_int_distribution<int> letter(0, 2);
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
            char key = "bnm"[letter(random)];
            injector.Press(key);
            injector.Release(key);
        }
    });
    int64_t giveUp = host.NowMicros() + int64_t{count} * 3'000'000;
    while (host.tonesPlayed - first < count && host.NowMicros() < giveUp) runtime.WaitPass();
    done = true;
    typist.join();
    letters.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.Stop();

    // The tone rows the results file holds for these tones: its last ones.
    std::vector<int64_t> inFile = ToneOnsetsInFile(block.experiment.results.EventsPath(), block.recordMicros);
    if (inFile.size() >= host.tones.size()) inFile.erase(inFile.begin(), inFile.end() - static_cast<std::ptrdiff_t>(host.tones.size()));
    if (!settings.tonesFile.empty() && inFile.size() == host.tones.size()) {
        // On the monotonic clock, which a recorder in another process shares, with the tone's file.
        const int64_t offset = MonotonicNanos() / 1000 - host.NowMicros();
        if (FILE* out = std::fopen(settings.tonesFile.c_str(), "a")) {
            for (size_t i = 0; i < inFile.size(); ++i) {
                const std::string& path = host.tones[i].path;
                std::fprintf(out, "%s %lld %d %s\n", settings.paths.c_str(), static_cast<long long>(inFile[i] + offset),
                             host.tones[i].onset.exact ? 1 : 0, path.substr(path.find_last_of("/\\") + 1).c_str());
            }
            std::fclose(out);
        }
    }
    for (const MeasuringHost::Tone& tone : host.tones) {
        Put("tone.exact", tone.onset.exact ? 1 : 0);
        Put("tone.reported", Millis(tone.onset.onsetMicros - tone.called));
        Put("sound.return", Millis(tone.returned - tone.onset.onsetMicros - tone.onset.durationMicros));
    }
    Put("tone.calls", static_cast<double>(host.tones.size()));
    if (!recording) return;
    std::vector<int16_t> recorded = recorder.Samples();
    std::vector<size_t> rises = FindRises(recorded, ONSET_THRESHOLD, 44100 / 50);
    std::vector<double> riseMicros;
    for (size_t rise : rises) riseMicros.push_back(recorder.FrameMicros(static_cast<double>(rise)));
    // Each tone is the first sound to begin after its call, within the longest latency the output
    // may have; a sound of another kind (a wave player's) is passed over.
    size_t found = 0;
    for (size_t i = 0; i < host.tones.size(); ++i) {
        const MeasuringHost::Tone& tone = host.tones[i];
        std::optional<WavData> wav = ReadWavData(tone.path);
        if (!wav || wav->info.bitsPerSample != 16) continue;
        std::vector<int16_t> samples(wav->bytes.size() / 2);
        std::memcpy(samples.data(), wav->bytes.data(), samples.size() * 2);
        // The recorded tone crosses the threshold where the file does: its first sample is that far back.
        const double lead = static_cast<double>(FirstAbove(samples, ONSET_THRESHOLD)) * 1e6 / 44100;
        const auto rise = std::find_if(riseMicros.begin(), riseMicros.end(), [&](double micros) {
            return micros - lead >= static_cast<double>(tone.called) &&
                   micros - lead < static_cast<double>(tone.called + MAX_LATENCY_MICROS);
        });
        if (rise == riseMicros.end()) continue;
        ++found;
        const double onset = *rise - lead;
        Put("tone.latency", (onset - static_cast<double>(tone.called)) / 1000.0);
        Put("tone.vs.reported", (onset - static_cast<double>(tone.onset.onsetMicros)) / 1000.0);
        if (inFile.size() == host.tones.size()) Put("tone.vs.file", (onset - static_cast<double>(inFile[i])) / 1000.0);
    }
    Put("tone.found", static_cast<double>(found));
    Put("sounds.recorded", static_cast<double>(rises.size()));
}

// The onsets of the response rows of one key in an events file, in microseconds, in order.
std::vector<int64_t> ResponseOnsets(const std::string& path, char key) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    // The columns by name: the file's columns may grow.
    std::map<std::string, size_t> columns;
    auto cells = [](const std::string& text) {
        std::vector<std::string> split;
        std::stringstream stream(text);
        for (std::string cell; std::getline(stream, cell, '\t');) split.push_back(cell);
        return split;
    };
    std::vector<std::string> header = cells(line);
    for (size_t i = 0; i < header.size(); ++i) columns[header[i]] = i;
    std::vector<int64_t> onsets;
    if (!columns.contains("onset") || !columns.contains("trial_type") || !columns.contains("key")) return onsets;
    while (std::getline(file, line)) {
        std::vector<std::string> row = cells(line);
        if (row.size() != header.size() || row[columns["trial_type"]] != "response" ||
            row[columns["key"]] != std::string(1, key)) {
            continue;
        }
        onsets.push_back(std::llround(std::stod(row[columns["onset"]]) * 1e6));
    }
    return onsets;
}

// Keys typed through the X server while a tone plays, a random 20 to 250 ms into it (a q, which answers
// nothing), each tone brought on by its answer key a random 60 to 200 ms after the one before has
// played: each q's onset in the results file against the time it was sent.
void MeasureKeysDuringTones(DualBlock& block, const Settings& settings, KeyInjector& injector) {
    MeasuringHost& host = block.host;
    Runtime& runtime = block.experiment.runtime;
    std::string events = block.experiment.results.EventsPath();
    if (events.empty()) return;
    int count = settings.Reps(110, 30);
    int first = host.tonesPlayed;
    std::atomic<bool> done = false;
    std::vector<int64_t> sent;
    std::thread typist([&] {
        std::mt19937 random(17);
        std::uniform_int_distribution<int> into(20, 250);
        std::uniform_int_distribution<int> after(60, 200);
        auto press = [&injector](char key) {
            injector.Press(key);
            injector.Release(key);
        };
        while (!done) {
            // Brings the next tone; again after a second without one, in case it came before the
            // channel was armed.
            int seen = host.tonesPlayed;
            press(host.answerKey);
            for (int waited = 0; !host.playing && !done; ++waited) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (waited % 1000 == 999 && host.tonesPlayed == seen) press(host.answerKey);
            }
            if (done) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(into(random)));
            if (!host.playing) continue;
            sent.push_back(host.NowMicros());
            press('q');
            while (host.playing && !done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(after(random)));
        }
    });
    int64_t giveUp = host.NowMicros() + int64_t{count} * 3'000'000;
    while (host.tonesPlayed - first < count && host.NowMicros() < giveUp) runtime.WaitPass();
    done = true;
    typist.join();
    // The last keys reach their rows.
    block.experiment.Blanke().Wait(300);
    std::vector<int64_t> onsets = ResponseOnsets(events, 'q');
    size_t matched = std::min(onsets.size(), sent.size());
    // The file's onsets count from the block's record; the send times are on the host's clock.
    for (size_t i = 0; i < matched; ++i) Put("key.tone", Millis(onsets[i] + block.recordMicros - sent[i]));
    Put("key.tone.lost", static_cast<double>(sent.size() - matched));
}

// Waits, keys with the letters they change, and tones, while the block's timers run.
void MeasureMisc(Paths paths, const Settings& settings) {
    DualBlock block(paths);
    block.task.Timer2.SetInterval(LONG_BLOCK_MS);
    MeasuringHost& host = block.host;
    // The recording of the tones starts first: a new recording stream changes the sound server's
    // timing for some seconds.
    MonitorRecorder recorder(settings.monitor, 44100, [&host] { return host.NowMicros(); });
    bool recording = !settings.monitor.empty() && recorder.Start();

    for (auto [millis, reps] : {std::pair{25, settings.Reps(200, 10)}, std::pair{35, settings.Reps(200, 10)},
                                std::pair{500, settings.Reps(8, 3)}, std::pair{2000, settings.Reps(4, 2)}}) {
        PutSeries("wait" + std::to_string(millis), WaitOvershoots(host, block.experiment.Blanke(), millis, reps));
    }

    int keys = settings.Reps(150, 40);
    DamageWatcher watcher([&host] { return host.NowMicros(); });
    bool watching = watcher.Start(Runtime::TITLE);
    host.letters.clear();
    // Windows has a key injector too, but the table prints the X server's row as not measured there.
    KeyInjector injector;
    if (NotMeasuredHere().empty() && injector.Open()) {
        PutKeys("key.x", block, keys, [&injector](char key) {
            injector.Press(key);
            injector.Release(key);
        });
    }
    PutKeys("key.push", block, keys, PushKey);
    block.experiment.Blanke().Wait(100);
    watcher.Stop();
    if (watching) PutLetterOnsets(host, watcher, block.task);

    // The Windows build cannot record its tones itself: under Wine, with a sound server for Wine's
    // WASAPI to play to, it writes their onsets for the recorder scripts/bench runs beside it.
    if (!NotMeasuredHere().empty() && settings.tonesFile.empty()) return;
    MeasureTones(block, settings, recorder, recording);
    if (injector.Open()) MeasureKeysDuringTones(block, settings, injector);
}

}  // namespace

int MeasurePhase(const std::string& phase, Paths paths, const Settings& settings) {
    try {
        if (phase == "block") {
            MeasureBlock(paths, settings);
        } else {
            MeasureMisc(paths, settings);
        }
    } catch (const ProgramEnded&) {
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pelorin_bench: %s\n", error.what());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace pelorin::bench
