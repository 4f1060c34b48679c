// Timing benchmark of the real event loop: Pelorin's waits beside a reference loop that spins, as a
// wait that runs the event loop over and over without sleeping does. Prints one table.
//
//   pelorin_bench [--quick] PELORIN BARE_WINDOW
//
// Needs an X display (DISPLAY) and wants SDL_AUDIODRIVER=dummy or disk; scripts/bench provides both.
// Each measurement runs in a child process of its own (pelorin_bench --child PHASE LOOP [--quick]),
// so that CPU time and peak memory belong to one loop alone.
#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "flow/experiment.h"
#include "platform/control.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "platform/sdl/sdl_host.h"
#include "platform/timer.h"
#include "platform/wav_file.h"
#include "tasks/bar_game.h"
#include "transitions/blanke.h"
#include "x11_probe.h"

namespace pelorin::bench {
namespace {

// The bar game's own timing, so the benchmark measures what a block runs on.
constexpr int GROWTH_TICK_MS = BarGame::GROWTH_TICK_MS;
constexpr float GROWTH_PER_TICK = BarGame::GROWTH_PER_TICK;
constexpr int BLOCK_MS = BarGame::BLOCK_MS;
constexpr int TONE_MS = 300;
constexpr uint32_t SCREEN_GREY = 0xD4D0C8;

struct Settings {
    bool quick = false;
    int BlockMillis() const { return quick ? 10000 : BLOCK_MS; }
    int Reps(int full, int few) const { return quick ? few : full; }
};

int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The real host, with the time it spends bringing the display up to date counted.
class TimedHost : public sdl::SdlHost {
public:
    void Present() override {
        int64_t before = MonotonicMicros();
        SdlHost::Present();
        presentMicros += MonotonicMicros() - before;
    }

    int64_t presentMicros = 0;
};

// The reference: a wait that hands control to the event loop on every pass without ever sleeping.
class SpinningHost : public TimedHost {
public:
    void WaitForInput(int64_t) override {}
};

std::unique_ptr<TimedHost> MakeHost(const std::string& loop) {
    if (loop == "spin") return std::make_unique<SpinningHost>();
    return std::make_unique<TimedHost>();
}

// A screen with the dual block's timers and drawing: a letter between two bars that rise 2 pixels
// every 35 ms, and a block timer. The bars start again from a third of the screen where the real
// block would end by overflow, so that the block runs its whole length on any display.
class DualBlock : public Screen {
public:
    explicit DualBlock(Runtime& runtime) : Screen(runtime, "DualBlock", 9600, 7200) {}

    void Form_KeyPress(int16_t& KeyAscii) override {
        if (KeyAscii > 0) keyTimes.push_back(MonotonicMicros());
    }

    // Starts both timers as the task screens do at the start of a block.
    void Begin(int blockMillis) {
        ticks.clear();
        ended = false;
        PlaceBars(Height() / 3);
        Timer1.SetInterval(GROWTH_TICK_MS);
        Timer2.SetInterval(blockMillis);
        startMicros = runtime.host.NowMicros();
        Timer1.SetEnabled(true);
        Timer2.SetEnabled(true);
    }

    void Stop() {
        Timer1.SetEnabled(false);
        Timer2.SetEnabled(false);
    }

    // Runs the event loop for a while, as the waits do.
    void RunFor(int millis) {
        bool done = false;
        Timer stop{*this, [&] { done = true; }};
        stop.SetInterval(millis);
        stop.SetEnabled(true);
        while (!done) runtime.WaitPass();
    }

    Label Label1{*this, "Label1", "B", 0, 0, 1215, 1455, Font{48}, Alignment::Center};
    Shape Shape1{*this, "Shape1", Color{255, 0, 0}, 0, 0, 1215, 495};
    Shape Shape2{*this, "Shape2", Color{0, 0, 192}, 0, 0, 1215, 495};
    Timer Timer1{*this, [this] { Timer1_Timer(); }};
    Timer Timer2{*this, [this] { Timer2_Timer(); }};

    int64_t startMicros = 0;
    std::vector<int64_t> ticks;
    int64_t endMicros = 0;
    bool ended = false;
    std::vector<int64_t> keyTimes;

private:
    void Timer1_Timer() {
        ticks.push_back(runtime.host.NowMicros());
        float height = Shape1.Height() + GROWTH_PER_TICK;
        PlaceBars(height >= Height() ? Height() / 3 : height);
    }

    void Timer2_Timer() {
        endMicros = runtime.host.NowMicros();
        Stop();
        ended = true;
    }

    void PlaceBars(float height) {
        Label1.Move((Width() - Label1.Width()) / 2, (Height() - Label1.Height()) / 2);
        Shape1.Move(Width() / 2 - 2 * Label1.Width(), Height() - height, Shape1.Width(), height);
        Shape2.Move(Width() / 2 + Label1.Width(), Height() - height, Shape2.Width(), height);
    }
};

// Figures of one child, as "name value" lines on standard output.
void Put(const std::string& name, double value) { std::printf("%s %.6f\n", name.c_str(), value); }

void PutSeries(const std::string& name, const std::vector<double>& millis) {
    for (double value : millis) Put(name, value);
}

// The idle dual block: growth-tick lateness against the schedule, the block timer, CPU and memory.
void RunBlock(const Settings& settings, const std::string& loop) {
    auto host = MakeHost(loop);
    Experiment experiment(*host);
    DualBlock block(experiment.runtime);
    block.Show();
    block.RunFor(500);

    double processBefore = CpuSeconds(RUSAGE_SELF);
    double threadBefore = CpuSeconds(RUSAGE_THREAD);
    int64_t wallBefore = MonotonicMicros();
    host->presentMicros = 0;
    block.Begin(settings.BlockMillis());
    while (!block.ended) experiment.runtime.WaitPass();
    double wall = static_cast<double>(MonotonicMicros() - wallBefore) / 1e6;
    double process = CpuSeconds(RUSAGE_SELF) - processBefore;
    double thread = CpuSeconds(RUSAGE_THREAD) - threadBefore;

    std::vector<double> lateness;
    int64_t period = GROWTH_TICK_MS * 1000;
    for (int64_t tick : block.ticks) {
        int64_t since = tick - block.startMicros;
        // The tick's place on the schedule: the last due time at or before it.
        lateness.push_back(static_cast<double>(since - since / period * period) / 1000.0);
    }
    PutSeries("tick", lateness);
    Put("ticks.fired", static_cast<double>(block.ticks.size()));
    Put("ticks.due", static_cast<double>((int64_t{settings.BlockMillis()} * 1000 - 1) / period));
    Put("block.error", static_cast<double>(block.endMicros - block.startMicros - int64_t{settings.BlockMillis()} * 1000) / 1000.0);
    Put("block.millis", settings.BlockMillis());
    Put("cpu.process", 100.0 * process / wall);
    Put("cpu.thread", 100.0 * thread / wall);
    Put("rss", PeakRssMegabytes());
    Put("draw", static_cast<double>(host->presentMicros) / 1000.0 / static_cast<double>(std::max<size_t>(block.ticks.size(), 1)));
}

std::string MakeTone(const std::filesystem::path& folder) {
    std::vector<int16_t> samples(44100 * TONE_MS / 1000);
    for (size_t i = 0; i < samples.size(); ++i) {
        double phase = 2 * std::numbers::pi * 500.0 * static_cast<double>(i) / 44100.0;
        samples[i] = static_cast<int16_t>(8000 * std::sin(phase));
    }
    std::string path = (folder / "tone.wav").string();
    WriteWavPcm16(path, 44100, samples);
    return path;
}

// Keys typed at random moments while the block's timers run; times of sending, in order.
class KeyStream {
public:
    KeyStream(int count, unsigned seed) : count(count), random(seed) {}

    template <class Send>
    void Run(Send send) {
        std::uniform_int_distribution<int> gap(20, 60);
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
            {
                std::lock_guard lock(mutex);
                sent.push_back(MonotonicMicros());
            }
            send();
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

// Runs the block's timers until every key of the stream has been handled (or a second after the
// stream ended) and puts each key's latency from sending to its handler.
template <class Send>
void MeasureKeys(const std::string& name, DualBlock& block, int count, Send send) {
    block.keyTimes.clear();
    KeyStream stream(count, 5);
    std::atomic<bool> finished = false;
    std::thread typist([&] {
        stream.Run(send);
        finished = true;
    });
    block.Begin(BLOCK_MS);
    int64_t giveUp = 0;
    while (block.keyTimes.size() < static_cast<size_t>(count)) {
        block.RunFor(5);
        if (finished && giveUp == 0) giveUp = MonotonicMicros() + 1'000'000;
        if (giveUp != 0 && MonotonicMicros() > giveUp) break;
    }
    typist.join();
    block.Stop();
    std::vector<int64_t> sent = stream.Sent();
    std::vector<double> latency;
    for (size_t i = 0; i < std::min(sent.size(), block.keyTimes.size()); ++i) {
        latency.push_back(static_cast<double>(block.keyTimes[i] - sent[i]) / 1000.0);
    }
    PutSeries(name, latency);
    Put(name + ".lost", static_cast<double>(sent.size() - latency.size()));
}

// Waits, the synchronous tone, and keys.
void RunMisc(const Settings& settings, const std::string& loop) {
    auto host = MakeHost(loop);
    Experiment experiment(*host);
    Runtime& runtime = experiment.runtime;
    DualBlock block(runtime);
    block.Show();
    block.RunFor(500);

    for (auto [millis, reps] : {std::pair{25, settings.Reps(40, 10)}, std::pair{35, settings.Reps(40, 10)},
                                std::pair{500, settings.Reps(8, 3)}, std::pair{2000, settings.Reps(4, 2)}}) {
        std::vector<double> overshoot;
        for (int i = 0; i < reps; ++i) {
            int64_t before = host->NowMicros();
            experiment.Blanke().Wait(static_cast<int16_t>(millis));
            overshoot.push_back(static_cast<double>(host->NowMicros() - before - int64_t{millis} * 1000) / 1000.0);
        }
        PutSeries("wait" + std::to_string(millis), overshoot);
    }

    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("pelorin-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string tone = MakeTone(folder);
    runtime.PlaySound(tone);  // loads and converts it once, as the first tone of a run does
    std::vector<double> afterEnd;
    for (int i = 0; i < settings.Reps(10, 3); ++i) {
        int64_t before = host->NowMicros();
        runtime.PlaySound(tone);
        afterEnd.push_back(static_cast<double>(host->NowMicros() - before - TONE_MS * 1000) / 1000.0);
        block.RunFor(50);
    }
    PutSeries("sound", afterEnd);
    std::filesystem::remove_all(folder);

    int keys = settings.Reps(150, 40);
    KeyInjector injector;
    if (injector.Open()) {
        MeasureKeys("key.x", block, keys, [&injector] {
            injector.Press('a');
            injector.Release('a');
        });
    }
    MeasureKeys("key.push", block, keys, [] {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        std::strcpy(event.text.text, "a");
        SDL_PushEvent(&event);
    });
}

int RunChild(const std::string& phase, const std::string& loop, const Settings& settings) {
    try {
        if (phase == "block") {
            RunBlock(settings, loop);
        } else {
            RunMisc(settings, loop);
        }
    } catch (const ProgramEnded&) {
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pelorin_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}

// ---- The parent: runs the children and the start-up measurement, then prints the table. ----

using Figures = std::map<std::string, std::vector<double>>;

Figures RunChildProcess(const std::string& self, const std::string& phase, const std::string& loop,
                        const Settings& settings) {
    std::string command = "'" + self + "' --child " + phase + " " + loop + (settings.quick ? " --quick" : "");
    Figures figures;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return figures;
    char name[64];
    double value;
    while (std::fscanf(pipe, "%63s %lf", name, &value) == 2) figures[name].push_back(value);
    if (pclose(pipe) != 0) std::fprintf(stderr, "pelorin_bench: %s %s run failed\n", phase.c_str(), loop.c_str());
    return figures;
}

struct Stats {
    size_t n = 0;
    double mean = 0, p50 = 0, p99 = 0, max = 0;
};

Stats Summarise(std::vector<double> values) {
    Stats stats;
    stats.n = values.size();
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    auto rank = [&](double q) {
        size_t index = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size()))) - 1;
        return values[std::min(index, values.size() - 1)];
    };
    double sum = 0;
    for (double value : values) sum += value;
    stats.mean = sum / static_cast<double>(values.size());
    stats.p50 = rank(0.5);
    stats.p99 = rank(0.99);
    stats.max = values.back();
    return stats;
}

double First(const Figures& figures, const std::string& name) {
    auto found = figures.find(name);
    return found != figures.end() && !found->second.empty() ? found->second.front() : NAN;
}

std::vector<double> Series(const Figures& figures, const std::string& name) {
    auto found = figures.find(name);
    return found != figures.end() ? found->second : std::vector<double>{};
}

// Start-up to the first frame: from the spawn to the moment the screen's grey is on the display.
struct StartUp {
    std::vector<double> millis;
    double peakRssMegabytes = 0;
};

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

std::string Fixed(double value, int decimals = 3) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Distribution(const Stats& stats, bool withMean, int decimals = 3) {
    if (stats.n == 0) return "no data";
    std::string text = withMean ? "mean " + Fixed(stats.mean, decimals) + "  " : "";
    return text + "p50 " + Fixed(stats.p50, decimals) + "  p99 " + Fixed(stats.p99, decimals) + "  max " +
           Fixed(stats.max, decimals) + "  (n " + std::to_string(stats.n) + ")";
}

void Row(const std::string& figure, const std::string& target, const std::string& pelorin,
         const std::string& reference, const std::string& verdict) {
    std::printf("%-40s %-20s %-58s %-58s %s\n", figure.c_str(), target.c_str(), pelorin.c_str(), reference.c_str(),
                verdict.c_str());
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

int RunParent(const std::string& self, const std::string& pelorin, const std::string& bare, const Settings& settings) {
    RootPixels root;
    if (!root.Open()) {
        std::fprintf(stderr, "pelorin_bench: no X display (is DISPLAY set?)\n");
        return 1;
    }
    std::fprintf(stderr, "pelorin_bench: idle block (%d s) on Pelorin's loop...\n", settings.BlockMillis() / 1000);
    Figures blockP = RunChildProcess(self, "block", "pelorin", settings);
    std::fprintf(stderr, "pelorin_bench: idle block on the spinning loop...\n");
    Figures blockS = RunChildProcess(self, "block", "spin", settings);
    std::fprintf(stderr, "pelorin_bench: waits, tones and keys on Pelorin's loop...\n");
    Figures miscP = RunChildProcess(self, "misc", "pelorin", settings);
    std::fprintf(stderr, "pelorin_bench: waits, tones and keys on the spinning loop...\n");
    Figures miscS = RunChildProcess(self, "misc", "spin", settings);

    std::fprintf(stderr, "pelorin_bench: start-up...\n");
    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("pelorin-bench-start-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    int runs = settings.Reps(10, 3);
    StartUp startBare = MeasureStartUp(root, bare, folder, runs);
    StartUp startPelorin = MeasureStartUp(root, pelorin, folder, runs);
    std::filesystem::remove_all(folder);

    std::printf("\nPelorin timing benchmark: display %dx%d, SDL_VIDEODRIVER %s, SDL_AUDIODRIVER %s, %u cores%s\n",
                root.Width(), root.Height(), std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "x11",
                std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "default",
                std::thread::hardware_concurrency(), settings.quick ? ", QUICK (fewer repetitions)" : "");
    std::printf("All times in ms. Reference: the same program with a wait that runs the event loop without sleeping.\n\n");
    Row("figure", "target", "pelorin", "spinning reference", "");
    Row(std::string(40, '-'), std::string(20, '-'), std::string(58, '-'), std::string(58, '-'), "-------");

    Stats tickP = Summarise(Series(blockP, "tick"));
    Stats tickS = Summarise(Series(blockS, "tick"));
    int blockSeconds = settings.BlockMillis() / 1000;
    Row("growth-tick lateness, " + std::to_string(blockSeconds) + " s block", "p99<=0.5 mean<=0.2",
        Distribution(tickP, true), Distribution(tickS, true), Verdict(tickP.n > 0 && tickP.p99 <= 0.5 && tickP.mean <= 0.2));
    auto fired = [](const Figures& f) {
        return Fixed(First(f, "ticks.fired"), 0) + " of " + Fixed(First(f, "ticks.due"), 0) + " due";
    };
    Row("growth ticks fired", "all, none extra", fired(blockP), fired(blockS),
        Verdict(First(blockP, "ticks.fired") == First(blockP, "ticks.due")));
    for (int millis : {25, 35, 500, 2000}) {
        std::string name = "wait" + std::to_string(millis);
        Stats waitP = Summarise(Series(miscP, name));
        Stats waitS = Summarise(Series(miscS, name));
        Row("Wait " + std::to_string(millis) + " ms overshoot", "p99<=0.5", Distribution(waitP, false),
            Distribution(waitS, false), Verdict(waitP.n > 0 && waitP.p99 <= 0.5));
    }
    double errorP = First(blockP, "block.error");
    Row("block timer error at " + Fixed(First(blockP, "block.millis"), 0) + " ms", "|error|<=1", Fixed(errorP),
        Fixed(First(blockS, "block.error")), Verdict(std::abs(errorP) <= 1));
    Row("PlaySound 300 ms, return - (call+300)", "-", Distribution(Summarise(Series(miscP, "sound")), true),
        Distribution(Summarise(Series(miscS, "sound")), true), "");
    for (auto [name, label] : {std::pair{"key.x", "key -> handler, X server (XTest)"},
                               std::pair{"key.push", "key -> handler, SDL_PushEvent"}}) {
        Stats keyP = Summarise(Series(miscP, name));
        Stats keyS = Summarise(Series(miscS, name));
        std::string lost = std::string(name) + ".lost";
        Row(label, "-", Distribution(keyP, true) + " lost " + Fixed(First(miscP, lost), 0),
            Distribution(keyS, true) + " lost " + Fixed(First(miscS, lost), 0), "");
    }
    double cpuP = First(blockP, "cpu.process");
    Row("CPU over the idle block, % of a core", "<=3", Fixed(cpuP, 2) + " (main thread " + Fixed(First(blockP, "cpu.thread"), 2) + ")",
        Fixed(First(blockS, "cpu.process"), 2) + " (main thread " + Fixed(First(blockS, "cpu.thread"), 2) + ")",
        Verdict(cpuP <= 3));
    Row("  time drawing (wall), ms per tick", "-", Fixed(First(blockP, "draw")), Fixed(First(blockS, "draw")), "");
    double rssP = First(blockP, "rss");
    Row("peak resident memory, block, MB", "<=50", Fixed(rssP, 1), Fixed(First(blockS, "rss"), 1), Verdict(rssP <= 50));
    Row("peak resident memory, pelorin start, MB", "<=50", Fixed(startPelorin.peakRssMegabytes, 1),
        Fixed(startBare.peakRssMegabytes, 1) + " (bare SDL)", Verdict(startPelorin.peakRssMegabytes <= 50));
    Stats upP = Summarise(startPelorin.millis);
    Stats upB = Summarise(startBare.millis);
    Row("start-up to first frame (ref: bare SDL)", "<=bare+100", Distribution(upP, true, 1), Distribution(upB, true, 1),
        Verdict(upP.n > 0 && upB.n > 0 && upP.p50 - upB.p50 <= 100));
    std::printf("\nStart-up is pelorin's median minus the bare program's: %s ms.\n", Fixed(upP.p50 - upB.p50, 1).c_str());
    return 0;
}

}  // namespace
}  // namespace pelorin::bench

int main(int argc, char** argv) {
    using namespace pelorin::bench;
    Settings settings;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--quick") {
            settings.quick = true;
        } else {
            args.push_back(arg);
        }
    }
    if (args.size() == 3 && args[0] == "--child") return RunChild(args[1], args[2], settings);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: pelorin_bench [--quick] PELORIN BARE_WINDOW\n");
        return 2;
    }
    std::string self = std::filesystem::canonical("/proc/self/exe").string();
    // The programs are started in a folder of their own.
    return RunParent(self, std::filesystem::absolute(args[0]).string(), std::filesystem::absolute(args[1]).string(),
                     settings);
}
