#include "platform/wav_file.h"

#include <fstream>
#include <iterator>

namespace pelorin {

int64_t WavInfo::DurationMicros() const {
    return sampleRate > 0 ? frames * 1000000 / sampleRate : 0;
}

namespace {

uint32_t Le32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

uint16_t Le16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

std::optional<WavInfo> ReadWavInfo(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return std::nullopt;
    WavInfo info;
    int blockAlign = 0;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = Le32(bytes, at + 4);
        size_t body = at + 8;
        size_t available = bytes.size() - body;
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16 && available >= 16) {
            uint16_t format = Le16(bytes, body);
            if (format != 1 && format != 0xFFFE) return std::nullopt;
            info.channels = Le16(bytes, body + 2);
            info.sampleRate = static_cast<int>(Le32(bytes, body + 4));
            blockAlign = Le16(bytes, body + 12);
            info.bitsPerSample = Le16(bytes, body + 14);
            haveFormat = info.channels > 0 && info.sampleRate > 0 && blockAlign > 0;
        } else if (bytes.compare(at, 4, "data") == 0) {
            if (!haveFormat) return std::nullopt;
            size_t present = std::min<size_t>(size, available);
            info.frames = static_cast<int64_t>(present / static_cast<size_t>(blockAlign));
            if (info.frames == 0) return std::nullopt;
            return info;
        }
        if (size > available) break;
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

bool WriteWavPcm16(const std::string& path, int sampleRate, const std::vector<int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    auto put32 = [&out](uint32_t value) {
        for (int i = 0; i < 4; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    auto put16 = [&out](uint16_t value) {
        out.put(static_cast<char>(value & 0xff));
        out.put(static_cast<char>(value >> 8));
    };
    uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + dataSize);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(static_cast<uint32_t>(sampleRate));
    put32(static_cast<uint32_t>(sampleRate * 2));
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataSize);
    for (int16_t sample : samples) put16(static_cast<uint16_t>(sample));
    return static_cast<bool>(out.flush());
}

}  // namespace pelorin
