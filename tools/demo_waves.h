#pragma once

#include <filesystem>

namespace pelorin {

// The demo run's tones, wave/200.wav, wave/500.wav and wave/800.wav as the files are named.
inline constexpr int DEMO_TONE_FREQUENCIES[] = {200, 500, 800};

// Writes the three 300 ms tones and the error sound into outDir, made if missing; says on stderr
// what it could not write.
bool WriteDemoWaves(const std::filesystem::path& outDir);

}  // namespace pelorin
