#include "sound/Wave.h"

#include "common/Error.h"
#include "common/Format.h"
#include "common/LittleEndian.h"
#include "sound/WaveFrequency.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SELVA_WAVE_X86 1
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace selva {

const std::array<WaveFormatRow, WaveFormatCount> WaveFormats{{
    {1, 11025, 8, 0x0001, "11.025 kHz, mono, 8-bit"},
    {1, 11025, 16, 0x0004, "11.025 kHz, mono, 16-bit"},
    {2, 11025, 8, 0x0002, "11.025 kHz, stereo, 8-bit"},
    {2, 11025, 16, 0x0008, "11.025 kHz, stereo, 16-bit"},
    {1, 22050, 8, 0x0010, "22.05 kHz, mono, 8-bit"},
    {1, 22050, 16, 0x0040, "22.05 kHz, mono, 16-bit"},
    {2, 22050, 8, 0x0020, "22.05 kHz, stereo, 8-bit"},
    {2, 22050, 16, 0x0080, "22.05 kHz, stereo, 16-bit"},
    {1, 44100, 8, 0x0100, "44.1 kHz, mono, 8-bit"},
    {1, 44100, 16, 0x0400, "44.1 kHz, mono, 16-bit"},
    {2, 44100, 8, 0x0200, "44.1 kHz, stereo, 8-bit"},
    {2, 44100, 16, 0x0800, "44.1 kHz, stereo, 16-bit"},
    {1, 48000, 8, 0x1000, "48 kHz, mono, 8-bit"},
    {1, 48000, 16, 0x4000, "48 kHz, mono, 16-bit"},
    {2, 48000, 8, 0x2000, "48 kHz, stereo, 8-bit"},
    {2, 48000, 16, 0x8000, "48 kHz, stereo, 16-bit"},
}};

namespace {

constexpr std::uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kWave = FourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t kFmt = FourCC('f', 'm', 't', ' ');
constexpr std::uint32_t kData = FourCC('d', 'a', 't', 'a');

// Header of the file as CreateWave writes it: RIFF header (12), "fmt " header (8), format (18), "data"
// header (8).
constexpr std::uint32_t kHeaderBytes = 46;
// Largest data chunk whose file still has a RIFF size that fits in 32 bits, pad byte included.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8) - 1;

// Reads exactly `count` bytes at `offset`; false when the file does not hold them.
bool readExactly(std::FILE* f, std::uint64_t offset, unsigned char* dst, std::size_t count)
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max()))
        return false;
    if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(dst, 1, count, f) == count;
}

bool writeAll(std::FILE* f, const unsigned char* src, std::size_t count)
{
    return std::fwrite(src, 1, count, f) == count;
}

// A chunk header found while walking a list of chunks.
struct FoundChunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint64_t body = 0; // file offset of the body
};

// Walks the chunks that start at `from` and must begin before `end` (each header lying wholly before
// it), skipping odd-sized bodies' pad bytes, until one with `id` is found. Every step moves forward by
// at least the 8 header bytes, so the walk ends on any input.
bool findChunk(std::FILE* f, std::uint64_t from, std::uint64_t end, std::uint32_t id, FoundChunk& out)
{
    std::uint64_t pos = from;
    unsigned char header[8];
    while (pos + 8 <= end) {
        if (!readExactly(f, pos, header, sizeof header))
            return false;
        const std::uint32_t ckid = le::getU32(header);
        const std::uint32_t size = le::getU32(header + 4);
        if (ckid == id) {
            out = {ckid, size, pos + 8};
            return true;
        }
        pos += 8 + std::uint64_t{size} + (size & 1u);
    }
    return false;
}

#if SELVA_WAVE_X86
// The whole 32-byte groups of sum16 with AVX2: returns their sum and the frames they hold.
__attribute__((target("avx2"))) std::int64_t sum16Avx2(const unsigned char* bytes, std::uint64_t frames,
                                                       std::uint32_t frameSize, std::uint32_t offset,
                                                       std::uint64_t& done)
{
    // As in sum16: 32-bit lanes emptied into the 64-bit sum every 2^14 steps.
    const __m256i weights = frameSize == 2 ? _mm256_set1_epi16(1)
                            : offset == 0  ? _mm256_set1_epi32(0x00000001)
                                           : _mm256_set1_epi32(0x00010000);
    const std::uint64_t perStep = 32 / frameSize;
    std::int64_t sum = 0;
    std::uint64_t k = 0;
    while (k + perStep <= frames) {
        __m256i acc = _mm256_setzero_si256();
        for (int step = 0; step < (1 << 14) && k + perStep <= frames; ++step, k += perStep) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + k * frameSize));
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(v, weights));
        }
        alignas(32) std::int32_t lanes[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
        for (std::int32_t lane : lanes)
            sum += lane;
    }
    done = k;
    return sum;
}
#endif

// Sum of the 16-bit samples at byte `offset` of `frames` frames of `frameSize` bytes.
std::int64_t sum16(const unsigned char* bytes, std::uint64_t frames, std::uint32_t frameSize,
                   std::uint32_t offset)
{
    std::int64_t sum = 0;
    std::uint64_t k = 0;
#if SELVA_WAVE_X86
    if ((frameSize == 2 || frameSize == 4) && WaveFrequencySimdLevel() >= 2)
        sum = sum16Avx2(bytes, frames, frameSize, offset, k);
#endif
#if defined(__SSE2__)
    if (frameSize == 2 || frameSize == 4) {
        // Pairs of 16-bit values multiplied by (1, 1) (mono) or by the channel's (1, 0) / (0, 1) (stereo)
        // and added into 32-bit lanes; each lane gains at most 2^16 a step, so the lanes are emptied
        // into the 64-bit sum every 2^14 steps, well before they could overflow.
        const __m128i weights = frameSize == 2 ? _mm_set1_epi16(1)
                                : offset == 0  ? _mm_set1_epi32(0x00000001)
                                               : _mm_set1_epi32(0x00010000);
        const std::uint64_t perStep = 16 / frameSize;
        while (k + perStep <= frames) {
            __m128i acc = _mm_setzero_si128();
            for (int step = 0; step < (1 << 14) && k + perStep <= frames; ++step, k += perStep) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k * frameSize));
                acc = _mm_add_epi32(acc, _mm_madd_epi16(v, weights));
            }
            alignas(16) std::int32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
            sum += std::int64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
        }
    }
#endif
    for (; k < frames; ++k) {
        const unsigned char* q = bytes + k * frameSize + offset;
        sum += static_cast<std::int16_t>(static_cast<std::uint16_t>(q[0] | (q[1] << 8)));
    }
    return sum;
}

std::uint64_t fileSizeOf(std::FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(f);
    return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

TWave::TWave(std::uint8_t formatIndex, std::int32_t seconds)
{
    const WaveFormatRow& row = WaveFormats[formatIndex < WaveFormatCount ? formatIndex : 2];
    SetFormat(static_cast<std::uint16_t>(row.Channels), row.SampleRate,
              static_cast<std::uint16_t>(row.BitsPerSample));
    BufferSeconds = static_cast<float>(seconds);
    SetBufferLen(static_cast<float>(seconds));
}

TWave::~TWave()
{
    Close();
}

void TWave::SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample)
{
    Loaded = false;
    Channels = channels;
    SampleRate = sampleRate;
    BitsPerSample = bitsPerSample;
    BytesPerSecond = static_cast<std::uint32_t>((std::uint64_t{bitsPerSample} * sampleRate * channels) / 8);
    BlockAlign = static_cast<std::uint16_t>((std::uint32_t{channels} * bitsPerSample) / 8);
    TotalFrames = 0;
    SetBufferLen(BufferSeconds);
}

void TWave::SetBufferLen(float seconds)
{
    // At least one frame a block, so that a block walk always moves on.
    BufferFrames = std::max<std::int64_t>(roundHalfEven(double(SampleRate) * double(seconds)) + 1, 1);
    BufferSize = std::int64_t{GetFrameSize()} * BufferFrames;
    allocateBuffer();
}

void TWave::allocateBuffer()
{
    // A block never holds more than the data, so a header with an absurd rate cannot make the buffer
    // larger than the file; an object without a loaded file reads nothing and needs none.
    const std::int64_t bytes = Loaded ? std::min<std::int64_t>(BufferSize, DataBytes) : 0;
    BufferData.assign(static_cast<std::size_t>(std::max<std::int64_t>(bytes, 0)), 0);
    BufferData.shrink_to_fit();
}

bool TWave::Open(const std::string& fileName)
{
    Close();
    Loaded = false;
    Writing = false;
    ReadFailed = false;

    // Only a regular file: a pipe would block the open, a device be read for ever.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        throw Error("Unable to open file " + fileName);
    Handle = std::fopen(fileName.c_str(), "rb");
    if (!Handle)
        throw Error("Unable to open file " + fileName);
    const std::uint64_t fileSize = fileSizeOf(Handle);

    // The RIFF chunk of form "WAVE", possibly after other top-level chunks.
    std::uint64_t pos = 0;
    bool foundRiff = false;
    unsigned char header[12];
    while (pos + 12 <= fileSize) {
        if (!readExactly(Handle, pos, header, sizeof header))
            break;
        const std::uint32_t ckid = le::getU32(header);
        const std::uint32_t size = le::getU32(header + 4);
        if (ckid == kRiff && le::getU32(header + 8) == kWave) {
            RiffChunk = {ckid, size, kWave, static_cast<std::uint32_t>(pos + 8), 0};
            foundRiff = true;
            break;
        }
        pos += 8 + std::uint64_t{size} + (size & 1u);
    }
    if (!foundRiff)
        throw Error(fileName + " is not a wave file");
    const std::uint64_t riffEnd =
        std::min<std::uint64_t>(std::uint64_t{RiffChunk.dwDataOffset} + RiffChunk.cksize, fileSize);

    FoundChunk fmt;
    if (!findChunk(Handle, std::uint64_t{RiffChunk.dwDataOffset} + 4, riffEnd, kFmt, fmt))
        throw Error(fileName + " havn`t data format");
    SubChunk = {fmt.id, fmt.size, 0, static_cast<std::uint32_t>(fmt.body), 0};

    // The whole body must be there; only its first 18 bytes are ever looked at.
    if (fmt.body + fmt.size > fileSize)
        throw Error("Error reading wave data");
    std::array<unsigned char, 18> body{};
    const std::size_t bodyRead = std::min<std::size_t>(fmt.size, body.size());
    if (!readExactly(Handle, fmt.body, body.data(), bodyRead))
        throw Error("Error reading wave data");

    // A body too short to hold the tag goes on to the check of the fields below.
    if (fmt.size >= 2 && le::getU16(body.data()) != 1)
        throw Error("Invalid wave file format");

    FoundChunk data;
    if (!findChunk(Handle, fmt.body + fmt.size + (fmt.size & 1u), riffEnd, kData, data))
        throw Error("No data chunk");
    SubChunk = {data.id, data.size, 0, static_cast<std::uint32_t>(data.body), 0};
    // A stated size beyond the end of the file is cut to what the file holds.
    const std::uint64_t present = data.body < fileSize ? fileSize - data.body : 0;
    const std::uint64_t dataBytes = std::min<std::uint64_t>(data.size, present);
    if (dataBytes == 0)
        throw Error("Chunk has no data");

    // The fields of a "fmt " chunk shorter than 16 bytes would lie beyond it.
    if (fmt.size < 16)
        throw Error("Invalid 'fmt ' chunk.");
    const std::uint16_t channels = le::getU16(body.data() + 2);
    const std::uint32_t sampleRate = le::getU32(body.data() + 4);
    const std::uint32_t bytesPerSecond = le::getU32(body.data() + 8);
    const std::uint16_t blockAlign = le::getU16(body.data() + 12);
    if (bytesPerSecond == 0 || sampleRate == 0 || channels == 0)
        throw Error("Invalid 'fmt ' chunk.");
    std::uint64_t bits;
    if (fmt.size == 18)
        bits = le::getU16(body.data() + 14);
    else
        bits = (bytesPerSecond / (std::uint64_t{channels} * sampleRate)) * 8;
    // Zero bits, more than a 16-bit field can state, or a frame of less than one byte.
    if (bits == 0 || bits > 0xFFFF || (std::uint64_t{channels} * bits) / 8 == 0)
        throw Error("Invalid 'fmt ' chunk.");

    DataStart = static_cast<std::uint32_t>(data.body);
    DataBytes = static_cast<std::uint32_t>(dataBytes);
    Channels = channels;
    SampleRate = sampleRate;
    BytesPerSecond = bytesPerSecond;
    BlockAlign = blockAlign;
    BitsPerSample = static_cast<std::uint16_t>(bits);
    Format = body;
    TotalFrames = static_cast<std::uint32_t>(roundHalfEven(double(DataBytes) / double(GetFrameSize())));
    Duration = double(DataBytes) / double(BytesPerSecond);
    BytesWritten = 0;
    Position = 0;
    FramesInBuffer = 0;
    ReadOffset = 0;

    Loaded = true;
    FileName = fileName;
    SetBufferLen(1.0f);
    return true;
}

bool TWave::CreateWave(const std::string& fileName, const SaveOptions& options)
{
    Close();
    Loaded = false;
    Writing = false;

    auto writer = std::make_unique<AtomicFileWriter>();
    if (!writer->open(fileName, options))
        throw Error("Unable to open file " + fileName + " (" + writer->errorText() + ")");
    Writer = std::move(writer);
    Handle = Writer->stream();
    const auto fail = [this](const char* message) {
        Writer.reset(); // abandoned: nothing replaces the file that was there
        Handle = nullptr;
        throw Error(message);
    };

    unsigned char riff[12];
    le::putU32(riff, kRiff);
    le::putU32(riff + 4, 0);
    le::putU32(riff + 8, kWave);
    if (!writeAll(Handle, riff, sizeof riff))
        fail("Error creating RIFF wave chunk.");
    RiffChunk = {kRiff, 0, kWave, 8, 0};

    unsigned char fmtHeader[8];
    le::putU32(fmtHeader, kFmt);
    le::putU32(fmtHeader + 4, 18);
    if (!writeAll(Handle, fmtHeader, sizeof fmtHeader))
        fail("Error creating RIFF format chunk.");
    SubChunk = {kFmt, 18, 0, 20, 0};

    Format.fill(0);
    le::putU16(Format.data(), 1);
    le::putU16(Format.data() + 2, Channels);
    le::putU32(Format.data() + 4, SampleRate);
    le::putU32(Format.data() + 8, BytesPerSecond);
    le::putU16(Format.data() + 12, static_cast<std::uint16_t>(GetFrameSize()));
    le::putU16(Format.data() + 14, BitsPerSample);
    le::putU16(Format.data() + 16, 0);
    if (!writeAll(Handle, Format.data(), Format.size()))
        fail("Error writing RIFF format data.");

    unsigned char dataHeader[8];
    le::putU32(dataHeader, kData);
    le::putU32(dataHeader + 4, 0);
    if (!writeAll(Handle, dataHeader, sizeof dataHeader))
        fail("Error creating RIFF data chunk.");
    SubChunk = {kData, 0, 0, kHeaderBytes, 0};

    DataStart = kHeaderBytes;
    DataBytes = 0;
    BytesWritten = 0;
    WriteFailed = false;
    TotalFrames = 0;
    Writing = true;
    return true;
}

bool TWave::AppendData(const void* bytes, std::size_t count)
{
    if (!Handle || !Writing)
        return false;
    if (std::uint64_t{GetBytesWritten()} + count > kMaxDataBytes)
        return false;
    const std::size_t written = std::fwrite(bytes, 1, count, Handle);
    if (written != count)
        WriteFailed.store(true, std::memory_order_relaxed); // read by Close after appending stopped
    const std::uint32_t total =
        BytesWritten.load(std::memory_order_relaxed) + static_cast<std::uint32_t>(written);
    BytesWritten.store(total, std::memory_order_relaxed);
    TotalFrames.store(GetFrameSize() ? total / GetFrameSize() : 0, std::memory_order_relaxed);
    return written == count;
}

bool TWave::Close()
{
    if (!Handle)
        return true;
    bool ok = true;
    if (Writing) {
        // The final sizes: data bytes, and the file length - 8 counting the pad byte after odd data.
        const std::uint32_t dataBytes = GetBytesWritten();
        const std::uint32_t pad = dataBytes & 1u;
        if (pad) {
            const unsigned char zero = 0;
            ok = writeAll(Handle, &zero, 1) && ok;
        }
        unsigned char size[4];
        le::putU32(size, dataBytes);
        ok = std::fseek(Handle, kHeaderBytes - 4, SEEK_SET) == 0 && writeAll(Handle, size, 4) && ok;
        le::putU32(size, kHeaderBytes - 8 + dataBytes + pad);
        ok = std::fseek(Handle, 4, SEEK_SET) == 0 && writeAll(Handle, size, 4) && ok;
        ok = std::fflush(Handle) == 0 && ok;
        SubChunk.cksize = dataBytes;
        RiffChunk.cksize = kHeaderBytes - 8 + dataBytes + pad;
        DataBytes = dataBytes;
        Writing = false;
    }
    if (Writer) {
        // A complete file takes the place of the target; an incomplete one does not.
        Handle = nullptr;
        if (ok && !WriteFailed.load(std::memory_order_relaxed))
            ok = Writer->commit();
        else
            ok = false;
        Writer.reset();
        return ok;
    }
    // The stream is gone after fclose whatever it returns.
    ok = std::fclose(Handle) == 0 && ok;
    Handle = nullptr;
    return ok;
}

bool TWave::seekTo(std::uint64_t offset)
{
    if (!Handle || offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max()))
        return false;
    if (std::fseek(Handle, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::ftell(Handle) == static_cast<long>(offset);
}

std::size_t TWave::readBlock()
{
    // Never beyond the end of the "data" chunk: its pad byte and any chunk after it are not audio.
    const std::uint64_t left = DataBytes - std::min<std::uint64_t>(ReadOffset, DataBytes);
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, BufferData.size()));
    std::size_t got = 0;
    if (want > 0) {
        if (!seekTo(std::uint64_t{DataStart} + ReadOffset)) {
            ReadFailed = true;
            return 0;
        }
        got = std::fread(BufferData.data(), 1, want, Handle);
        if (got < want && std::ferror(Handle)) {
            ReadFailed = true;
            return 0;
        }
    }
    ReadOffset += got;
    return got;
}

bool TWave::ReadFirst()
{
    if (!Rewind())
        return false;
    const std::size_t got = readBlock();
    FramesInBuffer = static_cast<std::uint32_t>(got / GetFrameSize());
    return !ReadFailed;
}

bool TWave::ReadNext()
{
    if (!Loaded || Writing || !Handle || ReadFailed)
        return false;
    if (std::int64_t{Position} + FramesInBuffer >= std::int64_t{GetTotalFrames()} - 1)
        return false;
    Position += FramesInBuffer;
    const std::size_t got = readBlock();
    FramesInBuffer = static_cast<std::uint32_t>(got / GetFrameSize());
    if (ReadFailed) {
        FramesInBuffer = 0;
        return false;
    }
    return FramesInBuffer > 0;
}

bool TWave::Rewind()
{
    if (!Loaded || Writing || !Handle)
        return false;
    if (!seekTo(DataStart))
        return false;
    Position = 0;
    ReadOffset = 0;
    ReadFailed = false;
    return true;
}

std::size_t TWave::ReadData(void* bytes, std::size_t count)
{
    const std::size_t got = ReadDataAt(ReadOffset, bytes, count);
    ReadOffset += got;
    return got;
}

std::size_t TWave::ReadDataAt(std::uint64_t offset, void* bytes, std::size_t count)
{
    if (!Loaded || Writing || !Handle || offset >= DataBytes)
        return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, DataBytes - offset));
    if (!seekTo(std::uint64_t{DataStart} + offset))
        return 0;
    return std::fread(bytes, 1, want, Handle);
}

std::uint64_t TWave::ServedFrames() const
{
    if (!Loaded)
        return 0;
    // The walk reads whole blocks of B frames and stops after the first block that reaches frame
    // TotalFrames - 1, or when the data holds no further frame.
    const std::uint64_t whole = DataBytes / GetFrameSize();
    const std::uint64_t b = static_cast<std::uint64_t>(BufferFrames);
    const std::int64_t lastNeeded = std::int64_t{GetTotalFrames()} - 1;
    std::uint64_t blocks = 1;
    if (lastNeeded > 0)
        blocks = std::max<std::uint64_t>((static_cast<std::uint64_t>(lastNeeded) + b - 1) / b, 1);
    return std::min<std::uint64_t>(blocks * b, whole);
}

double TWave::GetChannelMean(std::uint8_t channel)
{
    const std::uint64_t frames = ServedFrames();
    if (frames == 0)
        return 0.0;
    const int bits = BitsPerSample;
    if (!SampleWidthReadable(bits))
        return 0.0;
    const std::uint32_t frameSize = GetFrameSize();
    const std::uint32_t offset = (channel < Channels ? channel : 0u) * (bits / 8u);

    // Large reads, bypassing the block buffer; the sum of each piece is exact in 64-bit integers.
    const std::uint64_t pieceFrames =
        std::min(frames, std::max<std::uint64_t>(1, (std::uint64_t{1} << 20) / frameSize));
    std::vector<unsigned char> piece(static_cast<std::size_t>(pieceFrames * frameSize));
    double sum = 0.0;
    std::uint64_t done = 0;
    while (done < frames) {
        const std::uint64_t want = std::min(pieceFrames, frames - done);
        const std::size_t got =
            ReadDataAt(done * frameSize, piece.data(), static_cast<std::size_t>(want * frameSize));
        const std::uint64_t n = got / frameSize;
        std::int64_t part = 0;
        const unsigned char* p = piece.data() + offset;
        switch (bits) {
        case 8:
            for (std::uint64_t k = 0; k < n; ++k)
                part += p[k * frameSize];
            break;
        case 16:
            part = sum16(piece.data(), n, frameSize, offset);
            break;
        default:
            for (std::uint64_t k = 0; k < n; ++k)
                part += ReadSample(p + k * frameSize, bits);
            break;
        }
        sum += double(part);
        done += n;
        if (n < want)
            break; // a read error ends the walk
    }
    return done ? sum / double(done) : 0.0;
}

std::string TWave::GetDescription() const
{
    std::string text = std::to_string(BitsPerSample) + " bits ";
    if (Channels == 1)
        text += "Mono ";
    else if (Channels == 2)
        text += "Stereo ";
    text += std::to_string(SampleRate) + " Hz ";
    text += std::to_string(DataBytes) + " bytes ";
    text += formatFixed(Duration, 2, 4, '.') + " Sec";
    return text;
}

std::string GetTempWaveName(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir = folder.empty() ? fs::current_path(ec) : fs::absolute(fs::path(folder), ec);
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    const int hundredths = static_cast<int>((ms % 1000 + 1000) % 1000 / 10);

    const auto nameFor = [&dir](long long n) { return dir / ("wave_tmp_" + std::to_string(n) + ".wav"); };
    // The hundred names of the clock, starting with the current one, then numbers beyond them.
    for (int i = 0; i < 100; ++i) {
        const fs::path candidate = nameFor((hundredths + i) % 100);
        if (!fs::exists(candidate, ec))
            return candidate.string();
    }
    for (long long n = 100;; ++n) {
        const fs::path candidate = nameFor(n);
        if (!fs::exists(candidate, ec))
            return candidate.string();
    }
}

} // namespace selva
