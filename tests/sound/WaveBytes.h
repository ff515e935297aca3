#pragma once

// Hand-made RIFF bytes for the reader's edge cases.

#include <cstdint>
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
    return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
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

inline std::string samples16(const std::vector<std::int16_t>& v)
{
    std::string out;
    for (std::int16_t s : v)
        out += u16le(std::uint16_t(s));
    return out;
}

} // namespace selva::test
