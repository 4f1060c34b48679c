#include "audio/wav_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "system/files.h"

namespace pelorin {

namespace {

constexpr uint16_t FORMAT_PCM = 0x0001;
constexpr uint16_t FORMAT_EXTENSIBLE = 0xFFFE;
constexpr uint32_t PCM_FMT_SIZE = 16;
constexpr uint32_t EXTENSIBLE_FMT_SIZE = 40;
constexpr int64_t CHUNK_HEADER_SIZE = 8;
constexpr int64_t RIFF_HEADER_SIZE = 12;
constexpr uint32_t CANONICAL_HEADER_SIZE = 44;
// Rates beyond any real audio hardware mark a garbage header.
constexpr uint32_t MAX_SAMPLE_RATE = 768000;
// The subformat GUID of integer PCM in a WAVE_FORMAT_EXTENSIBLE header, in file byte order.
constexpr std::array<uint8_t, 16> PCM_SUBFORMAT = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
    }
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

bool ReadAt(std::ifstream& in, int64_t offset, uint8_t* buffer, int64_t count) {
    in.clear();
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(buffer), count);
    return in.good() && in.gcount() == count;
}

// Where a readable file keeps its samples.
struct WavLayout {
    WavInfo info;
    int64_t dataOffset = 0;
    int64_t blockAlign = 0;
};

// The format of a fmt chunk body of which `present` bytes are in `body`; nullopt unless integer PCM.
std::optional<WavLayout> ParseFormat(const uint8_t* body, uint32_t declared, int64_t present) {
    if (declared < PCM_FMT_SIZE || present < PCM_FMT_SIZE) {
        return std::nullopt;
    }
    const uint16_t tag = Le16(body);
    const uint16_t channels = Le16(body + 2);
    const uint32_t sampleRate = Le32(body + 4);
    const uint16_t blockAlign = Le16(body + 12);
    const uint16_t bits = Le16(body + 14);
    if (tag == FORMAT_EXTENSIBLE) {
        if (declared < EXTENSIBLE_FMT_SIZE || present < EXTENSIBLE_FMT_SIZE ||
            !std::equal(PCM_SUBFORMAT.begin(), PCM_SUBFORMAT.end(), body + 24)) {
            return std::nullopt;
        }
    } else if (tag != FORMAT_PCM) {
        return std::nullopt;
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return std::nullopt;
    }
    if (channels == 0 || sampleRate == 0 || sampleRate > MAX_SAMPLE_RATE ||
        blockAlign != channels * (bits / 8)) {
        return std::nullopt;
    }
    WavLayout layout;
    layout.info.sampleRate = static_cast<int>(sampleRate);
    layout.info.channels = channels;
    layout.info.bitsPerSample = bits;
    layout.blockAlign = blockAlign;
    return layout;
}

// Walks the chunks for the first fmt and the first data chunk, in either order. Sizes are trusted
// only as far as the file reaches, so no read goes past its end.
std::optional<WavLayout> ReadLayout(std::ifstream& in, int64_t fileSize) {
    std::array<uint8_t, RIFF_HEADER_SIZE> riff{};
    if (!ReadAt(in, 0, riff.data(), RIFF_HEADER_SIZE) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    std::optional<WavLayout> layout;
    int64_t dataOffset = -1;
    int64_t dataBytes = 0;
    // NOTE: the RIFF size is ignored: streaming writers often leave it 0 or wrong.
    int64_t position = RIFF_HEADER_SIZE;
    while (position + CHUNK_HEADER_SIZE <= fileSize && !(layout && dataOffset >= 0)) {
        std::array<uint8_t, CHUNK_HEADER_SIZE> header{};
        if (!ReadAt(in, position, header.data(), CHUNK_HEADER_SIZE)) {
            return std::nullopt;
        }
        const uint32_t size = Le32(header.data() + 4);
        const int64_t body = position + CHUNK_HEADER_SIZE;
        const int64_t present = std::min<int64_t>(size, fileSize - body);
        if (!layout && std::memcmp(header.data(), "fmt ", 4) == 0) {
            std::array<uint8_t, EXTENSIBLE_FMT_SIZE> format{};
            const int64_t wanted = std::min<int64_t>(present, EXTENSIBLE_FMT_SIZE);
            if (!ReadAt(in, body, format.data(), wanted)) {
                return std::nullopt;
            }
            layout = ParseFormat(format.data(), size, present);
            if (!layout) {
                return std::nullopt;
            }
        } else if (dataOffset < 0 && std::memcmp(header.data(), "data", 4) == 0) {
            dataOffset = body;
            dataBytes = present;
        }
        // Chunk bodies of odd size are followed by one pad byte.
        position = body + size + (size & 1);
    }
    if (!layout || dataOffset < 0) {
        return std::nullopt;
    }
    layout->dataOffset = dataOffset;
    layout->info.frames = dataBytes / layout->blockAlign;
    return layout;
}

// Opens a regular file; a FIFO or device would block or never end.
bool OpenRegular(const std::string& path, std::ifstream& in, int64_t& fileSize) {
    std::error_code error;
    const std::filesystem::path native = PathFromUtf8(path);
    if (!std::filesystem::is_regular_file(native, error)) {
        return false;
    }
    const auto size = std::filesystem::file_size(native, error);
    if (error || size > static_cast<uintmax_t>(std::numeric_limits<int64_t>::max())) {
        return false;
    }
    fileSize = static_cast<int64_t>(size);
    in.open(native, std::ios::binary);
    return in.is_open();
}

}  // namespace

int64_t WavInfo::DurationMicros() const {
    if (sampleRate <= 0) {
        return 0;
    }
    return (frames * 1'000'000 + sampleRate / 2) / sampleRate;
}

namespace {

// Opens a regular wave file and reads its layout, leaving the stream at hand for the samples.
std::optional<WavLayout> OpenLayout(const std::string& path, std::ifstream& in) {
    int64_t fileSize = 0;
    if (!OpenRegular(path, in, fileSize)) {
        return std::nullopt;
    }
    return ReadLayout(in, fileSize);
}

}  // namespace

std::optional<WavInfo> ReadWavInfo(const std::string& path) {
    std::ifstream in;
    const auto layout = OpenLayout(path, in);
    if (!layout) {
        return std::nullopt;
    }
    return layout->info;
}

std::optional<WavData> ReadWavData(const std::string& path) {
    std::ifstream in;
    const auto layout = OpenLayout(path, in);
    if (!layout) {
        return std::nullopt;
    }
    WavData data;
    data.info = layout->info;
    const int64_t byteCount = layout->info.frames * layout->blockAlign;
    data.bytes.resize(static_cast<size_t>(byteCount));
    if (byteCount > 0 && !ReadAt(in, layout->dataOffset, data.bytes.data(), byteCount)) {
        return std::nullopt;
    }
    return data;
}

bool WriteWavPcm16(const std::string& path, int sampleRate, const std::vector<int16_t>& samples) {
    const uint64_t dataBytes = static_cast<uint64_t>(samples.size()) * 2;
    if (sampleRate <= 0 || static_cast<uint32_t>(sampleRate) > MAX_SAMPLE_RATE ||
        dataBytes > std::numeric_limits<uint32_t>::max() - (CANONICAL_HEADER_SIZE - 8)) {
        return false;
    }
    const auto rate = static_cast<uint32_t>(sampleRate);
    std::vector<uint8_t> bytes;
    bytes.reserve(CANONICAL_HEADER_SIZE + dataBytes);
    PutTag(bytes, "RIFF");
    PutLe32(bytes, static_cast<uint32_t>(CANONICAL_HEADER_SIZE - 8 + dataBytes));
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    PutLe32(bytes, PCM_FMT_SIZE);
    PutLe16(bytes, FORMAT_PCM);
    PutLe16(bytes, 1);
    PutLe32(bytes, rate);
    PutLe32(bytes, rate * 2);
    PutLe16(bytes, 2);
    PutLe16(bytes, 16);
    PutTag(bytes, "data");
    PutLe32(bytes, static_cast<uint32_t>(dataBytes));
    for (const int16_t sample : samples) {
        PutLe16(bytes, static_cast<uint16_t>(sample));
    }
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace pelorin
