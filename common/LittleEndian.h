#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace selva::le {

// Field-by-field access to little-endian binary records. Readers take the buffer and an offset that the
// caller has checked against the buffer's size; `fits` is that check.

inline bool fits(std::size_t size, std::size_t offset, std::size_t length)
{
    return offset <= size && length <= size - offset;
}

inline std::uint8_t getU8(const unsigned char* p) { return p[0]; }
inline std::uint16_t getU16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t getU64(const unsigned char* p)
{
    return static_cast<std::uint64_t>(getU32(p)) | (static_cast<std::uint64_t>(getU32(p + 4)) << 32);
}
inline std::int16_t getI16(const unsigned char* p) { return static_cast<std::int16_t>(getU16(p)); }
inline std::int32_t getI32(const unsigned char* p) { return static_cast<std::int32_t>(getU32(p)); }
inline float getF32(const unsigned char* p)
{
    const std::uint32_t bits = getU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
inline double getF64(const unsigned char* p)
{
    const std::uint64_t bits = getU64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline void putU8(unsigned char* p, std::uint8_t v) { p[0] = v; }
inline void putU16(unsigned char* p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void putU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void putU64(unsigned char* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void putI16(unsigned char* p, std::int16_t v) { putU16(p, static_cast<std::uint16_t>(v)); }
inline void putI32(unsigned char* p, std::int32_t v) { putU32(p, static_cast<std::uint32_t>(v)); }
inline void putF32(unsigned char* p, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(p, bits);
}
inline void putF64(unsigned char* p, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU64(p, bits);
}

// 10-byte x87 extended precision: 64-bit mantissa with explicit integer bit, 15-bit exponent, sign.
// Converted through long double where that is the x87 format, bit by bit otherwise.
long double getExtended(const unsigned char* p);
void putExtended(unsigned char* p, long double v);

// Fixed-size text fields: at most `length` bytes, zero padded; a read stops at the first zero.
void putText(unsigned char* p, std::size_t length, std::string_view bytes);
std::string getText(const unsigned char* p, std::size_t length);

}  // namespace selva::le
