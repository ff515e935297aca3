#include "sound/Wave.h"

#include "common/Error.h"
#include "sound/WaveBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <set>
#include <tuple>

namespace selva {
namespace {

using test::chunk;
using test::fmtBody;
using test::riff;
using test::samples;
using test::u32le;
using test::waveFile;

std::string openError(const std::string& name)
{
    TWave wave;
    try {
        wave.Open(name);
    } catch (const Error& e) {
        EXPECT_FALSE(wave.IsLoaded());
        return e.what();
    }
    return "";
}

TEST(WaveTest, OpenRejectsBadFilesWithTheirMessage)
{
    test::TempDir dir;
    const std::string data = samples({1, 2, 3, 4});
    const std::string goodFmt = chunk("fmt ", fmtBody(1, 8000, 16));
    struct Case {
        const char* what;
        std::string bytes;
        std::string message; // "%" stands for the file name
    };
    const std::vector<Case> cases = {
        {"empty file", "", "% is not a wave file"},
        {"other RIFF form only", riff("AVI ", chunk("data", data)), "% is not a wave file"},
        {"not RIFF at all", std::string(64, 'x'), "% is not a wave file"},
        {"no fmt chunk", riff("WAVE", chunk("data", data)), "% havn`t data format"},
        {"fmt chunk after a chunk claiming the whole file",
         riff("WAVE", chunk("LIST", "ab", 0x7FFFFFF0) + goodFmt), "% havn`t data format"},
        {"fmt body cut short", riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16)).substr(0, 20)),
         "Error reading wave data"},
        {"fmt size beyond the file", riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16), 0xFFFFFFF0)),
         "Error reading wave data"},
        {"compressed format",
         riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16, true, 2)) + chunk("data", data)),
         "Invalid wave file format"},
        {"extensible format",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16, true, 0xFFFE)) + chunk("data", data)),
         "Invalid wave file format"},
        {"data before fmt", riff("WAVE", chunk("data", data) + goodFmt), "No data chunk"},
        {"no data chunk", riff("WAVE", goodFmt + chunk("LIST", "info")), "No data chunk"},
        {"empty data", riff("WAVE", goodFmt + chunk("data", "")), "Chunk has no data"},
        {"data header only", riff("WAVE", goodFmt, 200) + "data" + u32le(100), "Chunk has no data"},
        {"no channels", riff("WAVE", chunk("fmt ", fmtBody(0, 8000, 16)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"no sample rate",
         riff("WAVE", chunk("fmt ", fmtBody(1, 0, 16, true, 1, 16000)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"no byte rate", riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16, true, 1, 0)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"zero bits in an 18-byte chunk",
         riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 0, true, 1, 16000)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"byte rate below one byte a sample",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16, false, 1, 8000)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"frame of less than a byte",
         riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 4, true, 1, 4000)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
        {"fmt chunk of 14 bytes",
         riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16, false).substr(0, 14)) + chunk("data", data)),
         "Invalid 'fmt ' chunk."},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string name = dir.file("case" + std::to_string(i) + ".wav");
        test::writeFile(name, cases[i].bytes);
        std::string expected = cases[i].message;
        if (const auto at = expected.find('%'); at != std::string::npos)
            expected.replace(at, 1, name);
        EXPECT_EQ(openError(name), expected) << cases[i].what;
    }
    const std::string missing = dir.file("missing.wav");
    EXPECT_EQ(openError(missing), "Unable to open file " + missing);
    const std::string pipe = dir.file("pipe.wav"); // only regular files are opened
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_NE(openError(pipe), "");
}

TEST(WaveTest, OpenAcceptsWhatTheRiffRulesAllow)
{
    test::TempDir dir;
    const std::string data = samples({100, -100, 200, -200}); // 2 stereo frames
    struct Case {
        const char* what;
        std::string bytes;
        int bits;
        std::uint32_t dataBytes;
    };
    const std::vector<Case> cases = {
        {"plain 18-byte fmt", waveFile(2, 44100, 16, data), 16, 8},
        {"16-byte fmt: bits from the byte rate",
         riff("WAVE", chunk("fmt ", fmtBody(2, 44100, 16, false, 1, 176400)) + chunk("data", data)), 16, 8},
        {"16-byte fmt, 24-bit rate",
         riff("WAVE", chunk("fmt ", fmtBody(2, 100, 24, false)) + chunk("data", data)), 24, 8},
        {"18-byte fmt keeps the stored bits although the rate says 16",
         riff("WAVE", chunk("fmt ", fmtBody(2, 44100, 8, true, 1, 176400)) + chunk("data", data)), 8, 8},
        {"other chunks first",
         chunk("JUNK", "xyz") + riff("AVI ", "abcd") +
             riff("WAVE", chunk("bext", "odd") + chunk("fmt ", fmtBody(2, 8000, 16)) +
                              chunk("LIST", "12345") + chunk("data", data)),
         16, 8},
        {"long fmt chunk",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16) + std::string(22, '\0')) + chunk("data", data)), 16,
         8},
        {"RIFF size beyond the file",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16)) + chunk("data", data), 0x7FFFFFF0), 16, 8},
        {"data size beyond the file: cut to what is there",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16)), 0xFFFFFF40) + "data" + u32le(0xFFFFFF00) + data,
         16, 8},
        {"data size cut mid-frame",
         riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16)), 1100) + "data" + u32le(1000) + data.substr(0, 6),
         16, 6},
    };
    for (const Case& c : cases) {
        TWave wave;
        ASSERT_NO_THROW(test::openBytes(wave, dir.file("ok.wav"), c.bytes)) << c.what;
        EXPECT_EQ(std::tuple(wave.IsLoaded(), wave.GetFileName(), int(wave.GetBitsPerSample()),
                             wave.GetDataBytes(), wave.GetBufferFrames()),
                  std::tuple(true, dir.file("ok.wav"), c.bits, c.dataBytes, wave.GetSampleRate() + 1))
            << c.what;
    }
}

// Blocks of one second and one frame, and the frame count that the block walk serves, for sizes around
// the block boundary and for random formats and sizes (partial last frames too).
TEST(WaveTest, BlocksOfOneSecondPlusOneFrame)
{
    test::TempDir dir;
    const std::string name = dir.file("blocks.wav");
    const auto walk = [&](const std::string& bytes) {
        TWave wave;
        test::openBytes(wave, name, bytes);
        std::vector<std::pair<std::uint32_t, std::uint32_t>> seen; // position, frames
        std::uint64_t served = 0;
        if (wave.ReadFirst()) {
            do {
                seen.emplace_back(wave.GetPosition(), wave.GetFramesInBuffer());
                served += wave.GetFramesInBuffer();
            } while (wave.ReadNext());
        }
        EXPECT_EQ(wave.ServedFrames(), served) << bytes.size() << " bytes";
        return std::pair{seen, wave.GetDuration()};
    };
    // 8-bit mono at 44100 Hz: 2.5 s; exactly two blocks and one frame more (that frame is not served);
    // two blocks and two frames.
    const std::vector<std::pair<std::uint32_t, std::vector<std::pair<std::uint32_t, std::uint32_t>>>> cases =
        {
            {110250, {{0, 44101}, {44101, 44101}, {88202, 22048}}},
            {88203, {{0, 44101}, {44101, 44101}}},
            {88204, {{0, 44101}, {44101, 44101}, {88202, 2}}},
            {1, {{0, 1}}},
        };
    for (const auto& [frames, blocks] : cases)
        EXPECT_EQ(walk(waveFile(1, 44100, 8, std::string(frames, '\x80'))),
                  std::pair(blocks, frames / 44100.0));
    std::mt19937 rng(7);
    for (int i = 0; i < 60; ++i)
        walk(waveFile(1 + rng() % 3, 5 + rng() % 40, rng() % 2 ? 16 : 24,
                      std::string(1 + rng() % 700, '\x11')));
}

TEST(WaveTest, NothingAfterTheDataChunkIsServed)
{
    test::TempDir dir;
    // Three 16-bit frames and one odd byte, the pad byte, and a chunk after the data.
    const std::string data = samples({1000, 2000, 3000}) + "\x7F";
    TWave wave;
    test::openBytes(wave, dir.file("tail.wav"),
                    riff("WAVE", chunk("fmt ", fmtBody(1, 100, 16)) + chunk("data", data) +
                                     chunk("LIST", std::string(40, '\x7F'))));
    EXPECT_EQ(wave.GetDataBytes(), 7u);
    EXPECT_EQ(wave.GetTotalFrames(), 4u); // 3.5 frames, nearest even
    ASSERT_TRUE(wave.ReadFirst());
    EXPECT_EQ(wave.GetFramesInBuffer(), 3u);
    EXPECT_FALSE(wave.ReadNext());
    EXPECT_DOUBLE_EQ(wave.GetChannelMean(0), 2000.0);

    ASSERT_TRUE(wave.Rewind());
    std::string played(100, '\0');
    const std::size_t got = wave.ReadData(played.data(), played.size());
    EXPECT_EQ(played.substr(0, got), data);
    EXPECT_EQ(wave.ReadData(played.data(), played.size()), 0u);
}

// Each sample width as its type, and long 16-bit recordings, read in several pieces, held at full scale
// (where partial sums in narrow lanes would overflow first) and then random: the mean is exactly the
// total over the frame count.
TEST(WaveTest, ChannelMeanReadsTheChannelsSampleTypeExactly)
{
    test::TempDir dir;
    const std::string stereo8("\x0A\xC8\x14\xFA", 4); // unsigned bytes
    std::mt19937 rng(5);
    std::vector<std::int64_t> mono, stereo;
    std::int64_t totals[3] = {};
    for (std::size_t i = 0; i < 300001; ++i) {
        const std::int16_t r = std::int16_t(rng()), x = i < 280000 ? -32768 : r,
                           y = i < 280000 ? 32767 : r / 3;
        mono.push_back(x);
        stereo.insert(stereo.end(), {x, y});
        totals[0] += x, totals[1] += x, totals[2] += y;
    }
    const struct {
        std::uint32_t channels, bits;
        std::string data;
        std::uint8_t channel;
        double mean;
    } cases[] = {
        {2, 8, stereo8, 1, 225.0},
        {2, 8, stereo8, 0, 15.0},
        {2, 8, stereo8, 7, 15.0}, // a channel the file lacks reads channel 0
        {1, 16, samples({-30000, -2, 7, 5}), 0, -29990.0 / 4},
        {1, 32, samples({INT32_MIN, INT32_MAX, 10}, 32), 0, 9.0 / 3},
        {1, 24, std::string("\xFE\xFF\xFF\x04\x00\x00", 6), 0, 1.0}, // signed
        {1, 16, samples(mono), 0, double(totals[0]) / 300001},
        {2, 16, samples(stereo), 0, double(totals[1]) / 300001},
        {2, 16, samples(stereo), 1, double(totals[2]) / 300001},
    };
    for (const auto& c : cases) {
        TWave wave;
        test::openBytes(wave, dir.file("mean.wav"), waveFile(c.channels, 1000, c.bits, c.data));
        EXPECT_EQ(wave.GetChannelMean(c.channel), c.mean) << c.bits << " bits, channel " << int(c.channel);
    }
}

TEST(WaveTest, WrittenFileHasFinalSizesAndPadByteAndReadsBack)
{
    test::TempDir dir;
    const std::string name = dir.file("rec.wav");
    TWave wave(1, 1); // 11.025 kHz mono 16-bit
    ASSERT_TRUE(wave.CreateWave(name));
    EXPECT_TRUE(wave.IsWriting());
    EXPECT_FALSE(wave.ReadFirst());
    ASSERT_TRUE(wave.AppendData("\x01\x02\x03", 3));
    ASSERT_TRUE(wave.AppendData("\x04\x05", 2));
    EXPECT_EQ(wave.GetBytesWritten(), 5u);
    EXPECT_EQ(wave.GetTotalFrames(), 2u);
    ASSERT_TRUE(wave.Close());
    EXPECT_FALSE(wave.AppendData("x", 1));

    const std::string bytes = test::readFile(name);
    const std::string expected = "RIFF" + u32le(44) + "WAVE" + "fmt " + u32le(18) + fmtBody(1, 11025, 16) +
                                 "data" + u32le(5) + "\x01\x02\x03\x04\x05" + std::string(1, '\0');
    EXPECT_EQ(bytes, expected);

    TWave back;
    back.Open(name);
    ASSERT_TRUE(back.ReadFirst());
    EXPECT_EQ(back.GetFramesInBuffer(), 2u);

    // Even data: no pad byte.
    TWave even(11, 1);
    even.CreateWave(name);
    even.AppendData("abcdefgh", 8);
    ASSERT_TRUE(even.Close());
    EXPECT_EQ(test::readFile(name).size(), 46u + 8u);

    const std::string nowhere = dir.file("no/such/folder/x.wav");
    try {
        even.CreateWave(nowhere);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to open file " + nowhere + " (", 0), 0u) << e.what();
    }
    EXPECT_FALSE(even.IsOpen());
}

// Every prefix of a good file and every size field replaced by huge or small values (arbitrary bytes are
// the fuzzer's, fuzz/FuzzWave.cpp): each either opens or fails with one of the reader's messages, and a
// file that opens is walked to its end in a bounded number of blocks.
TEST(WaveTest, NoInputCrashesOrHangsTheReader)
{
    test::TempDir dir;
    const std::string name = dir.file("fuzz.wav");
    const std::set<std::string> messages = {
        "Error reading wave data",   "Invalid wave file format", "No data chunk",
        "Chunk has no data",         "Invalid 'fmt ' chunk.",    name + " is not a wave file",
        name + " havn`t data format"};
    const auto check = [&](const std::string& bytes, const std::string& what) {
        test::writeFile(name, bytes);
        TWave wave;
        try {
            wave.Open(name);
        } catch (const Error& e) {
            EXPECT_TRUE(messages.count(e.what())) << what << ": " << e.what();
            return;
        }
        EXPECT_LE(wave.GetDataBytes(), bytes.size());
        int blocks = 0;
        if (wave.ReadFirst()) {
            do
                ASSERT_LT(++blocks, 100000) << what;
            while (wave.ReadNext());
        }
        (void)wave.GetChannelMean(1);
        (void)wave.GetDescription();
    };

    const std::string good = riff("WAVE", chunk("fmt ", fmtBody(2, 8000, 16)) + chunk("LIST", "abc") +
                                              chunk("data", samples({1, -1, 2, -2, 3, -3, 4})));
    for (std::size_t len = 0; len <= good.size(); ++len)
        check(good.substr(0, len), "prefix " + std::to_string(len));

    const std::vector<std::uint32_t> sizes = {0,  1,          2,          15,         16,
                                              17, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF8, 0xFFFFFFFF};
    for (std::size_t at = 0; at + 4 <= good.size(); ++at) {
        for (std::uint32_t v : sizes) {
            std::string bytes = good;
            bytes.replace(at, 4, u32le(v));
            check(bytes, "u32 " + std::to_string(v) + " at " + std::to_string(at));
        }
    }
}

TEST(WaveTest, TempWaveNamesAreFreeAndNeverWaitForever)
{
    test::TempDir dir;
    const std::string first = GetTempWaveName(dir.path().string());
    const std::filesystem::path p(first);
    EXPECT_EQ(p.parent_path(), std::filesystem::absolute(dir.path()));
    EXPECT_EQ(p.filename().string().rfind("wave_tmp_", 0), 0u);
    EXPECT_EQ(p.extension(), ".wav");
    EXPECT_FALSE(std::filesystem::exists(p));

    for (int n = 0; n < 100; ++n)
        test::writeFile(dir.file("wave_tmp_" + std::to_string(n) + ".wav"), "");
    EXPECT_EQ(GetTempWaveName(dir.path().string()), dir.file("wave_tmp_100.wav"));
}

} // namespace
} // namespace selva
