#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelorin {

// The format and length of a PCM wave file, read from its header.
struct WavInfo {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    int64_t frames = 0;
    int64_t DurationMicros() const;
};

// Reads a RIFF/WAVE file's header. Missing, unreadable, empty, truncated or garbage files and formats
// other than integer PCM give nullopt. A data chunk shorter than it claims counts only what is there.
std::optional<WavInfo> ReadWavInfo(const std::string& path);

// A PCM wave file's format and its samples as stored: interleaved little-endian frames, 8-bit samples
// unsigned, wider ones signed, exactly info.frames whole frames.
struct WavData {
    WavInfo info;
    std::vector<uint8_t> bytes;
};

// Reads a wave file's format and samples; accepts and refuses exactly what ReadWavInfo does.
std::optional<WavData> ReadWavData(const std::string& path);

// Writes 16-bit PCM mono samples as a wave file. Returns false if the file cannot be written.
bool WriteWavPcm16(const std::string& path, int sampleRate, const std::vector<int16_t>& samples);

}  // namespace pelorin
