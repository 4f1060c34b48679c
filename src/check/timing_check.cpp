#include "check/timing_check.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ctime>
#include <filesystem>
#include <random>
#include <thread>

#include "audio/wav_file.h"
#include "check/check_report.h"
#include "check/check_screen.h"
#include "check/system_info.h"
#include "demo/demo_waves.h"
#include "hosts/sdl/displays.h"
#include "measure/key_injector.h"
#include "measure/loopback.h"
#include "measure/measuring_host.h"
#include "measure/sound_capture.h"
#include "measure/stats.h"
#include "records/provenance.h"
#include "screens/bar_game.h"
#include "screens/blanke.h"
#include "screens/display.h"
#include "screens/experiment.h"
#include "screens/tone_letter_task.h"
#include "system/append_file.h"
#include "system/calendar.h"
#include "system/files.h"
#include "system/system_facts.h"
#include "system/warning.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"
#include "ui/timer.h"

namespace pelorin::check {

namespace {

constexpr int BLOCK_MS = 10'000;
constexpr int WAITS_EACH = 40;
constexpr int TONES = 20;
constexpr int IDLE_KEYS = 60;
constexpr int DISK_ROWS = 30;
constexpr int LOOPBACK_TONES = 20;
// The longest delay between a tone's onset and its recording that the check by cable looks for: a
// chain of converters and buffers adds tens of milliseconds.
constexpr double MAX_LOOPBACK_DELAY_MICROS = 500'000;
// Silence recorded before the first tone, the input's noise, and after the last, for a late cable.
constexpr int16_t LOOPBACK_LEAD_MS = 500;
constexpr int16_t LOOPBACK_TAIL_MS = 800;
// A response row, the widest kind the results write while a block runs.
constexpr const char* RESULTS_ROW = "12.345678\tn/a\tresponse\t3\ttone+letter\tn/a\tx\ttone\t1\t0.682029\t0.312\t0.333\tn/a\n";

double Millis(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

// When the check began, from the system's calendar.
struct LocalTime {
    std::string iso;   // "2026-12-07T04:12:33+01:00"
    std::string text;  // "2026-12-07 04:12:33 UTC+01:00"
    // A field of the ISO form: its first character and length.
    int Field(size_t first, size_t length) const { return std::stoi(iso.substr(first, length)); }
};

LocalTime Now() {
    std::string iso = FormatLocalTime(SystemCalendarNow());
    return {iso, iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC" + iso.substr(19)};
}

// The tones a run plays from the folder's wave/, or the demo tones written to a temporary folder
// where it has none; the temporary folder is removed when the check ends.
struct Tones {
    explicit Tones(const std::string& folder) {
        for (int frequency : DEMO_TONE_FREQUENCIES) {
            std::string path = JoinPath(folder, "wave/" + std::to_string(frequency) + ".wav");
            if (ReadWavInfo(path)) paths.push_back(path);
        }
        if (!paths.empty()) {
            description = std::to_string(paths.size()) + " tones of the folder's wave/";
            return;
        }
        std::error_code error;
        temporary = std::filesystem::temp_directory_path(error) /
                    ("pelorin-check-" + std::to_string(std::random_device{}()));
        if (error || !WriteDemoWaves(temporary)) {
            description = "none: the folder has no wave/ and no demo tone could be written";
            return;
        }
        for (int frequency : DEMO_TONE_FREQUENCIES) {
            paths.push_back((temporary / (std::to_string(frequency) + ".wav")).string());
        }
        description = "the demo tones (the folder has no wave/)";
    }
    ~Tones() {
        std::error_code ignored;
        if (!temporary.empty()) std::filesystem::remove_all(temporary, ignored);
    }
    Tones(const Tones&) = delete;
    Tones& operator=(const Tones&) = delete;

    std::vector<std::string> paths;
    std::string description;
    std::filesystem::path temporary;
};

// Twenty tones at random 60 to 400 ms gaps, so that each is asked for at a different point of the
// device's buffer, with one key injected during each: where the tones were placed, the audio clock's
// pace, and the keys' times.
void MeasureSound(measure::MeasuringHost& host, Runtime& runtime, Blanke& blanke, const std::string& folder,
                  CheckFigures& figures, measure::KeyInjector* injector) {
    figures.sound.output = host.DescribeAudio();
    Tones tones(folder);
    figures.sound.tones = tones.description;
    if (tones.paths.empty()) return;
    host.WaitForSoundOutput();
    host.tones.clear();
    host.keysHandled.clear();
    std::atomic<bool> done = false;
    std::vector<int64_t> sent;
    std::thread typist;
    if (injector != nullptr) {
        typist = std::thread([&] {
            std::mt19937 random(7);
            std::uniform_int_distribution<int> into(20, 150);
            while (!done) {
                if (!host.playing) {
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                    continue;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(into(random)));
                if (!host.playing) continue;
                sent.push_back(host.NowMicros());
                injector->Press('b');
                injector->Release('b');
                while (host.playing && !done) std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    std::mt19937 random(11);
    std::uniform_int_distribution<int> gap(60, 400);
    for (int i = 0; i < TONES; ++i) {
        runtime.PlaySound(tones.paths[static_cast<size_t>(i) % tones.paths.size()]);
        blanke.Wait(static_cast<int16_t>(gap(random)));
    }
    done = true;
    if (typist.joinable()) typist.join();

    std::vector<double> drift;
    for (const measure::MeasuringHost::Tone& tone : host.tones) {
        if (!tone.onset.audible) continue;
        figures.sound.latency.push_back(Millis(tone.onset.onsetMicros - tone.called));
        if (tone.onset.exact) ++figures.sound.exact;
        std::optional<WavInfo> info = ReadWavInfo(tone.path);
        if (info && info->DurationMicros() > 0) {
            drift.push_back((static_cast<double>(tone.onset.durationMicros) / static_cast<double>(info->DurationMicros()) -
                             1.0) * 1e6);
        }
    }
    figures.sound.driftPpm = drift.empty() ? NAN : measure::Summarise(drift).mean;
    for (size_t i = 0; i < std::min(sent.size(), host.keysHandled.size()); ++i) {
        figures.keys.toneToStamp.push_back(Millis(host.keysHandled[i].stamped - sent[i]));
        figures.keys.toneToHandler.push_back(Millis(host.keysHandled[i].handled - sent[i]));
    }
    figures.keys.toneLost = static_cast<double>(sent.size()) - static_cast<double>(figures.keys.toneToStamp.size());
}

// The first channel of a 16-bit wave file, and its rate; nothing for another format.
std::pair<std::vector<int16_t>, int> Samples16(const std::string& path) {
    std::optional<WavData> wav = ReadWavData(path);
    if (!wav || wav->info.bitsPerSample != 16 || wav->info.channels < 1) return {};
    size_t frames = wav->bytes.size() / (2 * static_cast<size_t>(wav->info.channels));
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i) {
        std::memcpy(&samples[i], &wav->bytes[i * 2 * static_cast<size_t>(wav->info.channels)], 2);
    }
    return {samples, static_cast<int>(wav->info.sampleRate)};
}

int Peak(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    return peak;
}

// The sound check by cable: tones played with the output wired to an input, which is recorded the
// while; each tone found in the recording, its onset read at the pace the recording arrived, is set
// against the onset the results file would write for it.
void MeasureLoopback(measure::MeasuringHost& host, Runtime& runtime, Blanke& blanke, const std::string& folder,
                     const std::string& input, LoopbackFigures& figures) {
    figures.asked = true;
    if (host.DescribeAudio().silent) {
        figures.error = "no sound device to play the tones through";
        return;
    }
    Tones tones(folder);
    if (tones.paths.empty()) {
        figures.error = tones.description;
        return;
    }
    std::unique_ptr<measure::SoundCapture> capture = measure::MakeSoundCapture(input, [&host] { return host.NowMicros(); });
    if (!capture->Start(figures.error)) {
        figures.input = capture->Describe();
        return;
    }
    figures.input = capture->Describe();
    host.WaitForSoundOutput();
    blanke.Wait(LOOPBACK_LEAD_MS);
    host.tones.clear();
    std::mt19937 random(13);
    std::uniform_int_distribution<int> gap(150, 400);
    for (int i = 0; i < LOOPBACK_TONES; ++i) {
        runtime.PlaySound(tones.paths[static_cast<size_t>(i) % tones.paths.size()]);
        blanke.Wait(static_cast<int16_t>(gap(random)));
    }
    blanke.Wait(LOOPBACK_TAIL_MS);
    measure::Recording recording = capture->Stop();
    if (recording.samples.size() < static_cast<size_t>(recording.rate)) {
        figures.error = "the input gave next to nothing (" + std::to_string(recording.samples.size()) + " samples)";
        return;
    }

    // A level well above the input's noise before the first tone and well below the tones; each
    // file's own first crossing of the same level, scaled by the cable's gain, is what the recording's
    // rise is set against.
    size_t leadFrames = static_cast<size_t>(recording.rate) * LOOPBACK_LEAD_MS / 2000;
    int noise = Peak(recording.samples, 0, leadFrames);
    int recorded = Peak(recording.samples, leadFrames, recording.samples.size());
    int threshold = std::max({64, 4 * noise, recorded / 32});
    std::map<std::string, double> leadMicros;
    for (const std::string& path : tones.paths) {
        auto [samples, rate] = Samples16(path);
        int filePeak = Peak(samples, 0, samples.size());
        double level = recorded > 0 ? static_cast<double>(threshold) * filePeak / recorded : threshold;
        size_t first = measure::FirstAbove(samples, std::max(1, static_cast<int>(std::lround(level))));
        leadMicros[path] = rate > 0 && first < samples.size() ? static_cast<double>(first) * 1e6 / rate : 0;
    }
    measure::ArrivalClock clock(recording.rate, recording.arrivals);
    figures.pacePpm = clock.PacePpm();
    std::vector<double> rises;
    for (size_t rise : measure::FindRises(recording.samples, threshold, static_cast<size_t>(recording.rate) / 50)) {
        rises.push_back(clock.FrameMicros(static_cast<double>(rise)));
    }
    std::vector<double> expected;
    std::vector<bool> exact;
    for (const measure::MeasuringHost::Tone& tone : host.tones) {
        if (!tone.onset.audible) continue;
        expected.push_back(static_cast<double>(tone.onset.onsetMicros) + leadMicros[tone.path]);
        exact.push_back(tone.onset.exact);
    }
    // A tone the output gave up on counts as played and not found.
    figures.played = static_cast<int>(host.tones.size());
    measure::LinedUp lined = measure::LineUp(expected, rises, MAX_LOOPBACK_DELAY_MICROS);
    figures.recordedMinusWritten = lined.differences;
    for (size_t i = 0; i < lined.found.size(); ++i) {
        if (!exact[lined.found[i]]) continue;
        ++figures.written;
        figures.readBackMinusWritten.push_back(lined.differences[i]);
    }
}

// Results rows written and flushed one by one into a file of the check's own in the folder, which
// is removed afterwards.
void MeasureDisk(const std::string& folder, DiskFigures& disk) {
    disk.folder = folder;
    std::string path = JoinPath(folder, ".pelorin-timing-check-" + std::to_string(std::random_device{}()) + ".tmp");
    AppendFile::Created created = AppendFile::CreateNew(path);
    if (!created.file) {
        disk.error = created.exists ? "a file of the check's name is in the way" : created.error;
        return;
    }
    for (int i = 0; i < DISK_ROWS; ++i) {
        auto began = std::chrono::steady_clock::now();
        std::optional<std::string> failed = created.file->Append(RESULTS_ROW);
        auto written = std::chrono::steady_clock::now();
        if (!failed) failed = created.file->Sync();
        auto flushed = std::chrono::steady_clock::now();
        if (failed) {
            disk.error = *failed;
            break;
        }
        disk.rows.push_back(std::chrono::duration<double, std::milli>(written - began).count());
        disk.flushes.push_back(std::chrono::duration<double, std::milli>(flushed - written).count());
    }
    created.file.reset();
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path), ignored);
}

// Writes the report as a new file in the folder; its path, or empty with the reason on stderr.
std::string WriteReport(const std::string& folder, const LocalTime& started, const std::string& report) {
    std::string name = ReportFileName(started.Field(0, 4), started.Field(5, 2), started.Field(8, 2), started.Field(11, 2),
                                      started.Field(14, 2), started.Field(17, 2));
    // A check started twice in one second gets a second file, never a report overwritten.
    for (int attempt = 1; attempt < 10; ++attempt) {
        std::string candidate = name;
        if (attempt > 1) candidate.insert(candidate.size() - 4, "-" + std::to_string(attempt));
        std::string path = JoinPath(folder, candidate);
        AppendFile::Created created = AppendFile::CreateNew(path);
        if (created.exists) continue;
        std::optional<std::string> failed = created.file ? created.file->Append(report) : created.error;
        if (!failed && created.file) failed = created.file->Sync();
        if (!failed) return path;
        Warn("the timing check's report could not be written to " + path + ": " + *failed);
        return "";
    }
    Warn("the timing check's report could not be written: every name is taken");
    return "";
}

}  // namespace

int RunTimingCheck(const CheckOptions& options) {
    std::string folder = options.folder.empty() ? CurrentFolder() : options.folder;
    LocalTime started = Now();
    CheckFigures figures;
    figures.started = started.text;
    figures.program = "Pelorin " + VersionText();
    figures.system = SystemName();
    figures.machine = MachineName();
    figures.reference = ReferenceSystemHere();
    std::string report;
    try {
        measure::MeasuringHost host(options.display);
        Experiment experiment(host);
        Runtime& runtime = experiment.runtime;
        Blanke& blanke = experiment.Blanke();
        // Before the screen is made: it takes its texts when it is.
        runtime.texts = options.texts;
        const Texts& texts = runtime.texts;
        CheckScreen screen(runtime);
        screen.Label1.SetCaption(texts.Get("check.title-on-display", {{"number", std::to_string(options.display)}}));
        screen.Show();
        // Frames are counted over the whole check, its block and the tones and keys after it.
        const FrameCounts framesAtStart = host.CountFrames();
        const int64_t startMicros = host.NowMicros();

        screen.Say(texts.Get("check.display"), texts.Get("check.display-detail"));
        figures.display.listed = sdl::ListDisplays();
        host.ShowDisplayNumbers();
        DisplayInfo shown = host.DescribeDisplay();
        figures.display.number = shown.number;
        figures.display.width = shown.width;
        figures.display.height = shown.height;
        figures.display.refreshHz = shown.refreshHz;
        figures.display.scalingPercent = shown.ScalingPercent();
        figures.display.scalingSource = shown.dpiSource;
        figures.display.twipsPerPixel = host.TwipsPerPixel();
        figures.keys.layout = host.DescribeKeyboard(std::string(TONE_KEYS) + LETTER_KEYS);
        figures.power = ReadPower();
        blanke.Wait(1000);

        screen.Say(texts.Get("check.waits"), texts.Get("check.waits-detail", {{"count", std::to_string(WAITS_EACH)}}));
        blanke.Wait(300);
        figures.waits.wait25 = measure::WaitOvershoots(host, blanke, 25, WAITS_EACH);
        figures.waits.wait35 = measure::WaitOvershoots(host, blanke, 35, WAITS_EACH);

        screen.Say(texts.Get("check.block", {{"seconds", std::to_string(BLOCK_MS / 1000)}}),
                   texts.Get("check.block-detail"));
        blanke.Wait(1500);
        experiment.Display();
        Tone_LetterTask& task = experiment.Tone_LetterTask();
        task.Start();
        measure::BlockFigures block = measure::MeasureIdleBlock(host, runtime, task, BLOCK_MS);
        host.Unwatch();
        task.Timer1.SetEnabled(false);
        task.Timer2.SetEnabled(false);
        screen.Show();
        figures.display.presents = block.tickPresents;
        figures.display.onsets = block.tickOnsets;
        figures.display.onsetStamp = block.onsetStamp;
        figures.display.measuredRefreshMs = block.refreshMs;
        figures.display.framesShown = block.framesShown;
        figures.display.framesMissed = block.framesMissed;
        figures.waits.blockSeconds = BLOCK_MS / 1000;
        figures.waits.ticks = block.tickLateness;
        figures.waits.ticksFired = block.ticksFired;
        figures.waits.ticksDue = block.ticksDue;
        figures.waits.cpuProcess = block.cpuProcess;
        figures.waits.cpuThread = block.cpuThread;

        measure::KeyInjector injector;
        bool injecting = injector.Open();
        if (injecting) figures.keys.injector = InjectorName();
        screen.Say(texts.Get("check.sound"), texts.Get("check.sound-detail", {{"count", std::to_string(TONES)}}));
        MeasureSound(host, runtime, blanke, folder, figures, injecting ? &injector : nullptr);
        if (options.loopback) {
            std::string input = options.loopbackInput.empty() ? texts.Get("check.default-input") : options.loopbackInput;
            screen.Say(texts.Get("check.loopback"),
                       texts.Get("check.loopback-detail", {{"count", std::to_string(LOOPBACK_TONES)}, {"input", input}}));
            MeasureLoopback(host, runtime, blanke, folder, options.loopbackInput, figures.loopback);
        }

        if (injecting) {
            screen.Say(texts.Get("check.keys"), texts.Get("check.keys-detail", {{"count", std::to_string(IDLE_KEYS)},
                                                                                {"injector", InjectorName()}}));
            measure::KeyFigures keys = measure::MeasureKeys(host, runtime, IDLE_KEYS, [&injector](char key) {
                injector.Press(key);
                injector.Release(key);
            });
            figures.keys.idleToHandler = keys.toHandler;
            figures.keys.idleToStamp = keys.toStamp;
            figures.keys.idleLost = keys.lost;
        }

        screen.Say(texts.Get("check.disk"), texts.Get("check.disk-detail", {{"folder", folder}}));
        blanke.Wait(100);
        MeasureDisk(folder, figures.disk);
        host.FinishPresents();
        const FrameCounts framesAtEnd = host.CountFrames();
        // Counted only where every frame was stamped: a display that stopped stamping counted a part.
        figures.display.checkStamp =
            framesAtStart.stamp != FrameStamp::DisplayRefresh ? framesAtStart.stamp : framesAtEnd.stamp;
        figures.display.checkFramesShown = static_cast<double>(framesAtEnd.shown - framesAtStart.shown);
        figures.display.checkFramesMissed = static_cast<double>(framesAtEnd.missed - framesAtStart.missed);
        figures.display.checkSeconds = Millis(host.NowMicros() - startMicros) / 1000;

        report = FormatReport(figures) + options.languages;
        std::string written = WriteReport(folder, started, report);
        std::vector<Warning> warnings = Warnings(figures);
        screen.Say(warnings.empty()          ? texts.Get("check.done")
                   : warnings.size() == 1    ? texts.Get("check.done-warning")
                                             : texts.Get("check.done-warnings", {{"count", std::to_string(warnings.size())}}),
                   written.empty() ? texts.Get("check.report-not-written") : texts.Get("check.report-in", {{"path", written}}));
        std::fputs(report.c_str(), stdout);
        if (!written.empty()) std::printf("\nWritten to %s\n", written.c_str());
        std::fflush(stdout);
        blanke.Wait(2000);
        return CheckExitCode(figures, !written.empty());
    } catch (const ProgramEnded&) {
        if (!report.empty()) return 0;
        Warn("the timing check was stopped before its end; nothing was written");
        return 1;
    } catch (const std::exception& error) {
        ReportFailure(error.what());
        return 1;
    }
}

}  // namespace pelorin::check
