#pragma once

// Hand-made RIFF bytes for the reader's edge cases, sample bytes of known values, and the tone the ring
// and device tests feed.

#include "sound/Wave.h"
#include "sound/WaveSynth.h"
#include "support/TestSupport.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace selva::test {

inline std::string u16le(std::uint32_t v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}
inline std::string u32le(std::uint32_t v)
{
    return u16le(v & 0xFFFF) + u16le(v >> 16);
}

// A chunk with its id, the given stated size (the body's length unless told), the body and a pad byte
// after an odd body.
inline std::string chunk(std::string_view id, std::string_view body, std::int64_t statedSize = -1)
{
    std::string out(id);
    out += u32le(statedSize < 0 ? std::uint32_t(body.size()) : std::uint32_t(statedSize));
    out += body;
    if (body.size() % 2)
        out += '\0';
    return out;
}

inline std::string riff(std::string_view form, std::string_view content, std::int64_t statedSize = -1)
{
    return chunk("RIFF", std::string(form) + std::string(content),
                 statedSize < 0 ? std::int64_t(4 + content.size()) : statedSize);
}

// The body of a PCM "fmt " chunk: 16 bytes, or 18 with the extra-size field.
inline std::string fmtBody(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                           bool withExtra = true, std::uint32_t tag = 1, std::int64_t bytesPerSecond = -1)
{
    const std::uint32_t align = channels * bits / 8;
    std::string b = u16le(tag) + u16le(channels) + u32le(rate) +
                    u32le(bytesPerSecond < 0 ? rate * align : std::uint32_t(bytesPerSecond)) + u16le(align) +
                    u16le(bits);
    if (withExtra)
        b += u16le(0);
    return b;
}

// A whole file: RIFF WAVE with "fmt " and "data".
inline std::string waveFile(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                            std::string_view data)
{
    return riff("WAVE", chunk("fmt ", fmtBody(channels, rate, bits)) + chunk("data", data));
}

// Sample values as little-endian bytes of `bits` bits (8-bit values are the raw bytes).
inline std::string samples(const std::vector<std::int64_t>& v, int bits = 16)
{
    std::string out;
    for (std::int64_t s : v)
        for (int b = 0; b < bits / 8; ++b)
            out += char((static_cast<std::uint64_t>(s) >> (8 * b)) & 0xFF);
    return out;
}

// Frame `frame` of a 16-bit sine of `hz` at `rate` frames a second.
inline std::int16_t tone(double hz, double amplitude, std::int64_t frame, double rate = 44100)
{
    return std::int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(frame) / rate)));
}

// `frames` frames of that sine as 16-bit mono bytes, from frame `first`.
inline std::vector<unsigned char> toneBytes(double hz, double amplitude, std::int64_t first,
                                            std::int64_t frames, double rate = 44100)
{
    std::vector<unsigned char> out;
    for (std::int64_t k = first; k < first + frames; ++k) {
        const auto s = std::uint16_t(tone(hz, amplitude, k, rate));
        out.push_back(static_cast<unsigned char>(s & 0xFF));
        out.push_back(static_cast<unsigned char>(s >> 8));
    }
    return out;
}

// Writes the bytes as a file and opens it.
inline void openBytes(TWave& wave, const std::string& name, std::string_view bytes)
{
    writeFile(name, bytes);
    wave.Open(name);
}

// Writes a recording of known frequency and opens it.
inline void openSynth(TWave& wave, const std::string& name, const WaveSynthOptions& options,
                      const std::function<double(double)>& hz)
{
    WriteSynthWave(name, options, hz);
    wave.Open(name);
}

} // namespace selva::test
