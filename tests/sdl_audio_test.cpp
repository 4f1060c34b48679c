#include "audio/sdl/sdl_audio.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <thread>

#include "audio/wav_file.h"
#include "hosts/sdl/input_wait.h"
#include "test_support.h"

namespace pelorin::sdl {
namespace {

using namespace std::chrono_literals;

constexpr int RATE = 44100;

// The program's wait, as the host gives it: here a plain sleep to the time.
void SleepUntil(int64_t nanos) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, nanos - MonotonicNanos())));
}

// A 1 kHz sine without ramps: its first and last samples mark its ends to the frame, and it has at
// most one near-silent sample at each zero crossing.
std::vector<int16_t> Sine(int rate, int ms) {
    std::vector<int16_t> samples(static_cast<size_t>(rate * ms / 1000));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 1000.0 * double(i) / rate));
    }
    return samples;
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir);
        SDL_setenv("SDL_AUDIODRIVER", "disk", 1);
        SDL_setenv("SDL_DISKAUDIOFILE", Path("output.raw").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }

    std::string Tone(const std::string& name, int ms) {
        EXPECT_TRUE(WriteWavPcm16(Path(name), RATE, Sine(RATE, ms)));
        return Path(name);
    }

    // A sine as 24-bit stereo PCM at 48 kHz, which the device must widen, mix down and resample.
    std::string WideTone(const std::string& name, int ms) {
        std::string data;
        for (const int16_t sample : Sine(48000, ms)) {
            const char bytes[3] = {0, static_cast<char>(sample & 0xFF), static_cast<char>(sample >> 8)};
            data.append(bytes, 3).append(bytes, 3);
        }
        std::ofstream out(Path(name), std::ios::binary);
        const auto put = [&out](uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                out.put(static_cast<char>(value >> (8 * i)));
            }
        };
        out << "RIFF";
        put(static_cast<uint32_t>(36 + data.size()), 4);
        out << "WAVEfmt ";
        // PCM, 2 channels, 48000 Hz, 288000 bytes a second, 6-byte frames, 24 bits.
        for (const auto& [value, bytes] :
             {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {48000u, 4}, {288000u, 4}, {6u, 2}, {24u, 2}}) {
            put(value, bytes);
        }
        out << "data";
        put(static_cast<uint32_t>(data.size()), 4);
        out << data;
        return Path(name);
    }

    // Lengths in frames of the non-silent runs that the disk driver wrote (16-bit stereo). Two
    // synchronous plays can be as little as a fraction of a buffer apart.
    std::vector<size_t> Played() const {
        std::ifstream in(Path("output.raw"), std::ios::binary);
        const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<size_t> runs;
        size_t start = 0;
        size_t last = 0;
        size_t unequal = 0;
        for (size_t frame = 0; frame < raw.size() / 4; ++frame) {
            int16_t channel[2];
            std::memcpy(channel, &raw[frame * 4], 4);
            unequal += channel[0] != channel[1];
            if (std::abs(channel[0]) < 16) {
                continue;
            }
            if (runs.empty() || frame - last > 16) {
                runs.push_back(0);
                start = frame;
            }
            last = frame;
            runs.back() = frame + 1 - start;
        }
        EXPECT_EQ(unequal, 0u) << "every test sound plays the same on both channels";
        return runs;
    }

    test::TempDir temp;
    const std::filesystem::path dir = temp.path;
};

TEST_F(AudioTest, PlaySyncReturnsAfterTheWholeSound) {
    const std::string tone = Tone("tone.wav", 300);
    const std::string wide = WideTone("wide.wav", 200);
    {
        Audio audio;
        ASSERT_FALSE(audio.Silent());
        audio.PlaySync(tone, SleepUntil);
        // A wait that returns early (a key came) is called again until the time has come, and the
        // play still lasts to the sound's end.
        int waits = 0;
        const auto start = std::chrono::steady_clock::now();
        audio.PlaySync(tone, [&waits](int64_t until) {
            if (++waits % 2 == 0) SleepUntil(std::min(until, MonotonicNanos() + 2'000'000));
        });
        EXPECT_GE(std::chrono::steady_clock::now() - start, 299ms);
        EXPECT_GT(waits, 2);
        audio.PlaySync(wide, SleepUntil);
        // Closing the device right after the return cuts off whatever is still to be played.
    }
    const auto played = Played();
    ASSERT_EQ(played.size(), 3u);
    EXPECT_NEAR(double(played[0]), RATE * 0.3, 2);
    EXPECT_NEAR(double(played[1]), RATE * 0.3, 2);
    // Resampling smears the edges a little; a cut-off end would be ~500 frames short.
    EXPECT_NEAR(double(played[2]), RATE * 0.2, RATE / 500);
}

TEST_F(AudioTest, UnplayableFilesPlayNothing) {
    std::ofstream(Path("garbage.wav")) << "not a wave file at all, just some text that goes on";
    std::ofstream(Path("empty.wav")).close();
    ASSERT_TRUE(WriteWavPcm16(Path("no_frames.wav"), RATE, {}));
    {
        Audio audio;
        for (const auto& name : {"missing.wav", "garbage.wav", "empty.wav", "no_frames.wav", ""}) {
            audio.PlaySync(Path(name), SleepUntil);
        }
        EXPECT_EQ(audio.Open(Path("missing.wav")), -1);
        EXPECT_EQ(audio.Open(Path("garbage.wav")), -1);
    }
    EXPECT_TRUE(Played().empty());
}

TEST_F(AudioTest, WavePlayerPlaysFromWhereItIs) {
    const std::string beep = Tone("beep.wav", 50);
    const std::string longTone = Tone("long.wav", 3000);
    {
        Audio audio;
        const int handle = audio.Open(beep);
        ASSERT_GE(handle, 0);
        // Five replays as the overflow ending does them; Play returns at once, so the test waits.
        for (int i = 0; i < 5; ++i) {
            audio.Rewind(handle);
            audio.Play(handle);
            std::this_thread::sleep_for(150ms);
        }
        // Played to its end, it stays silent until rewound.
        audio.Play(handle);
        std::this_thread::sleep_for(150ms);
        // A second Play while playing goes on rather than starting over.
        audio.Rewind(handle);
        audio.Play(handle);
        std::this_thread::sleep_for(20ms);
        audio.Play(handle);
        std::this_thread::sleep_for(150ms);
        // Unknown handles are ignored.
        audio.Close(handle);
        audio.Play(handle);
        audio.Rewind(-1);
        // Rewind, Close and CloseAll each cut a long sound short.
        for (const auto stop : {+[](Audio& a, int h) { a.Rewind(h); }, +[](Audio& a, int h) { a.Close(h); },
                                +[](Audio& a, int) { a.CloseAll(); }}) {
            const int longHandle = audio.Open(longTone);
            audio.Play(longHandle);
            std::this_thread::sleep_for(100ms);
            stop(audio, longHandle);
            std::this_thread::sleep_for(100ms);
        }
    }
    const auto played = Played();
    ASSERT_EQ(played.size(), 6u + 3u);
    for (size_t i = 0; i < played.size(); ++i) {
        if (i < 6) {
            EXPECT_NEAR(double(played[i]), RATE * 0.05, 2) << "onset " << i;
        } else {
            EXPECT_LT(played[i], size_t{RATE}) << "stopped sound " << i;
        }
    }
}

TEST_F(AudioTest, TimingsAreKeptWithoutASoundCard) {
    const std::string tone = Tone("tone.wav", 300);
    // The dummy driver plays into nothing; it crashes on buffer sizes other than powers of two.
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        Audio audio;
        EXPECT_FALSE(audio.Silent());
        const auto start = std::chrono::steady_clock::now();
        audio.PlaySync(tone, SleepUntil);
        // The dummy driver paces itself with the system's sleep, which under Wine runs up to a
        // fraction of a millisecond ahead of the steady clock.
        EXPECT_GE(std::chrono::steady_clock::now() - start, 299ms);
    }

    // No device at all: one line on stderr, then silence that still takes the tone's duration.
    SDL_setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    ::testing::internal::CaptureStderr();
    Audio audio;
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(audio.Silent());
    EXPECT_TRUE(warning.starts_with("pelorin: no audio device (")) << warning;
    EXPECT_TRUE(warning.ends_with("); running silent\n")) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
    const auto start = std::chrono::steady_clock::now();
    audio.PlaySync(tone, SleepUntil);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    // The wave player still hands out handles for files that load.
    EXPECT_GE(audio.Open(tone), 0);
    EXPECT_EQ(audio.Open(Path("missing.wav")), -1);
}

}  // namespace
}  // namespace pelorin::sdl

namespace pelorin::sdl {
namespace {

// SDL_AUDIODRIVER naming one of SDL's drivers keeps SDL's output whatever sound server there is, and
// SDL's output cannot read its onsets back. (The system's own output is tested against a server of
// the tests' own in pulse_output_test.cpp.)
TEST_F(AudioTest, SdlDriversNamedKeepSdlsOutputWhoseOnsetsAreNotExact) {
    const std::string tone = Tone("tone.wav", 200);
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    Audio audio;
    EXPECT_EQ(audio.Describe().driver, "dummy");
    audio.PlaySync(tone, SleepUntil);
    EXPECT_TRUE(audio.LastPlayed().audible);
    EXPECT_FALSE(audio.LastPlayed().exact);
}

}  // namespace
}  // namespace pelorin::sdl
