#include "audio/wav_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& out, std::initializer_list<std::pair<int64_t, int>> fields) {
    for (const auto& [value, size] : fields) {
        for (int i = 0; i < size; ++i) {
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
}

// A chunk that declares `declared` bytes; by default its true size, with the pad after an odd body.
Bytes Chunk(const std::string& id, const Bytes& body, int64_t declared = -1) {
    Bytes out(id.begin(), id.end());
    Put(out, {{declared < 0 ? static_cast<int64_t>(body.size()) : declared, 4}});
    out.insert(out.end(), body.begin(), body.end());
    if (declared < 0 && body.size() % 2 == 1) {
        out.push_back(0);
    }
    return out;
}

// A fmt body; an extensible one (tag 0xFFFE) carries the subformat (1 integer PCM, 3 float).
Bytes Fmt(int tag, int channels, int rate, int bits, uint8_t subformat = 1) {
    Bytes body;
    Put(body, {{tag, 2}, {channels, 2}, {rate, 4}, {rate * channels * bits / 8, 4}, {channels * bits / 8, 2},
               {bits, 2}});
    if (tag == 0xFFFE) {
        Put(body, {{22, 2}, {bits, 2}, {3, 4}});
        body.insert(body.end(), {subformat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    }
    return body;
}

Bytes Wave(const std::vector<Bytes>& chunks) {
    Bytes content = {'W', 'A', 'V', 'E'};
    for (const Bytes& chunk : chunks) {
        content.insert(content.end(), chunk.begin(), chunk.end());
    }
    return Chunk("RIFF", content);
}

Bytes Iota(size_t count) {
    Bytes bytes(count);
    std::iota(bytes.begin(), bytes.end(), uint8_t{1});
    return bytes;
}

class WavFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string File(const std::string& name, const Bytes& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return (dir / name).string();
    }

    test::TempDir temp;
    const std::filesystem::path dir = temp.path;
};

TEST_F(WavFileTest, WrittenFileReadsBack) {
    const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234, -4321};
    const std::string path = (dir / "tone.wav").string();
    ASSERT_TRUE(WriteWavPcm16(path, 22050, samples));
    // The canonical header is 44 bytes, then the samples.
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 2 * samples.size());
    const auto data = ReadWavData(path);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->info.sampleRate, 22050);
    EXPECT_EQ(data->info.channels, 1);
    EXPECT_EQ(data->info.bitsPerSample, 16);
    EXPECT_EQ(data->info.frames, 7);
    ASSERT_EQ(data->bytes.size(), 14u);
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(static_cast<int16_t>(data->bytes[2 * i] | (data->bytes[2 * i + 1] << 8)), samples[i]);
    }
    // Durations round to the nearest microsecond.
    EXPECT_EQ((WavInfo{44100, 1, 16, 13230}.DurationMicros()), 300000);
    EXPECT_EQ((WavInfo{3, 1, 16, 2}.DurationMicros()), 666667);
    // An unwritable place fails.
    EXPECT_FALSE(WriteWavPcm16((dir / "no" / "such.wav").string(), 44100, samples));
}

TEST_F(WavFileTest, UnreadableFilesAreRefused) {
    const Bytes pcm = Fmt(1, 1, 44100, 16);
    const Bytes extensible = Fmt(0xFFFE, 1, 44100, 16);
    const Bytes data = Chunk("data", Iota(8));
    Bytes misaligned = pcm;
    misaligned[12] = 3;
    const std::vector<std::string> refused = {
        (dir / "missing.wav").string(),
        dir.string(),
        File("empty.wav", {}),
        File("garbage.wav", Bytes(200, 'x')),
        File("short_riff.wav", {'R', 'I', 'F', 'F', 0, 0}),
        File("avi.wav", Chunk("RIFF", {'A', 'V', 'I', ' '})),
        // A fmt chunk cut off by the end of the file, and one too small for any format.
        File("cut_fmt.wav", Wave({Chunk("fmt ", Bytes(pcm.begin(), pcm.begin() + 10), 16)})),
        File("small_fmt.wav", Wave({Chunk("fmt ", Bytes(pcm.begin(), pcm.begin() + 14)), data})),
        File("short_ext.wav",
             Wave({Chunk("fmt ", Bytes(extensible.begin(), extensible.begin() + 24)), data})),
        File("no_fmt.wav", Wave({data})),
        File("no_data.wav", Wave({Chunk("fmt ", pcm), Chunk("LIST", Iota(20))})),
        // IEEE float, plainly and as an extensible subformat.
        File("float.wav", Wave({Chunk("fmt ", Fmt(3, 1, 44100, 32)), data})),
        File("float_ext.wav", Wave({Chunk("fmt ", Fmt(0xFFFE, 1, 44100, 32, 3)), data})),
        File("bits12.wav", Wave({Chunk("fmt ", Fmt(1, 1, 44100, 12)), data})),
        File("no_channels.wav", Wave({Chunk("fmt ", Fmt(1, 0, 44100, 16)), data})),
        File("no_rate.wav", Wave({Chunk("fmt ", Fmt(1, 1, 0, 16)), data})),
        File("misaligned.wav", Wave({Chunk("fmt ", misaligned), data})),
    };
    for (const std::string& path : refused) {
        EXPECT_FALSE(ReadWavInfo(path)) << path;
        EXPECT_FALSE(ReadWavData(path)) << path;
    }
}

TEST_F(WavFileTest, ChunksAreWalkedWherever) {
    // An odd-sized chunk and its pad, data before fmt, a second data chunk ignored, a zero RIFF size.
    Bytes file = Wave({Chunk("LIST", Iota(5)), Chunk("data", Iota(12)), Chunk("junk", Iota(3)),
                       Chunk("data", Bytes(40, 9)), Chunk("fmt ", Fmt(1, 2, 8000, 16))});
    std::fill(file.begin() + 4, file.begin() + 8, 0);
    const auto data = ReadWavData(File("walk.wav", file));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->info.sampleRate, 8000);
    EXPECT_EQ(data->info.channels, 2);
    EXPECT_EQ(data->info.frames, 3);
    EXPECT_EQ(data->bytes, Iota(12));

    // A data chunk claiming more than is there counts the whole frames present: 14 bytes of 4-byte frames.
    file = Wave({Chunk("fmt ", Fmt(1, 2, 44100, 16))});
    const Bytes cut = Chunk("data", Iota(14), 1000);
    file.insert(file.end(), cut.begin(), cut.end());
    const auto truncated = ReadWavData(File("truncated.wav", file));
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->info.frames, 3);
    EXPECT_EQ(truncated->bytes, Iota(12));

    // A data chunk with nothing in it is a valid sound of no frames.
    const auto empty =
        ReadWavInfo(File("none.wav", Wave({Chunk("fmt ", Fmt(1, 1, 44100, 16)), Chunk("data", {})})));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frames, 0);
}

TEST_F(WavFileTest, IntegerPcmOfEverySizeIsAccepted) {
    Bytes fmt18 = Fmt(1, 1, 44100, 16);
    fmt18.insert(fmt18.end(), {0, 0});
    // 8, 24 and 32 bits; an 18-byte fmt chunk; 24 bits as an extensible PCM subformat.
    const std::vector<std::tuple<Bytes, int, int>> cases = {
        {Fmt(1, 1, 11025, 8), 8, 1},   {Fmt(1, 2, 48000, 24), 24, 2}, {Fmt(1, 1, 96000, 32), 32, 1},
        {fmt18, 16, 1}, {Fmt(0xFFFE, 2, 44100, 24), 24, 2},
    };
    for (const auto& [format, bits, channels] : cases) {
        const auto info =
            ReadWavInfo(File("pcm.wav", Wave({Chunk("fmt ", format), Chunk("data", Iota(48))})));
        ASSERT_TRUE(info) << bits;
        EXPECT_EQ(info->bitsPerSample, bits);
        EXPECT_EQ(info->channels, channels);
        EXPECT_EQ(info->frames, 48 / (channels * bits / 8));
    }
}

}  // namespace
}  // namespace pelorin
