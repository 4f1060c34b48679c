#include "demo/demo_waves.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

#include "audio/wav_file.h"

namespace pelorin {

namespace {

constexpr int SAMPLE_RATE = 44100;
constexpr int TONE_MS = 300;
constexpr int TONE_RAMP_MS = 10;
// Replayed every 500 ms: a gap must be left between two plays.
constexpr int BUZZ_MS = 400;
constexpr int BUZZ_RAMP_MS = 5;
// -6 dBFS.
constexpr double PEAK = 0.5;

int Frames(int ms) {
    return SAMPLE_RATE * ms / 1000;
}

// Phase in [0, 1) of a wave of the given frequency at frame i.
double Phase(double frequency, size_t i) {
    const double cycles = frequency * double(i) / SAMPLE_RATE;
    return cycles - std::floor(cycles);
}

double Sawtooth(double frequency, size_t i) {
    return 2.0 * Phase(frequency, i) - 1.0;
}

double Square(double frequency, size_t i) {
    return Phase(frequency, i) < 0.5 ? 1.0 : -1.0;
}

// Scales the signal to PEAK and fades both ends with raised-cosine ramps, so it does not click.
std::vector<int16_t> Finish(const std::vector<double>& signal, int rampMs) {
    double peak = 0;
    for (const double s : signal) {
        peak = std::max(peak, std::abs(s));
    }
    const double scale = peak > 0 ? PEAK * 32767.0 / peak : 0;
    const size_t ramp = static_cast<size_t>(Frames(rampMs));
    std::vector<int16_t> samples(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        const size_t edge = std::min(i, signal.size() - 1 - i);
        const double gain =
            edge < ramp ? 0.5 * (1.0 - std::cos(std::numbers::pi * double(edge) / double(ramp))) : 1.0;
        samples[i] = static_cast<int16_t>(std::lround(signal[i] * scale * gain));
    }
    return samples;
}

std::vector<int16_t> Tone(int frequency) {
    std::vector<double> signal(static_cast<size_t>(Frames(TONE_MS)));
    for (size_t i = 0; i < signal.size(); ++i) {
        signal[i] = std::sin(2.0 * std::numbers::pi * Phase(frequency, i));
    }
    return Finish(signal, TONE_RAMP_MS);
}

// A low sawtooth, a square a little sharp of it (beating at ~9 Hz) and a sawtooth a tritone up:
// harsh and unlike any of the tones.
std::vector<int16_t> Buzz() {
    std::vector<double> signal(static_cast<size_t>(Frames(BUZZ_MS)));
    for (size_t i = 0; i < signal.size(); ++i) {
        signal[i] = Sawtooth(150.0, i) + 0.8 * Square(159.0, i) + 0.6 * Sawtooth(212.0, i);
    }
    return Finish(signal, BUZZ_RAMP_MS);
}

}  // namespace

std::vector<std::string> DemoWaveNames() {
    std::vector<std::string> names;
    for (const int frequency : DEMO_TONE_FREQUENCIES) names.push_back(std::to_string(frequency) + ".wav");
    names.push_back("error.wav");
    return names;
}

bool WriteDemoWave(const std::string& name, const std::filesystem::path& path) {
    std::vector<int16_t> samples;
    if (name == "error.wav") {
        samples = Buzz();
    } else {
        for (const int frequency : DEMO_TONE_FREQUENCIES) {
            if (name == std::to_string(frequency) + ".wav") samples = Tone(frequency);
        }
    }
    if (!samples.empty() && WriteWavPcm16(path.string(), SAMPLE_RATE, samples)) {
        return true;
    }
    std::cerr << "cannot write " << path.string() << "\n";
    return false;
}

bool WriteDemoWaves(const std::filesystem::path& outDir) {
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (error) {
        std::cerr << "cannot create " << outDir.string() << ": " << error.message() << "\n";
        return false;
    }
    bool ok = true;
    for (const std::string& name : DemoWaveNames()) ok = WriteDemoWave(name, outDir / name) && ok;
    return ok;
}

}  // namespace pelorin
