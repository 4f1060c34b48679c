#include "measure.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "demo_waves.h"
#include "flow/display.h"
#include "flow/experiment.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_host.h"
#include "platform/wav_file.h"
#include "system.h"
#include "tasks/tone_letter_task.h"
#include "tone_onsets.h"
#include "transitions/blanke.h"
#include "measure/key_injector.h"
#include "measure/measuring_host.h"
#include "x11_probe.h"

namespace pelorin::bench {

using namespace pelorin::measure;

int Settings::BlockMillis() const { return quick ? 10000 : BarGame::BLOCK_MS; }

namespace {

// Outlasts every measurement of the "misc" phase, so that no block ending starts the next block.
constexpr int LONG_BLOCK_MS = 3'600'000;
// Level, in 16-bit units, at which a recorded tone counts as begun; tones start from silence.
constexpr int ONSET_THRESHOLD = 64;

double Millis(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

void Put(const std::string& name, double value) { std::printf("%s %.6f\n", name.c_str(), value); }

void PutSeries(const std::string& name, const std::vector<double>& values) {
    for (double value : values) Put(name, value);
}

// A run of the dual block: the demo tones in ./wave, the letters the block sequencer sets, and the
// block started as the sequencer starts it.
struct DualBlock {
    explicit DualBlock(Paths paths) : experiment(host) {
        if (paths == Paths::Baseline) host.UseBaselineTiming();
        experiment.Display();
        task.Start();
        host.Watch(task);
    }

    MeasuringHost host;
    Experiment experiment;
    Tone_LetterTask& task = experiment.Tone_LetterTask();
};

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
    int x = static_cast<int>(task.Label1.Left() / TWIPS_PER_PIXEL);
    int y = static_cast<int>(task.Label1.Top() / TWIPS_PER_PIXEL);
    int w = static_cast<int>(task.Label1.Width() / TWIPS_PER_PIXEL);
    int h = static_cast<int>(task.Label1.Height() / TWIPS_PER_PIXEL);
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
    int count = settings.Reps(60, 20);
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
    int64_t giveUp = host.NowMicros() + int64_t{count} * 3'000'000;
    while (host.tonesPlayed - first < count && host.NowMicros() < giveUp) runtime.WaitPass();
    done = true;
    typist.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.Stop();

    for (const MeasuringHost::Tone& tone : host.tones) {
        Put("tone.reported", Millis(tone.onset.onsetMicros - tone.called));
        Put("sound.return", Millis(tone.returned - tone.onset.onsetMicros - tone.onset.durationMicros));
    }
    Put("tone.calls", static_cast<double>(host.tones.size()));
    if (!recording) return;
    std::vector<int16_t> recorded = recorder.Samples();
    std::vector<size_t> rises = FindRises(recorded, ONSET_THRESHOLD, 44100 / 50);
    Put("tone.found", static_cast<double>(rises.size()));
    if (rises.size() != host.tones.size()) return;
    for (size_t i = 0; i < rises.size(); ++i) {
        const MeasuringHost::Tone& tone = host.tones[i];
        std::optional<WavData> wav = ReadWavData(tone.path);
        if (!wav || wav->info.bitsPerSample != 16) return;
        std::vector<int16_t> samples(wav->bytes.size() / 2);
        std::memcpy(samples.data(), wav->bytes.data(), samples.size() * 2);
        // The recorded tone crosses the threshold where the file does: its first sample is that far back.
        double onsetFrame = static_cast<double>(rises[i]) - static_cast<double>(FirstAbove(samples, ONSET_THRESHOLD));
        double onset = recorder.FrameMicros(onsetFrame);
        Put("tone.latency", (onset - static_cast<double>(tone.called)) / 1000.0);
        Put("tone.vs.reported", (onset - static_cast<double>(tone.onset.onsetMicros)) / 1000.0);
    }
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

    // The Windows build has no sound server to record them from (under Wine they go to SDL's silent
    // driver): its tones are not measured.
    if (!NotMeasuredHere().empty()) return;
    MeasureTones(block, settings, recorder, recording);
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
