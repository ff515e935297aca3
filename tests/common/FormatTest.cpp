#include "common/Format.h"

#include <gtest/gtest.h>

namespace selva {
namespace {

TEST(Format, RoundHalfEvenGoesToTheEvenNeighbour)
{
    const struct { double x; std::int64_t expected; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.5, 0}, {1.5, 2}, {249.99999, 250}, {7.0 / 2, 4}, {-0.4, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundHalfEven(c.x), c.expected) << c.x;
}

TEST(Format, GeneralFormatPicksFixedOrScientificAndDropsZeros)
{
    const struct { double x; int precision; const char* expected; } cases[] = {
        {8460, 7, "8460"},
        {80, 7, "80"},
        {8460.125, 7, "8460.125"},
        {-0.25, 15, "-0.25"},
        {0.1f, 15, "0.100000001490116"},
        {12345678, 7, "1.234568E7"},
        {1234567, 7, "1234567"},
        {0.00001, 7, "0.00001"},
        {0.000001, 7, "1E-6"},
        {1e20, 15, "1E20"},
        {0, 7, "0"},
        {9999999.6, 7, "1E7"},
        {2.0 / 3, 4, "0.6667"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatGeneral(c.x, c.precision), c.expected) << c.x;
    EXPECT_EQ(formatGeneral(-0.25, 15, ','), "-0,25");
}

TEST(Format, FixedFormatPadsToWidth)
{
    EXPECT_EQ(formatFixed(12.34, 2, 4), "12.34");
    EXPECT_EQ(formatFixed(0.4, 2, 4), "0.40");
    EXPECT_EQ(formatFixed(3.14159, 3, 8), "   3.142");
    EXPECT_EQ(formatFixed(123456.5, 3, 8), "123456.500");
    EXPECT_EQ(formatFixed(-1.5, 1, 0, ','), "-1,5");
}

TEST(Format, ParsingAcceptsOnlyWholePointNumbers)
{
    double d = -1;
    EXPECT_TRUE(parseDouble("  0.004 ", d));
    EXPECT_DOUBLE_EQ(d, 0.004);
    EXPECT_TRUE(parseDouble("+12", d));
    EXPECT_DOUBLE_EQ(d, 12);
    EXPECT_FALSE(parseDouble("8460,5", d));
    EXPECT_FALSE(parseDouble("", d));
    EXPECT_FALSE(parseDouble("12x", d));
    std::int64_t i = 0;
    EXPECT_TRUE(parseInt(" 42", i));
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(parseInt("4.2", i));
    EXPECT_EQ(formatShortest(0.1), "0.1");
    EXPECT_EQ(formatShortest(8716), "8716");
}

// Names from a file printed on a terminal: control characters cannot reach it, Cyrillic and Windows
// paths stay as they are.
TEST(Format, PrintableText)
{
    EXPECT_EQ(printableText("C:\\Испытания\\run 1.frq"), "C:\\Испытания\\run 1.frq");
    EXPECT_EQ(printableText("a\tb\nc\rd"), "a\\tb\\nc\\rd");
    EXPECT_EQ(printableText("\x1b[2Jx\x7f"), "\\x1B[2Jx\\x7F");
    EXPECT_EQ(printableText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(printableText("\xc2\x9b"
                            "31m"),
              "\\u009B31m");                                     // the one-character escape sequence start
    EXPECT_EQ(printableText("\xff\xc3("), "\\xFF\\xC3(");        // not UTF-8
    EXPECT_EQ(printableText("\xed\xa0\x80"), "\\xED\\xA0\\x80"); // a surrogate is not UTF-8 either
    EXPECT_EQ(printableText("ё№\xc2\xa0€😀"), "ё№\xc2\xa0€😀");
}

}  // namespace
}  // namespace selva
