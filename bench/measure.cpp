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
#include "platform/sdl/input_wait.h"
#include "platform/sdl/sdl_host.h"
#include "platform/wav_file.h"
#include "system.h"
#include "tasks/tone_letter_task.h"
#include "tone_onsets.h"
#include "transitions/blanke.h"
#include "x11_probe.h"

namespace pelorin::bench {

int Settings::BlockMillis() const { return quick ? 10000 : BarGame::BLOCK_MS; }

namespace {

constexpr int64_t PERIOD_MICROS = int64_t{BarGame::GROWTH_TICK_MS} * 1000;
// Outlasts every measurement of the "misc" phase, so that no block ending starts the next block.
constexpr int LONG_BLOCK_MS = 3'600'000;
// The longest a tone may take from its call to the output and still be taken for the one called.
constexpr int64_t MAX_LATENCY_MICROS = 200'000;
// Level, in 16-bit units, at which a recorded tone counts as begun; tones start from silence.
constexpr int ONSET_THRESHOLD = 64;

// Unwinds the block's ending out of its nested waits once the ending has been seen.
struct BlockOver {};

double Millis(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

void Put(const std::string& name, double value) { std::printf("%s %.6f\n", name.c_str(), value); }

void PutSeries(const std::string& name, const std::vector<double>& values) {
    for (double value : values) Put(name, value);
}

// The answer key of a demo tone: x for the low, s for the middle, w for the high one.
char ToneKey(const std::string& path) {
    if (path.ends_with("200.wav")) return 'x';
    if (path.ends_with("500.wav")) return 's';
    return 'w';
}

// The real host, watching the dual-task screen through what the host sees of it: the growth ticks as
// the timer's schedule moves on, letters as the label's caption changes, tones as they are played,
// keys as the screen takes them.
class BenchHost : public sdl::SdlHost {
public:
    explicit BenchHost(Paths paths) {
        if (paths == Paths::WholeFramesSdlSound) UseWholeFramesAndSdlSound();
    }

    void Watch(Tone_LetterTask& watched) {
        task = &watched;
        lastDue = task->Timer1.DueAt();
        lastCaption = task->Label1.Caption();
    }

    void Present() override {
        int64_t began = NowMicros();
        if (task != nullptr) Look(began);
        SdlHost::Present();
        drawMicros += NowMicros() - began;
    }

    void PlaySoundSync(const std::string& path) override {
        Tone tone{path, NowMicros(), 0, {}};
        SdlHost::PlaySoundSync(path);
        tone.returned = NowMicros();
        tone.onset = LastSoundOnset();
        tones.push_back(tone);
        answerKey = ToneKey(path);
        ++tonesPlayed;
    }

    std::optional<InputEvent> PollInput() override {
        std::optional<InputEvent> event = SdlHost::PollInput();
        if (event && event->kind == InputEvent::Kind::KeyPress && event->keyAscii > 0) {
            keysHandled.push_back(NowMicros());
        }
        return event;
    }

    struct Tone {
        std::string path;
        int64_t called = 0;
        int64_t returned = 0;
        SoundOnset onset;
    };
    struct Letter {
        int64_t changed = 0;
        int64_t presented = 0;
    };

    bool stopAtEnd = false;
    int64_t endMicros = 0;
    int64_t drawMicros = 0;
    std::vector<double> tickLateness;
    std::vector<int64_t> keysHandled;
    std::vector<Tone> tones;
    std::vector<Letter> letters;
    std::atomic<int> tonesPlayed = 0;
    std::atomic<char> answerKey = 0;

private:
    void Look(int64_t now) {
        int64_t due = task->Timer1.DueAt();
        if (due != lastDue && lastDue != NO_DEADLINE && due != NO_DEADLINE) {
            tickLateness.push_back(Millis(now - lastDue));
        }
        lastDue = due;
        // The bars start again from a third of the screen where the block would end by overflow,
        // so that it runs its whole length.
        float height = task->Height();
        for (Shape* bar : {&task->Shape1, &task->Shape2}) {
            if (bar->Height() >= height * 0.9f) bar->Move(bar->Left(), height * 2 / 3, bar->Width(), height / 3);
        }
        if (task->Label1.Caption() != lastCaption) {
            lastCaption = task->Label1.Caption();
            size_t index = letters.size();
            letters.push_back({now, 0});
            OnNextPresent([this, index](int64_t presented) { letters[index].presented = presented; });
        }
        if (stopAtEnd && task->Label2.Visible()) {
            endMicros = now;
            throw BlockOver{};
        }
    }

    Tone_LetterTask* task = nullptr;
    int64_t lastDue = NO_DEADLINE;
    std::string lastCaption;
};

// A run of the dual block: the demo tones in ./wave, the letters the block sequencer sets, the block
// started as the sequencer starts it, and its rows written to a results file in the current folder
// as a registered subject's are.
struct DualBlock {
    explicit DualBlock(Paths paths) : host(paths), experiment(host) {
        recordMicros = host.NowMicros();
        experiment.results.Open(".", DatasetSettings{}, {1, 1}, recordMicros);
        experiment.Display();
        task.Start();
        host.Watch(task);
    }

    BenchHost host;
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
    BenchHost& host = block.host;
    int blockMillis = settings.BlockMillis();
    if (settings.quick) block.task.Timer2.SetInterval(blockMillis);
    int64_t blockStart = block.task.Timer2.DueAt() - int64_t{blockMillis} * 1000;
    int64_t firstTick = block.task.Timer1.DueAt();
    host.tickLateness.clear();
    host.drawMicros = 0;
    host.stopAtEnd = true;
    double processBefore = ProcessCpuSeconds();
    double threadBefore = ThreadCpuSeconds();
    int64_t wallBefore = host.NowMicros();
    try {
        for (;;) block.experiment.runtime.WaitPass();
    } catch (const BlockOver&) {
    }
    double wall = static_cast<double>(host.NowMicros() - wallBefore) / 1e6;
    double process = ProcessCpuSeconds() - processBefore;
    double thread = ThreadCpuSeconds() - threadBefore;
    int64_t blockEnd = blockStart + int64_t{blockMillis} * 1000;

    size_t ticks = host.tickLateness.size();
    PutSeries("tick", host.tickLateness);
    Put("ticks.fired", static_cast<double>(ticks));
    Put("ticks.due", static_cast<double>((blockEnd - 1 - firstTick) / PERIOD_MICROS + 1));
    Put("block.error", Millis(host.endMicros - blockEnd));
    Put("block.millis", blockMillis);
    Put("cpu.process", 100.0 * process / wall);
    Put("cpu.thread", 100.0 * thread / wall);
    Put("rss", PeakMemoryMegabytes());
    Put("draw", Millis(host.drawMicros) / static_cast<double>(std::max<size_t>(ticks, 1)));
}

// Keys typed at random 20 to 60 ms gaps; the times of sending, in order.
class KeyStream {
public:
    KeyStream(int count, unsigned seed) : count(count), random(seed) {}

    template <class Send>
    void Run(const std::function<int64_t()>& now, Send send) {
        std::uniform_int_distribution<int> gap(20, 60);
        std::uniform_int_distribution<int> letter(0, 2);
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
            {
                std::lock_guard lock(mutex);
                sent.push_back(now());
            }
            send("bnm"[letter(random)]);
        }
    }

    std::vector<int64_t> Sent() {
        std::lock_guard lock(mutex);
        return sent;
    }

private:
    int count;
    std::mt19937 random;
    std::mutex mutex;
    std::vector<int64_t> sent;
};

void PushKey(char key) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.text[0] = key;
    SDL_PushEvent(&event);
}

// Letter answers typed while the block runs: each key's time from sending to the screen taking it.
template <class Send>
void MeasureKeys(const std::string& name, DualBlock& block, int count, Send send) {
    BenchHost& host = block.host;
    host.keysHandled.clear();
    KeyStream stream(count, 5);
    std::atomic<bool> finished = false;
    std::function<int64_t()> now = [&host] { return host.NowMicros(); };
    std::thread typist([&] {
        stream.Run(now, send);
        finished = true;
    });
    int64_t giveUp = 0;
    while (host.keysHandled.size() < static_cast<size_t>(count)) {
        block.experiment.runtime.WaitPass();
        if (finished && giveUp == 0) giveUp = host.NowMicros() + 1'000'000;
        if (giveUp != 0 && host.NowMicros() > giveUp) break;
    }
    typist.join();
    std::vector<int64_t> sent = stream.Sent();
    std::vector<double> latency;
    for (size_t i = 0; i < std::min(sent.size(), host.keysHandled.size()); ++i) {
        latency.push_back(Millis(host.keysHandled[i] - sent[i]));
    }
    PutSeries(name, latency);
    Put(name + ".lost", static_cast<double>(sent.size() - latency.size()));
}

// Each letter's reported present against the first damage of its label the X server announced after
// the frame was begun: what an X client sees of the letter's onset.
void PutLetterOnsets(BenchHost& host, DamageWatcher& watcher, const Tone_LetterTask& task) {
    std::vector<DamageWatcher::Damage> damages = watcher.Events();
    int x = static_cast<int>(task.Label1.Left() / TWIPS_PER_PIXEL);
    int y = static_cast<int>(task.Label1.Top() / TWIPS_PER_PIXEL);
    int w = static_cast<int>(task.Label1.Width() / TWIPS_PER_PIXEL);
    int h = static_cast<int>(task.Label1.Height() / TWIPS_PER_PIXEL);
    size_t missed = 0;
    std::vector<double> error;
    for (const BenchHost::Letter& letter : host.letters) {
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
    BenchHost& host = block.host;
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
        const int64_t offset = sdl::MonotonicNanos() / 1000 - host.NowMicros();
        if (FILE* out = std::fopen(settings.tonesFile.c_str(), "a")) {
            for (size_t i = 0; i < inFile.size(); ++i) {
                const std::string& path = host.tones[i].path;
                std::fprintf(out, "%s %lld %d %s\n", settings.paths.c_str(), static_cast<long long>(inFile[i] + offset),
                             host.tones[i].onset.exact ? 1 : 0, path.substr(path.find_last_of("/\\") + 1).c_str());
            }
            std::fclose(out);
        }
    }
    for (const BenchHost::Tone& tone : host.tones) {
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
        const BenchHost::Tone& tone = host.tones[i];
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

// Waits, keys with the letters they change, and tones, while the block's timers run.
void MeasureMisc(Paths paths, const Settings& settings) {
    DualBlock block(paths);
    block.task.Timer2.SetInterval(LONG_BLOCK_MS);
    BenchHost& host = block.host;
    // The recording of the tones starts first: a new recording stream changes the sound server's
    // timing for some seconds.
    MonitorRecorder recorder(settings.monitor, 44100, [&host] { return host.NowMicros(); });
    bool recording = !settings.monitor.empty() && recorder.Start();

    for (auto [millis, reps] : {std::pair{25, settings.Reps(200, 10)}, std::pair{35, settings.Reps(200, 10)},
                                std::pair{500, settings.Reps(8, 3)}, std::pair{2000, settings.Reps(4, 2)}}) {
        std::vector<double> overshoot;
        for (int i = 0; i < reps; ++i) {
            int64_t before = host.NowMicros();
            block.experiment.Blanke().Wait(static_cast<int16_t>(millis));
            overshoot.push_back(Millis(host.NowMicros() - before - int64_t{millis} * 1000));
        }
        PutSeries("wait" + std::to_string(millis), overshoot);
    }

    int keys = settings.Reps(150, 40);
    DamageWatcher watcher([&host] { return host.NowMicros(); });
    bool watching = watcher.Start(Runtime::TITLE);
    host.letters.clear();
    KeyInjector injector;
    if (injector.Open()) {
        MeasureKeys("key.x", block, keys, [&injector](char key) {
            injector.Press(key);
            injector.Release(key);
        });
    }
    MeasureKeys("key.push", block, keys, PushKey);
    block.experiment.Blanke().Wait(100);
    watcher.Stop();
    if (watching) PutLetterOnsets(host, watcher, block.task);

    // The Windows build cannot record its tones itself: under Wine, with a sound server for Wine's
    // WASAPI to play to, it writes their onsets for the recorder scripts/bench runs beside it.
    if (!NotMeasuredHere().empty() && settings.tonesFile.empty()) return;
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
