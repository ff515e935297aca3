#include "common/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace selva {
namespace {

using Bytes10 = std::array<unsigned char, 10>;

TEST(LittleEndian, FieldsAreLowByteFirstAtTheirLimits)
{
    unsigned char b[8] = {};
    le::putI32(b, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[3], 0x80);
    EXPECT_EQ(le::getI32(b), std::numeric_limits<std::int32_t>::min());
    le::putU64(b, 0x0102030405060708ull);
    EXPECT_EQ(b[0], 0x08);
    EXPECT_EQ(le::getI16(b), 0x0708);
    // Floating fields keep their bits: a NaN's payload, the sign of zero, the largest double.
    for (const std::uint64_t bits : {0x7FF0000000000001ull, 0x8000000000000000ull, 0x7FEFFFFFFFFFFFFFull}) {
        le::putU64(b, bits);
        unsigned char again[8];
        le::putF64(again, le::getF64(b));
        EXPECT_EQ(le::getU64(again), bits);
    }
    // A field fits when it lies inside the buffer; sizes near the top of the range do not wrap around.
    const std::size_t top = std::numeric_limits<std::size_t>::max();
    EXPECT_TRUE(le::fits(10, 6, 4));
    EXPECT_FALSE(le::fits(10, 7, 4));
    EXPECT_FALSE(le::fits(10, 11, 0));
    EXPECT_FALSE(le::fits(10, 2, top));
    // Text fields: cut to their length, read up to the first zero or the field's end.
    unsigned char t[4];
    le::putText(t, 4, "abcdef");
    EXPECT_EQ(le::getText(t, 4), "abcd");
    le::putText(t, 4, "x");
    EXPECT_EQ(le::getText(t, 4), "x");
}

TEST(LittleEndian, ExtendedPrecisionMatchesTheX87LayoutAtItsLimits)
{
    using L = std::numeric_limits<long double>;
    const struct {
        long double value;
        Bytes10 bytes; // mantissa (integer bit explicit), then sign and exponent
    } cases[] = {
        {1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
        {-2.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}},
        {0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {-0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}},
        {L::max(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}},
        {L::min(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00}},
        {L::min() / 2, {0, 0, 0, 0, 0, 0, 0, 0x40, 0x00, 0x00}},  // a denormal
        {L::denorm_min(), {1, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00}},
        {L::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
        {-L::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        Bytes10 written{};
        le::putExtended(written.data(), c.value);
        EXPECT_EQ(written, c.bytes) << static_cast<double>(c.value);
        const long double read = le::getExtended(c.bytes.data());
        EXPECT_EQ(read, c.value) << static_cast<double>(c.value);
        EXPECT_EQ(std::signbit(read), std::signbit(c.value));
    }
    // Doubles (how the program's values reach these fields) come back exactly, NaN as NaN.
    for (const double v : {0.01, 1e-300, 3.0e300, 12.3456, std::numeric_limits<double>::denorm_min()}) {
        Bytes10 b{};
        le::putExtended(b.data(), v);
        EXPECT_EQ(static_cast<double>(le::getExtended(b.data())), v);
    }
    Bytes10 nan{};
    le::putExtended(nan.data(), L::quiet_NaN());
    EXPECT_TRUE(std::isnan(le::getExtended(nan.data())));
    // A file's pseudo-infinity (integer bit clear) reads as infinity, not as a number.
    const Bytes10 pseudoInfinity{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x7F};
    EXPECT_TRUE(std::isinf(le::getExtended(pseudoInfinity.data())));
}

} // namespace
} // namespace selva
