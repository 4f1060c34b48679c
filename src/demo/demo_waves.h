#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelorin {

// The demo run's tones, wave/200.wav, wave/500.wav and wave/800.wav as the files are named.
inline constexpr int DEMO_TONE_FREQUENCIES[] = {200, 500, 800};

// The files of the demo sounds: the three tones, then error.wav.
std::vector<std::string> DemoWaveNames();

// Writes the demo sound of that name (one of DemoWaveNames()) into path; says on stderr when it could not.
bool WriteDemoWave(const std::string& name, const std::filesystem::path& path);

// Writes the three 300 ms tones and the error sound into outDir, made if missing; says on stderr
// what it could not write.
bool WriteDemoWaves(const std::filesystem::path& outDir);

}  // namespace pelorin
