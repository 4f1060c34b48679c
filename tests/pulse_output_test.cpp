// The system's sound output against a real PulseAudio server with a null sink (started for these
// tests by pulse_server.sh; skipped where none could be): each tone's onset as read back, against
// where its first sample is found in a recording of the sink's monitor.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>
#include <thread>

#include "audio/sdl/sdl_audio.h"
#include "audio/wav_file.h"
#include "hosts/sdl/input_wait.h"
#include "test_support.h"
#include "tone_onsets.h"

namespace pelorin::sdl {
namespace {

constexpr int RATE = 44100;
constexpr int THRESHOLD = 64;

void SleepUntil(int64_t nanos) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, nanos - MonotonicNanos())));
}

std::vector<int16_t> Sine(int ms) {
    std::vector<int16_t> samples(static_cast<size_t>(RATE * ms / 1000));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 500.0 * double(i) / RATE));
    }
    return samples;
}

// pulse_server.sh runs these against its server, and fails or skips them (CI=true or not) without one.
class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* monitor = std::getenv("PELORIN_TEST_MONITOR");
        ASSERT_TRUE(monitor != nullptr && std::getenv("PULSE_SERVER") != nullptr) << "run by pulse_server.sh";
        source = monitor;
        // Set but empty: it names no SDL driver.
        setenv("SDL_AUDIODRIVER", "", 1);
    }

    test::TempDir temp;
    std::string source;
};

TEST_F(PulseOutputTest, ReportedOnsetsAreWhereTheRecordingHasThem) {
    const std::string tone = temp.path + "/tone.wav";
    const std::vector<int16_t> samples = Sine(150);
    ASSERT_TRUE(WriteWavPcm16(tone, RATE, samples));
    bench::MonitorRecorder recorder(source, RATE, [] { return MonotonicNanos() / 1000; });
    ASSERT_TRUE(recorder.Start());
    Audio audio;
    ASSERT_EQ(audio.Describe().driver, "pulseaudio");
    EXPECT_LE(audio.FixedLatencyNanos(), 25'000'000);
    // The recording stream settles the server's timing for a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::mt19937 random(3);
    std::uniform_int_distribution<int> gap(50, 150);
    std::vector<PlayedSound> played;
    std::vector<int64_t> called;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
        called.push_back(MonotonicNanos());
        audio.PlaySync(tone, SleepUntil);
        const int64_t returned = MonotonicNanos();
        played.push_back(audio.LastPlayed());
        EXPECT_TRUE(played.back().audible);
        EXPECT_GE(returned, played.back().onsetNanos + played.back().durationNanos) << "tone " << i;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recorder.Stop();
    // Each tone is the first sound to begin after its call (a stream that ran dry mid-tone, on a
    // busy machine, makes a tone two sounds).
    const std::vector<size_t> rises = bench::FindRises(recorder.Samples(), THRESHOLD, RATE / 50);
    const double lead = static_cast<double>(bench::FirstAbove(samples, THRESHOLD));
    std::vector<double> error;
    for (size_t i = 0; i < played.size(); ++i) {
        double recorded = NAN;
        for (size_t rise : rises) {
            const double micros = recorder.FrameMicros(static_cast<double>(rise) - lead);
            if (micros >= static_cast<double>(called[i]) / 1000.0) {
                recorded = micros;
                break;
            }
        }
        ASSERT_FALSE(std::isnan(recorded)) << "tone " << i << " not recorded";
        error.push_back((recorded - static_cast<double>(played[i].onsetNanos) / 1000.0) / 1000.0);
        std::printf("tone %zu: recorded - reported %.3f ms%s\n", i, error.back(), played[i].exact ? "" : " (not exact)");
    }
    // The recording's times carry the monitor's own constant delay, a fraction of a millisecond:
    // every tone is held to the median.
    std::vector<double> sorted = error;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    EXPECT_LT(std::abs(median), 1.0);
    // A machine too busy to let the server answer at once leaves some onsets loose, and says so.
    const auto exact = std::count_if(played.begin(), played.end(), [](const PlayedSound& p) { return p.exact; });
    EXPECT_GE(exact, static_cast<long>(played.size()) / 2);
    for (size_t i = 0; i < error.size(); ++i) {
        if (played[i].exact) {
            EXPECT_NEAR(error[i], median, 0.5) << "tone " << i;
        }
    }
}


// The server stopped (SIGSTOP) for longer than a play waits on it: a tone it had begun to take keeps
// its planned onset and its length, not exact; one it took nothing of went unheard.
TEST_F(PulseOutputTest, AToneThatStartedBeforeAStallKeepsItsPlannedOnset) {
    const char* pidText = std::getenv("PELORIN_TEST_PULSE_PID");
    ASSERT_TRUE(pidText != nullptr && *pidText != '\0') << "run by pulse_server.sh";
    const pid_t server = static_cast<pid_t>(std::atoi(pidText));
    std::string name;
    std::getline(std::ifstream("/proc/" + std::to_string(server) + "/comm"), name);
    ASSERT_EQ(name, "pulseaudio") << "process " << server;
    const std::string tone = temp.path + "/tone.wav";
    ASSERT_TRUE(WriteWavPcm16(tone, RATE, Sine(300)));
    Audio audio;
    ASSERT_EQ(audio.Describe().driver, "pulseaudio");
    // A tone played first, as in a block: the server's timing is known.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    audio.PlaySync(tone, SleepUntil);
    ASSERT_TRUE(audio.LastPlayed().audible);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Stops the server for 1.5 s from stopMillis after the tone's call (before it where negative); it
    // always goes on again.
    const auto playStalled = [&](int64_t stopMillis, int64_t& called) {
        const int64_t base = MonotonicNanos() + 50'000'000;
        std::thread stall([&] {
            SleepUntil(base + stopMillis * 1'000'000);
            kill(server, SIGSTOP);
            SleepUntil(base + (stopMillis + 1500) * 1'000'000);
            kill(server, SIGCONT);
        });
        SleepUntil(base);
        called = MonotonicNanos();
        audio.PlaySync(tone, SleepUntil);
        stall.join();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return audio.LastPlayed();
    };

    // Stopped 120 ms into the tone.
    int64_t called = 0;
    PlayedSound begun = playStalled(120, called);
    EXPECT_TRUE(begun.audible) << "onset at " << (begun.onsetNanos - called) / 1000 << " us, "
                               << begun.durationNanos / 1000 << " us long";
    EXPECT_FALSE(begun.exact);
    EXPECT_EQ(begun.durationNanos, 300'000'000);
    EXPECT_GE(begun.onsetNanos, called);
    EXPECT_LE(begun.onsetNanos - called, audio.FixedLatencyNanos() + 20'000'000);

    // Stopped before the call: nothing of the tone was taken.
    PlayedSound unheard = playStalled(-20, called);
    EXPECT_FALSE(unheard.audible);
    EXPECT_GE(unheard.onsetNanos, called) << "the call's time";
    EXPECT_LE(unheard.onsetNanos, called + 1'000'000) << "the call's time";

    // And the output plays on once the server does.
    audio.PlaySync(tone, SleepUntil);
    EXPECT_TRUE(audio.LastPlayed().audible);
}

// Tones right after the output opens, while the server's idle sink still plays out what it held (up
// to 2 s here): opening waits for nothing, the first tone waits until the stream plays and every tone
// is heard and placed at the output's latency from then, not a second behind, nor given up on and
// recorded unplayed.
TEST_F(PulseOutputTest, TonesRightAfterTheOutputOpensAreHeard) {
    const std::string tone = temp.path + "/tone.wav";
    const std::vector<int16_t> samples = Sine(100);
    ASSERT_TRUE(WriteWavPcm16(tone, RATE, samples));
    Audio audio;
    ASSERT_EQ(audio.Describe().driver, "pulseaudio");
    for (int i = 0; i < 5; ++i) {
        const int64_t called = MonotonicNanos();
        audio.PlaySync(tone, SleepUntil);
        const PlayedSound played = audio.LastPlayed();
        std::printf("tone %d: audible %d exact %d onset %+.3f ms after the call\n", i, played.audible, played.exact,
                    double(played.onsetNanos - called) / 1e6);
        EXPECT_TRUE(played.audible) << "tone " << i;
        // The first waits for the output, up to 3 s from its opening; a busy machine may place a tone a
        // buffer or two later, never the second the sink held.
        const int64_t warmUp = i == 0 ? 3'000'000'000 : 0;
        EXPECT_LE(played.onsetNanos - called, warmUp + audio.FixedLatencyNanos() + 50'000'000) << "tone " << i;
    }
    // Once it plays, a wait for it returns at once: a measurement started then leaves the warm-up out.
    int waits = 0;
    audio.WaitUntilPlaying([&waits](int64_t) { ++waits; });
    EXPECT_EQ(waits, 0);
}

}  // namespace
}  // namespace pelorin::sdl
