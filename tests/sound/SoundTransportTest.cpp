// Buffers of a fifth of a second through SoundRing: the sizes a capture sets up, the queue of buffers,
// the record frame as buffers finish, playback from a file down to its last partial buffer.
#include "sound/SoundTransport.h"

#include "sound/Wave.h"
#include "sound/WaveBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace selva {
namespace {

TEST(CaptureLayoutTest, SizesForTheWaveLength)
{
    // Buffer frames and bytes, headers, queued buffers, ring frames and bytes.
    using Sizes = std::tuple<std::int32_t, std::int32_t, int, int, std::int32_t, std::int64_t>;
    const struct {
        std::uint16_t channels;
        std::uint32_t rate;
        std::uint16_t bits;
        double waveLen;
        Sizes sizes;
    } cases[] = {
        {2, 44100, 16, 1.0, {8820, 35280, 5, 3, 44100, 176400}},
        {1, 44100, 16, 2.0, {8820, 17640, 10, 8, 88200, 176400}},
        {1, 11025, 8, 0.6, {2205, 2205, 3, 1, 6615, 6615}},
        {2, 48000, 16, 0.7, {9600, 38400, 3, 1, 33600, 134400}},
        {1, 48000, 16, 60.0, {9600, 19200, 255, 253, 2880000, 5760000}},
    };
    for (const auto& c : cases) {
        const CaptureLayout l = CaptureLayout::For(c.channels, c.rate, c.bits, c.waveLen);
        EXPECT_EQ(
            Sizes(l.BufferFrames, l.BufferBytes, l.HeaderCount, l.QueuedBuffers(), l.RingFrames, l.RingBytes),
            c.sizes)
            << c.waveLen;
    }
    for (auto [seconds, ok] :
         {std::pair{0.6, true}, {double(0.6f), true}, {51.0, true}, {0.59, false}, {51.2, false}})
        EXPECT_EQ(WaveLenAcceptable(seconds), ok) << seconds;
    for (std::int64_t n : {-2, 0, 1, 2, 3, 4, 1000, 1024, 32768, 65536})
        EXPECT_EQ(SpectrumLengthAcceptable(n), n == 2 || n == 4 || n == 1024 || n == 32768) << n;
}

// Bytes numbered by their position in the stream, so that where each lands in the ring shows.
std::vector<unsigned char> numbered(std::size_t from, std::size_t count)
{
    std::vector<unsigned char> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<unsigned char>((from + i) * 7 % 251);
    return v;
}

TEST(SoundTransportTest, CaptureFinishesBuffersAsTheirLastByteArrives)
{
    SoundRingState ring;
    SoundTransport t(ring);
    t.PrepareCapture(2, 44100, 16, 1.0);
    ASSERT_EQ(ring.SoundRing.size(), 176400u);
    EXPECT_EQ(t.QueuedCount(), 3);
    EXPECT_EQ(t.HeaderIndex(), 2);
    EXPECT_EQ(t.RingByteOffset(), 3 * 35280);
    EXPECT_EQ(ring.WriteAheadFrames, 8820);

    // The device hands over pieces that do not match the buffers.
    std::size_t sent = 0;
    const auto send = [&](std::size_t n) {
        const auto bytes = numbered(sent, n);
        t.CaptureArrived(bytes.data(), n);
        sent += n;
    };
    send(35279);
    EXPECT_EQ(ring.RecordFrame.load(), 0);
    send(1);
    EXPECT_EQ(ring.RecordFrame.load(), 8820);
    EXPECT_EQ(t.HeaderIndex(), 3);
    EXPECT_EQ(t.QueuedCount(), 3);
    EXPECT_EQ(t.RingByteOffset(), 4 * 35280);
    // Past the end of the ring: the buffers go round, the record frame wraps, the count goes on.
    send(5 * 35280 + 1000);
    EXPECT_EQ(ring.RecordFrame.load(), 8820);
    EXPECT_EQ(ring.ArrivedFrames.load(), 6 * 8820);
    EXPECT_EQ(t.HeaderIndex(), 3); // 2 + 6 buffers, wrapping at 5 headers
    EXPECT_EQ(t.FinishedBuffers(), 6);
    // Every byte is where its stream position puts it.
    for (std::size_t pos : {sent - 176400, std::size_t(35280 * 5), std::size_t(35280 * 6 - 1), sent - 1})
        EXPECT_EQ(ring.SoundRing[pos % 176400], static_cast<unsigned char>(pos * 7 % 251)) << pos;
}

TEST(SoundTransportTest, ShortLastBufferBeforeTheRingWraps)
{
    SoundRingState ring;
    SoundTransport t(ring);
    t.PrepareCapture(2, 48000, 16, 0.7); // 3.5 buffers in the ring, one queued
    std::vector<std::int64_t> offsets;
    std::vector<std::int32_t> lengths;
    for (int b = 0; b < 6; ++b) {
        offsets.push_back(t.Queued(0).offset);
        lengths.push_back(t.Queued(0).length);
        ASSERT_LE(offsets.back() + lengths.back(),
                  std::int64_t(ring.SoundRing.size())); // never past the ring
        const auto bytes = numbered(0, std::size_t(t.Queued(0).length));
        t.CaptureArrived(bytes.data(), bytes.size());
    }
    EXPECT_EQ(offsets, (std::vector<std::int64_t>{0, 38400, 76800, 115200, 0, 38400}));
    EXPECT_EQ(lengths, (std::vector<std::int32_t>{38400, 38400, 38400, 19200, 38400, 38400}));
    EXPECT_EQ(ring.ArrivedFrames.load(), 3 * 9600 + 4800 + 2 * 9600);
    EXPECT_EQ(ring.RecordFrame.load(), 2 * 9600);
}

TEST(SoundTransportTest, LiveAnalysisRunsOnlyWhenShownOrAutomatic)
{
    SoundRingState ring;
    ring.SetAccuracy(0.1);
    ring.SetWindowLength(5.0f);
    SoundTransport t(ring);
    t.PrepareCapture(1, 44100, 16, 2.0);
    const std::vector<unsigned char> tone = test::toneBytes(500, 8000, 0, 8820);
    t.CaptureArrived(tone.data(), tone.size());
    EXPECT_EQ(ring.ReadAnalysisMark().values, 0);
    t.Live = true;
    t.CaptureArrived(tone.data(), tone.size());
    // The buffer not analysed waits in the ring and is analysed with the next one: 4 values.
    EXPECT_EQ(ring.ReadAnalysisMark().values, 4);
    t.Live = false;
    t.AutoActive = true;
    t.CaptureArrived(tone.data(), tone.size());
    EXPECT_EQ(ring.ReadAnalysisMark().values, 6);
    EXPECT_NEAR(ring.FreqRing[5].load(), 500.0, 1.0);
}

TEST(SoundTransportTest, WindowChangesWhileADeviceRunsTakeEffectAtTheNextBlock)
{
    SoundRingState ring;
    ring.SetAccuracy(0.1);
    ring.SetWindowLength(5.0f);
    SoundTransport t(ring);
    t.PrepareCapture(1, 8000, 16, 1.0);
    t.Live = true;
    ring.DeviceOwned = true;
    const std::vector<unsigned char> silence(3200);
    t.CaptureArrived(silence.data(), silence.size());
    EXPECT_EQ(ring.FreqRingIndex.load(), 2);

    // The window posts a new display window: nothing changes under the device until its next block.
    ring.SetWindowLength(1.0f);
    EXPECT_EQ(ring.FreqRingLength.load(), 50);
    EXPECT_EQ(ring.FreqRingIndex.load(), 2);
    t.CaptureArrived(silence.data(), silence.size());
    EXPECT_EQ(ring.FreqRingLength.load(), 10);
    EXPECT_EQ(ring.FreqRingIndex.load(), 2); // cleared to 0, then the block's two values
    const auto mark = ring.ReadAnalysisMark();
    EXPECT_EQ(mark.firstValue, 2);
    EXPECT_EQ(mark.values, 4);

    // While the device is being closed the callbacks take nothing.
    t.ClosingInput = true;
    t.CaptureArrived(silence.data(), silence.size());
    EXPECT_EQ(ring.ArrivedFrames.load(), 3200);

    ring.SetAccuracy(0.05);
    ring.DeviceOwned = false;
    ring.ApplyPendingSettings(); // the device has stopped: the window applies what it posted
    EXPECT_EQ(ring.FreqRingLength.load(), 20);
}

TEST(SoundTransportTest, PlaybackPlaysThePartialLastBufferThenDrains)
{
    test::TempDir dir;
    TWave wave; // 14332.5 -> 14332 frames: 6 whole buffers of 2205 and 1102 frames
    test::openSynth(wave, dir.file("p.wav"), {.sampleRate = 11025, .durationSeconds = 1.3},
                    [](double) { return 400.0; });
    const std::uint32_t total = wave.GetTotalFrames();

    SoundRingState ring;
    SoundTransport t(ring);
    ASSERT_TRUE(t.PreparePlayback(wave, 1.0)); // 5 headers, 3 queued
    EXPECT_EQ(ring.RingFrames, 11025);
    EXPECT_EQ(ring.WriteAheadFrames, 3 * 2205);
    EXPECT_EQ(t.QueuedCount(), 3);
    EXPECT_FALSE(t.EndOfFile());

    std::vector<unsigned char> played;
    std::vector<unsigned char> piece(3000);
    for (int i = 0; i < 100 && !t.Drained(); ++i) {
        const std::size_t n = t.PlaybackPull(piece.data(), piece.size());
        played.insert(played.end(), piece.begin(), piece.begin() + std::ptrdiff_t(n));
        t.PlaybackRefill(); // the backend's refill, outside the callback
    }
    EXPECT_TRUE(t.Drained());
    EXPECT_TRUE(t.EndOfFile());
    ASSERT_EQ(played.size(), std::size_t(total) * 2);
    EXPECT_EQ(ring.ArrivedFrames.load(), total);
    EXPECT_EQ(t.PlayedBytes(), std::int64_t(total) * 2);
    // What was played is the file's data.
    std::vector<unsigned char> data(played.size());
    ASSERT_EQ(wave.ReadDataAt(0, data.data(), data.size()), data.size());
    EXPECT_EQ(played, data);
    EXPECT_EQ(t.PlaybackPull(piece.data(), piece.size()), 0u);
}

} // namespace
} // namespace selva
