#include "common/LittleEndian.h"

#include <cmath>
#include <limits>

namespace selva::le {

long double getExtended(const unsigned char* p)
{
    const std::uint64_t mantissa = getU64(p);
    const std::uint16_t se = getU16(p + 8);
    const bool negative = (se & 0x8000) != 0;
    const int exponent = se & 0x7FFF;
    long double v;
    if (exponent == 0x7FFF) {
        v = (mantissa << 1) == 0 ? std::numeric_limits<long double>::infinity()
                                 : std::numeric_limits<long double>::quiet_NaN();
    } else if (exponent == 0 && mantissa == 0) {
        v = 0.0L;
    } else {
        // value = mantissa * 2^(exponent - 16383 - 63); denormals use exponent 1.
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        v = std::ldexp(static_cast<long double>(mantissa), e);
    }
    return negative ? -v : v;
}

void putExtended(unsigned char* p, long double v)
{
    std::uint16_t se = std::signbit(v) ? 0x8000 : 0;
    std::uint64_t mantissa = 0;
    if (std::isnan(v)) {
        se |= 0x7FFF;
        mantissa = 0xC000000000000000ULL;
    } else if (std::isinf(v)) {
        se |= 0x7FFF;
        mantissa = 0x8000000000000000ULL;
    } else if (v != 0) {
        int e = 0;
        const long double m = std::frexp(std::fabs(v), &e);  // m in [0.5, 1)
        int biased = e - 1 + 16383;
        if (biased <= 0) {
            // Denormal: shift the mantissa right; exponent field 0 stands for 1 - 16383.
            mantissa = static_cast<std::uint64_t>(std::ldexp(m, 64 + biased - 1));
            biased = 0;
        } else if (biased >= 0x7FFF) {
            biased = 0x7FFF;
            mantissa = 0x8000000000000000ULL;
        } else {
            mantissa = static_cast<std::uint64_t>(std::ldexp(m, 64));
        }
        se |= static_cast<std::uint16_t>(biased);
    }
    putU64(p, mantissa);
    putU16(p + 8, se);
}

void putText(unsigned char* p, std::size_t length, std::string_view bytes)
{
    std::size_t i = 0;
    for (; i < length && i < bytes.size(); ++i)
        p[i] = static_cast<unsigned char>(bytes[i]);
    for (; i < length; ++i)
        p[i] = 0;
}

std::string getText(const unsigned char* p, std::size_t length)
{
    std::size_t n = 0;
    while (n < length && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace selva::le
