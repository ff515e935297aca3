#pragma once

#include "common/AtomicFile.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace selva {

// One row of the capture formats the program records in. The row index is the index of the format in
// the sound window's format list.
struct WaveFormatRow {
    std::uint32_t Channels;
    std::uint32_t SampleRate;
    std::uint32_t BitsPerSample;
    std::uint32_t CapabilityFlag; // the wave-input capability bit a device reports for this format
    const char* Text;
};

inline constexpr int WaveFormatCount = 16;
extern const std::array<WaveFormatRow, WaveFormatCount> WaveFormats;

// A RIFF chunk header as found in (or written to) the file.
struct TChunk {
    std::uint32_t ckid = 0;         // four-character id, first character in the low byte
    std::uint32_t cksize = 0;       // size of the body as stated in the file
    std::uint32_t fccType = 0;      // form type of a RIFF chunk ("WAVE"), 0 for other chunks
    std::uint32_t dwDataOffset = 0; // file offset of the body
    std::uint32_t dwFlags = 0;
};

// Four-character chunk code, first character in the low byte (as the bytes lie in the file).
constexpr std::uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}

// A RIFF WAVE file of uncompressed PCM audio, opened either for reading (Open) or for writing
// (CreateWave), and its samples served in blocks of one second plus one frame.
//
// Bytes on disk, as written: "RIFF", u32 file length - 8, "WAVE", "fmt ", u32 18, the 18-byte format
// record (tag 1, channels, rate, byte rate, block align, bits, extra size 0), "data", u32 data bytes,
// the frames, and a zero pad byte when the data has an odd length. Reading also accepts other RIFF
// chunks before the WAVE one, other sub-chunks before "fmt " and between "fmt " and "data", and a "fmt "
// chunk of any length from 16 bytes up.
//
// The frame size is (Channels * BitsPerSample) / 8 bytes; the sample of channel c lies at byte
// c * (BitsPerSample / 8) of its frame. BlockAlign is kept as read and used for nothing.
//
// Lengths in the file are never trusted: a "data" chunk that claims more bytes than the file holds is
// taken as long as what is there, and nothing after the end of the "data" chunk (its pad byte, a chunk
// after it) is ever served as samples.
//
// Threads: an object is used by one thread at a time, except that the audio layer may append to a file
// opened by CreateWave from its device thread (AppendData) while the window's thread does nothing else
// with the object; the window's thread calls Close only after the device thread has stopped appending.
class TWave {
public:
    // A new object set to row `formatIndex` (0 to 15; other values take row 2) of WaveFormats, with no
    // file, and a block buffer of `seconds`.
    explicit TWave(std::uint8_t formatIndex = 2, std::int32_t seconds = 1);
    ~TWave();
    TWave(const TWave&) = delete;
    TWave& operator=(const TWave&) = delete;

    // Any PCM format, for files that are not one of the 16 rows (the synthesiser, tests). Forgets a
    // loaded file's format; the open file, if any, is left alone.
    void SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample);

    // BufferFrames = nearest(SampleRate * seconds) + 1 (halves to even); BufferSize = frame size *
    // BufferFrames.
    void SetBufferLen(float seconds);

    // Opens a WAV file for reading and checks it; throws selva::Error with the program's message on any
    // failure (the object then has Loaded false). Returns true.
    bool Open(const std::string& fileName);
    // Creates a WAV file in the object's current format and leaves it positioned in an open "data" chunk;
    // throws selva::Error on failure. Returns true. The file is written by the rules of every save
    // (common/AtomicFile.h): into a temporary file that Close puts in the place of `fileName`, or, with
    // options.newFileInPlace (a recording in progress, which must survive a crash), into a new file under
    // that very name.
    bool CreateWave(const std::string& fileName, const SaveOptions& options = {});
    // Finishes and closes the open file, if any. On a file being written this writes the final sizes of
    // the "data" and RIFF chunks and the pad byte after odd data. False when finishing or closing the
    // file failed (the written file then does not replace the file that was there; one written in place
    // stays as far as it got). Loaded and the format stay as they are.
    bool Close();

    // Appends sample bytes to the "data" chunk of a file opened by CreateWave, and adds them to
    // BytesWritten and TotalFrames. False when no file is being written, the write failed, or the data
    // would grow beyond what the 32-bit chunk size can state (then nothing is written).
    bool AppendData(const void* bytes, std::size_t count);

    // Block reading: after either, Buffer() holds FramesInBuffer() frames that begin at frame
    // Position() of the data. ReadFirst is false when the file cannot be positioned at the data;
    // ReadNext is false at the end of the data (the last frame is not served when it would begin a
    // block of its own) and after a read error.
    bool ReadFirst();
    bool ReadNext();
    // Positions the file at the first sample byte without reading; Position becomes 0.
    bool Rewind();
    // Reads up to `count` sample bytes from the current position, never past the end of the "data"
    // chunk (playback after Rewind). Returns the number of bytes read; 0 at the end or on an error.
    std::size_t ReadData(void* bytes, std::size_t count);
    // Reads up to `count` sample bytes starting `offset` bytes into the data, never past its end, without
    // disturbing the block position bookkeeping (the file position does move). Returns the bytes read.
    std::size_t ReadDataAt(std::uint64_t offset, void* bytes, std::size_t count);

    // Mean sample value of one channel over every frame the block walk serves: 8-bit samples as unsigned
    // bytes (0 to 255), 16-, 24- and 32-bit as signed integers. A channel the file does not have reads
    // channel 0. Other sample widths add nothing while the frames are still counted. 0 with no frames.
    double GetChannelMean(std::uint8_t channel);

    // One line describing the opened file's format, e.g. "16 bits Mono 44100 Hz 264600 bytes 3.00 Sec"
    // (bits, channels, rate, bytes of sample data, duration with two decimals).
    std::string GetDescription() const;

    // Number of frames the block walk (ReadFirst, ReadNext ...) serves: TotalFrames, less the last frame
    // when it would begin a block of its own, less frames the data does not hold in full.
    std::uint64_t ServedFrames() const;

    bool IsLoaded() const { return Loaded; }
    bool IsOpen() const { return Handle != nullptr; }
    bool IsWriting() const { return Writing; }
    const std::string& GetFileName() const { return FileName; }
    std::uint16_t GetChannels() const { return Channels; }
    std::uint32_t GetSampleRate() const { return SampleRate; }
    std::uint16_t GetBitsPerSample() const { return BitsPerSample; }
    std::uint32_t GetBytesPerSecond() const { return BytesPerSecond; }
    std::uint16_t GetBlockAlign() const { return BlockAlign; }
    std::uint32_t GetFrameSize() const { return (std::uint32_t{Channels} * BitsPerSample) / 8; }
    std::uint32_t GetTotalFrames() const { return TotalFrames.load(std::memory_order_relaxed); }
    double GetDuration() const { return Duration; }
    std::uint32_t GetDataStart() const { return DataStart; }
    // Sample bytes of the "data" chunk as used: its stated size, or what the file holds when less.
    std::uint32_t GetDataBytes() const { return DataBytes; }
    std::uint32_t GetBytesWritten() const { return BytesWritten.load(std::memory_order_relaxed); }

    const unsigned char* Buffer() const { return BufferData.data(); }
    std::int64_t GetBufferSize() const { return BufferSize; }
    std::int64_t GetBufferFrames() const { return BufferFrames; }
    std::uint32_t GetFramesInBuffer() const { return FramesInBuffer; }
    std::uint32_t GetPosition() const { return Position; }
    float GetBufferSeconds() const { return BufferSeconds; }
    const TChunk& GetRiffChunk() const { return RiffChunk; }
    const TChunk& GetSubChunk() const { return SubChunk; }
    // The 18-byte format record as written by CreateWave (tag, channels, rate, byte rate, block align,
    // bits, extra size).
    const std::array<unsigned char, 18>& GetFormatRecord() const { return Format; }

private:
    bool seekTo(std::uint64_t offset);
    std::size_t readBlock();
    void allocateBuffer();

    TChunk RiffChunk;
    TChunk SubChunk;
    bool Loaded = false;
    bool Writing = false;
    std::uint32_t DataStart = 0;
    std::uint32_t DataBytes = 0;
    std::FILE* Handle = nullptr;
    std::unique_ptr<AtomicFileWriter> Writer; // the file being written; Handle is its stream
    std::vector<unsigned char> BufferData;
    std::int64_t BufferSize = 0;
    std::uint32_t FramesInBuffer = 0;
    std::int64_t BufferFrames = 0;
    std::uint32_t Position = 0;
    float BufferSeconds = 1.0f;
    std::string FileName;
    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0;
    std::uint16_t BitsPerSample = 0;
    std::uint32_t BytesPerSecond = 0;
    std::uint16_t BlockAlign = 0;
    std::array<unsigned char, 18> Format{};
    // Maintained by AppendData on the device thread, read by the window for its display. Each is one word
    // shown as a number (the recording's length so far): the window needs the latest value, nothing that
    // depends on it, so the default (sequentially consistent) operations are more than enough.
    std::atomic<std::uint32_t> BytesWritten{0};
    // Set by AppendData when a write failed: the file is incomplete and does not replace its target.
    std::atomic<bool> WriteFailed{false};
    double Duration = 0.0;
    std::atomic<std::uint32_t> TotalFrames{0};
    bool ReadFailed = false;
    std::uint64_t ReadOffset = 0; // bytes of data consumed by ReadData since Rewind
};

// A free name for a temporary WAV file: "wave_tmp_" + n + ".wav" in `folder` (the current directory when
// empty), full path, where n is the hundredths of the current second (0 to 99). When all hundred names
// are taken it goes on with 100, 101 ... rather than waiting for one to be freed.
std::string GetTempWaveName(const std::string& folder = {});

} // namespace selva
