#include "common/Cp1251.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

namespace selva {
namespace {

// The system's converter, as a second opinion on the table: empty when it has no character for the byte.
std::string systemUtf8(unsigned char byte)
{
    const iconv_t cd = iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "unavailable";
    char in[1] = {static_cast<char>(byte)}, out[8] = {};
    char* from = in;
    char* to = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const bool ok = iconv(cd, &from, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return ok ? std::string(out, static_cast<std::size_t>(to - out)) : std::string();
}

TEST(Cp1251, EveryByteConvertsAsTheSystemDoesAndBack)
{
    if (systemUtf8('A') != "A")
        GTEST_SKIP() << "the system has no CP1251 converter";
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = cp1251ToUtf8(byte);
        const std::string expected = systemUtf8(static_cast<unsigned char>(b));
        if (expected.empty()) { // 0x98: no character
            EXPECT_EQ(utf8, "?") << b;
            continue;
        }
        EXPECT_EQ(utf8, expected) << b;
        EXPECT_EQ(utf8ToCp1251(utf8), byte) << b;
        EXPECT_EQ(utf8Length(utf8), 1u) << b;
    }
}

TEST(Cp1251, TextWithoutACodeOrMalformedBecomesQuestionMarks)
{
    const std::string utf8 = "<Без калибровки> Ёё №";
    const std::string bytes = utf8ToCp1251(utf8);
    EXPECT_EQ(bytes.size(), utf8Length(utf8));
    EXPECT_EQ(bytes.substr(17), "\xA8\xB8 \xB9");
    EXPECT_EQ(cp1251ToUtf8(bytes), utf8);
    EXPECT_EQ(utf8Left("Привет", 3), "При");
    // No code, cut off, stray continuation, overlong (a hidden control character or slash), surrogate,
    // beyond U+10FFFF: nothing of it may come out as another character.
    for (const std::string bad : {"日本", "\xD0", "\x80", "\xC0\x81", "\xE0\x80\xAF", "\xED\xA0\x80",
                                  "\xF4\x90\x80\x80", "\xC2\x98"}) {
        const std::string out = utf8ToCp1251(bad);
        EXPECT_FALSE(out.empty()) << bad;
        EXPECT_EQ(out.find_first_not_of('?'), std::string::npos) << bad << " -> " << out;
    }
}

} // namespace
} // namespace selva
