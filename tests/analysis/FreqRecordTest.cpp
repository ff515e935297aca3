#include "analysis/FreqRecord.h"
#include "common/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using selva::TFreq;
using selva::test::TempDir;
using selva::test::writeFile;

namespace {

std::string frq(const std::vector<std::string>& lines, const char* eol = "\r\n")
{
    std::string s;
    for (const auto& l : lines)
        s += l + eol;
    return s;
}

std::vector<float> readAll(TFreq& f)
{
    std::vector<float> v{f.First()};
    while (!f.AtEnd())
        v.push_back(f.Next());
    return v;
}

} // namespace

// Which files load and which do not, and what a loaded one holds.
TEST(FreqRecord, AcceptsAndRejectsHeaders)
{
    struct Case {
        const char* name;
        std::string text;
        bool loads;
        std::vector<float> readings;
    };
    const std::vector<Case> cases = {
        {"standard layout",
         frq({"FREQ", "src", "3", "   0.010", "---------------", "START", "8460.000", "8461.250",
              "8700.000"}),
         true,
         {8460.0f, 8461.25f, 8700.0f}},
        {"lower-case freq", frq({"freq", "x", "1", "0.01", "start", " 1.5"}), true, {1.5f}},
        {"trailing blank after FREQ", frq({"FREQ ", "x", "1", "0.01", "START", "1"}), false, {}},
        {"no separator line", frq({"FREQ", "x", "2", "0.01", "START", "1", "2"}), true, {1.0f, 2.0f}},
        {"count on line 3 is ignored",
         frq({"FREQ", "x", "999", "0.01", "START", "5", "6"}),
         true,
         {5.0f, 6.0f}},
        {"negative count accepted", frq({"FREQ", "x", "-4", "0.01", "START", "5"}), true, {5.0f}},
        {"START as last line", frq({"FREQ", "x", "0", "0.01", "START"}), false, {}},
        {"no START at all", frq({"FREQ", "x", "1", "0.01", "1"}), false, {}},
        {"empty file", "", false, {}},
        {"thrust file", frq({"Thrust", "x", "1", "0.01", "START", "80.000"}), false, {}},
        {"LF line ends", frq({"FREQ", "x", "2", "0.01", "START", "1", "2"}, "\n"), true, {1.0f, 2.0f}},
        {"CR line ends", frq({"FREQ", "x", "2", "0.01", "START", "1", "2"}, "\r"), true, {1.0f, 2.0f}},
        {"no final line end", "FREQ\r\nx\r\n1\r\n0.01\r\nSTART\r\n7.25", true, {7.25f}},
        {"trailing blank lines are not readings",
         frq({"FREQ", "x", "1", "0.01", "START", "3", "", "  "}),
         true,
         {3.0f}},
        {"signs and exponent",
         frq({"FREQ", "x", "3", "0.01", "START", "+1", "-2.5", "1e3"}),
         true,
         {1.0f, -2.5f, 1000.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto name = dir.file("a.frq");
        writeFile(name, c.text);
        TFreq f;
        ASSERT_EQ(f.LoadFromFile(name), c.loads);
        EXPECT_EQ(f.Loaded, c.loads);
        if (!c.loads)
            continue;
        EXPECT_EQ(f.RecordCount, static_cast<int>(c.readings.size()));
        EXPECT_EQ(f.LineCount - f.StartLine, f.RecordCount);
        EXPECT_EQ(readAll(f), c.readings);
    }
}

// A malformed count, step or reading fails with an error naming the file, the line and what is wrong;
// nothing silently wrong. A tiny step is not "not above zero", and a huge one is refused rather than
// describing five readings as 5e30 seconds.
TEST(FreqRecord, MalformedNumbersFailWithTheLineAndTheReason)
{
    const std::string count = "ожидается число отсчётов", step = "ожидается шаг в секундах, больше нуля",
                      number = "ожидается число с точкой";
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        int line;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"count not a number", {"FREQ", "x", "many", "0.01", "START", "1"}, 3, count},
        {"count with fraction", {"FREQ", "x", "1.5", "0.01", "START", "1"}, 3, count},
        {"step with comma", {"FREQ", "x", "1", "0,01", "START", "1"}, 4, step},
        {"step zero", {"FREQ", "x", "1", "0", "START", "1"}, 4, step},
        {"step negative", {"FREQ", "x", "1", "-0.01", "START", "1"}, 4, step},
        {"step not finite", {"FREQ", "x", "1", "inf", "START", "1"}, 4, step},
        {"step too small for a rate",
         {"FREQ", "x", "1", "1e-12", "START", "1"},
         4,
         "шаг 1e-12 сек слишком мал: больше 2147483647 отсчётов в секунду"},
        {"step tiny",
         {"FREQ", "x", "1", "1e-30", "START", "1"},
         4,
         "шаг 1e-30 сек слишком мал: больше 2147483647 отсчётов в секунду"},
        {"step huge",
         {"FREQ", "x", "1", "1e30", "START", "1"},
         4,
         "шаг 1e+30 сек больше допустимого (3600 сек)"},
        {"step just too long",
         {"FREQ", "x", "1", "3600.5", "START", "1"},
         4,
         "шаг 3600.5 сек больше допустимого (3600 сек)"},
        {"reading with comma", {"FREQ", "x", "2", "0.01", "START", "1", "8460,5"}, 7, number},
        {"reading with text after it", {"FREQ", "x", "1", "0.01", "START", "12 Hz"}, 6, number},
        {"reading nan", {"FREQ", "x", "1", "0.01", "START", "nan"}, 6, number},
        {"reading beyond single precision", {"FREQ", "x", "1", "0.01", "START", "1e39"}, 6, number},
        {"blank line inside the data", {"FREQ", "x", "2", "0.01", "START", "1", "", "2"}, 7, number},
        {"START on line 2: the count is a reading", {"FREQ", "START", "8460.5", "0.01", "1"}, 3, count},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto name = dir.file("bad.frq");
        writeFile(name, frq(c.lines));
        TFreq f;
        try {
            f.LoadFromFile(name);
            ADD_FAILURE() << "loaded: " << f.Describe();
        } catch (const selva::Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Ошибка в строке " + std::to_string(c.line) + " файла " + name + ": " + c.says);
        }
        EXPECT_FALSE(f.Loaded);
    }
}

// The count on line 3 gives way to the readings (as it always did), and says so once.
TEST(FreqRecord, CountLineThatDisagreesWarns)
{
    TempDir dir;
    TFreq f;
    writeFile(dir.file("a.frq"), frq({"FREQ", "x", "5", "0.01", "START", "1", "2", "3"}));
    ASSERT_TRUE(f.LoadFromFile(dir.file("a.frq")));
    EXPECT_EQ(f.RecordCount, 3);
    EXPECT_EQ(f.Warning,
              "Файл " + dir.file("a.frq") + ": в строке 3 указано отсчётов: 5, а после START их 3; взято 3");
    writeFile(dir.file("b.frq"), frq({"FREQ", "x", "3", "0.01", "START", "1", "2", "3"}));
    ASSERT_TRUE(f.LoadFromFile(dir.file("b.frq")));
    EXPECT_EQ(f.Warning, "");
}

// A failed load keeps the record loaded before. A pipe or a folder is not read at all (a pipe would block
// in the open, a device be read for ever).
TEST(FreqRecord, FailedLoadKeepsThePreviousRecord)
{
    TempDir dir;
    writeFile(dir.file("good.frq"), frq({"FREQ", "x", "2", "0.02", "START", "10", "20"}));
    writeFile(dir.file("bad.frq"), frq({"FREQ", "x", "2", "0.01", "START", "10", "zz"}));
    writeFile(dir.file("wrong.frq"), frq({"Thrust", "x", "1", "0.01", "START", "1"}));
    ASSERT_EQ(::mkfifo(dir.file("pipe.frq").c_str(), 0600), 0);
    TFreq f;
    EXPECT_FALSE(f.LoadFromFile(dir.file("pipe.frq")));
    EXPECT_FALSE(f.Loaded);
    ASSERT_TRUE(f.LoadFromFile(dir.file("good.frq")));
    EXPECT_THROW(f.LoadFromFile(dir.file("bad.frq")), selva::Error);
    EXPECT_FALSE(f.LoadFromFile(dir.file("pipe.frq")));
    EXPECT_FALSE(f.LoadFromFile(dir.file("wrong.frq")));
    EXPECT_FALSE(f.LoadFromFile(dir.file("none.frq")));
    EXPECT_FALSE(f.LoadFromFile(dir.path().string())); // a folder
    EXPECT_TRUE(f.Loaded);
    EXPECT_EQ(f.FileName, dir.file("good.frq"));
    EXPECT_FLOAT_EQ(f.SampleStep, 0.02f);
    EXPECT_EQ(readAll(f), (std::vector<float>{10, 20}));
}

TEST(FreqRecord, FirstNextAtEnd)
{
    TempDir dir;
    const auto name = dir.file("a.frq");
    writeFile(name, frq({"FREQ", "x", "3", "0.01", "---------------", "START", "1", "2", "3"}));
    TFreq f;
    ASSERT_TRUE(f.LoadFromFile(name));
    EXPECT_EQ(f.StartLine, 6);
    EXPECT_EQ(f.LineCount, 9);
    EXPECT_EQ(f.LineIndex, 6); // 0-based line of the current reading
    EXPECT_EQ(f.First(), 1.0f);
    EXPECT_EQ(f.LineIndex, 6);
    EXPECT_EQ(f.Next(), 2.0f);
    EXPECT_EQ(f.LineIndex, 7);
    EXPECT_EQ(f.Next(), 3.0f);
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.Next(), 0.0f);
    EXPECT_TRUE(f.AtEnd());
    EXPECT_EQ(f.CurrentValue, 3.0f);
    EXPECT_EQ(f.Next(), 0.0f);
    EXPECT_EQ(f.LineIndex, 8);
    EXPECT_EQ(readAll(f), (std::vector<float>{1, 2, 3})); // First rewinds
}

TEST(FreqRecord, RateAndDescription)
{
    struct Case {
        const char* step;
        int readings;
        int rate;
        const char* description;
    };
    const std::vector<Case> cases = {
        {"0.004", 100, 250, "Mono 250 Hz 100 records 0.40 Sec"},
        {"0.01", 1234, 100, "Mono 100 Hz 1234 records 12.34 Sec"},
        {"   0.001", 5, 1000, "Mono 1000 Hz 5 records 0.01 Sec"},
        {"0.3", 3, 3, "Mono 3 Hz 3 records 1.00 Sec"},
        {"4", 3, 0, "Mono 0 Hz 3 records 12.00 Sec"},      // rate rounds to 0: duration from the step
        {"0.4", 1, 2, "Mono 2 Hz 1 records 0.50 Sec"},     // 2.5 rounds to even
        {"3600", 2, 0, "Mono 0 Hz 2 records 7200.00 Sec"}, // the longest step there may be
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        std::vector<std::string> lines = {"FREQ", "x", "0", c.step, "---------------", "START"};
        for (int i = 0; i < c.readings; ++i)
            lines.push_back("8460.000");
        TempDir dir;
        writeFile(dir.file("a.frq"), frq(lines));
        TFreq f;
        ASSERT_TRUE(f.LoadFromFile(dir.file("a.frq")));
        EXPECT_EQ(f.SampleRate, c.rate);
        EXPECT_EQ(f.RecordCount, c.readings);
        EXPECT_EQ(f.Describe(), c.description);
    }
}

TEST(FreqRecord, LongLinesAndBufferBoundaries)
{
    // Readings that straddle the 64 KiB read buffer, a CR LF split across it, and a huge name line.
    TempDir dir;
    std::string text = "FREQ\r\n" + std::string(200000, 'n') + "\r\n5\r\n0.001\r\nSTART\r\n";
    std::vector<float> expected;
    for (int i = 0; i < 30000; ++i) {
        text += std::to_string(8000 + i % 700) + ".125\r\n";
        expected.push_back(static_cast<float>(8000 + i % 700) + 0.125f);
    }
    writeFile(dir.file("a.frq"), text);
    TFreq f;
    ASSERT_TRUE(f.LoadFromFile(dir.file("a.frq")));
    EXPECT_EQ(f.RecordCount, 30000);
    EXPECT_EQ(readAll(f), expected);
    EXPECT_EQ(readAll(f), expected); // again after the rewind
}

TEST(FreqRecord, FileCutShortAfterLoadingFailsCleanly)
{
    TempDir dir;
    const auto name = dir.file("a.frq");
    writeFile(name, frq({"FREQ", "x", "3", "0.01", "START", "1", "2", "3"}));
    TFreq f;
    ASSERT_TRUE(f.LoadFromFile(name));
    EXPECT_EQ(f.Next(), 2.0f);
    writeFile(name, frq({"FREQ", "x", "3", "0.01", "START", "1"}));
    EXPECT_THROW(
        {
            f.First();
            f.Next();
        },
        selva::Error);
}

// Truncated and random files: a clean false or selva::Error, never a crash or a hang.
TEST(FreqRecord, TruncatedAndRandomFilesFailCleanly)
{
    const std::string good =
        frq({"FREQ", "x", "3", "0.01", "---------------", "START", "8460.000", "8461.250", "8700.000"});
    TempDir dir;
    const auto name = dir.file("t.frq");
    for (std::size_t len = 0; len < good.size(); ++len) {
        writeFile(name, good.substr(0, len));
        TFreq f;
        try {
            if (f.LoadFromFile(name)) {
                EXPECT_GE(f.RecordCount, 1);
                readAll(f);
            }
        } catch (const selva::Error&) {
        }
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = round % 2 ? "FREQ\r\n" : "";
        const int len = static_cast<int>(rng() % 400);
        for (int i = 0; i < len; ++i) {
            const char alphabet[] = "0123456789.-+eE \r\n\tSTARTfreq,\x1a\xff";
            bytes += round % 3 ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
        }
        writeFile(name, bytes);
        TFreq f;
        try {
            if (f.LoadFromFile(name)) {
                EXPECT_EQ(static_cast<int>(readAll(f).size()), f.RecordCount);
            }
        } catch (const selva::Error&) {
        }
    }
}

TEST(FreqRecord, ParseReading)
{
    struct Case {
        const char* text;
        bool ok;
        float value;
    };
    const std::vector<Case> cases = {
        {"8460.000", true, 8460.0f}, // blanks around, a sign
        {"  -1.500", true, -1.5f},
        {"\t3\t", true, 3.0f},
        {"+2", true, 2.0f},
        {"", false, 0},
        {"  ", false, 0},
        {"1,5", false, 0},
        {"++2", false, 0},
        {"+-2", false, 0},
        {"0x10", false, 0},
        {"inf", false, 0},
        {"1e400", false, 0},
        {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float v = -99;
        EXPECT_EQ(selva::parseFrequencyReading(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

// Readings take a quick path for plain decimals; it must give exactly what the general parser gives.
TEST(FreqRecord, QuickParseMatchesTheGeneralParser)
{
    std::mt19937_64 rng(11);
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        if (rng() % 3 == 0)
            text += '-';
        const int whole = 1 + static_cast<int>(rng() % 9);
        for (int k = 0; k < whole; ++k)
            text += static_cast<char>('0' + rng() % 10);
        const int decimals = static_cast<int>(rng() % 10);
        if (decimals > 0 || rng() % 2)
            text += '.';
        for (int k = 0; k < decimals; ++k)
            text += static_cast<char>('0' + rng() % 10);
        double reference = 0;
        ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), reference).ec, std::errc()) << text;
        float v = 0;
        ASSERT_TRUE(selva::parseFrequencyReading(text, v)) << text;
        ASSERT_EQ(v, static_cast<float>(reference)) << text;
        ASSERT_EQ(std::signbit(v), std::signbit(reference)) << text;
    }
}
