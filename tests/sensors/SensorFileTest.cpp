#include "sensors/SensorFile.h"

#include "common/Cp1251.h"
#include "common/UserPrompts.h"
#include "sensors/SensorLibrary.h"
#include "support/Calibrations.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace selva {
namespace {

using test::formula;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Collects what the user would have been shown; answers questions with `answer`.
struct Prompts {
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = true;
    UserPrompts prompts()
    {
        UserPrompts p;
        p.message = [this](const std::string& text) { messages.push_back(text); };
        p.confirm = [this](const std::string& text) {
            questions.push_back(text);
            return answer;
        };
        return p;
    }
};

const std::string DefaultName1251 = utf8ToCp1251("<Без калибровки>");
const std::string DefaultSensorLines = "0\t8460\t80\t" + DefaultName1251 + "\r\n0\t8700\t0\t\r\n\r\n";

void expectSameLibrary(const SensorLibrary& a, const SensorLibrary& b)
{
    ASSERT_EQ(a.SensorCount(), b.SensorCount());
    for (std::size_t i = 0; i < a.sensors.size(); ++i) {
        EXPECT_EQ(a.sensors[i].number, b.sensors[i].number) << i;
        EXPECT_EQ(a.sensors[i].name, b.sensors[i].name) << i;
        EXPECT_EQ(a.sensors[i].calibration.points, b.sensors[i].calibration.points) << i;
    }
}

TEST(SensorFile, StartLine)
{
    const struct {
        std::string text;
        int sensors;
        const char* what;
    } cases[] = {
        {"START\r\n", 1, "START alone"},
        {"", 1, "empty file"},
        {"start\r\n7\t8600.5\t12\tStand A\r\n", 2, "lower case START"},
        {" START\r\n7\t8600.5\t12\tStand A\r\n", 1, "blank before START: no sensor loads"},
        {"START \r\n7\t8600.5\t12\tStand A\r\n", 1, "blank after START"},
        {"comment\nStArT\n7 8600.5 12 Stand A\n", 2, "LF lines, mixed case"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string name = dir.file("lib.sns");
        writeFile(name, c.text);
        SensorLibrary lib;
        lib.AddSensor(9, "gone after the load");
        Prompts p;
        ASSERT_TRUE(lib.LoadSensorFile(name, true, p.prompts())) << c.what;
        EXPECT_TRUE(p.messages.empty()) << c.what;
        EXPECT_EQ(c.sensors, lib.SensorCount()) << c.what;
        EXPECT_EQ((std::vector<TCalibPoint>{{8460, 80, {}}, {8700, 0, {}}}),
                  lib.sensors[0].calibration.points);
        EXPECT_EQ(0, lib.ActiveSensorIndex);
        EXPECT_EQ(0, lib.ActiveSensorId);
        EXPECT_EQ(name, lib.SensorFileName);
    }
}

TEST(SensorFile, UnreadableLinesAreCountedAndSkipped)
{
    // Counter: header and START lines count, blank lines do not; the number shown is the count before
    // the bad line.
    const std::string text = "header\r\nSTART\r\n1\t8460,5\t80\tA\r\n\r\n1\t8700\t0\tA\r\n   \r\nx\t1\t2\r\n"
                             "1\t8500\r\n-3\t8400\t1\tneg\r\n2\tnan\t1\r\n2\t1\tinf\r\n99999999999\t1\t2\r\n"
                             "1\t8600\t40\tStill A\r\n";
    SensorLibrary lib;
    Prompts p;
    LoadSensorText(lib, text, true, p.prompts());
    // One message names the first five lines and counts the rest.
    EXPECT_EQ(std::vector<std::string>{"Ошибки в строках 2, 4, 5, 7, 8 и ещё в 1 строке"}, p.messages);
    ASSERT_EQ(2, lib.SensorCount()) << "negative numbers and bad lines add nothing";
    EXPECT_EQ("A", lib.sensors[1].name) << "a later line of a known sensor does not rename it";
    EXPECT_EQ((std::vector<TCalibPoint>{{8700, 0, {}}, {8600, 40, {}}}), lib.sensors[1].calibration.points);

    // Without error reports the same text loads the same, silently.
    SensorLibrary quiet;
    Prompts q;
    LoadSensorText(quiet, text, false, q.prompts());
    EXPECT_TRUE(q.messages.empty());
    expectSameLibrary(lib, quiet);

    p.messages.clear();
    LoadSensorText(lib, "START\r\n0\t8460,5\t80\r\n", true, p.prompts());
    EXPECT_EQ(std::vector<std::string>{"Ошибка в строке 1"}, p.messages);
    EXPECT_EQ(2u, lib.sensors[0].calibration.points.size());
}

// An existing file takes one question, the overwrite question or, for a read-only file, the read-only one
// in its place; a "no" writes nothing and says nothing more. (Which targets every save refuses is checked
// once for all saves in the workspace tests.)
TEST(SensorFile, OverwriteAndReadOnlyQuestions)
{
    TempDir dir;
    const std::string name = dir.file("lib.sns");
    writeFile(name, "old");
    SensorLibrary lib;
    Prompts p;
    p.answer = false;
    lib.SensorsModified = true;
    EXPECT_FALSE(lib.SaveSensorFile(name, p.prompts()));
    EXPECT_EQ(std::vector<std::string>{"Переписать существующий файл " + name + "?"}, p.questions);
    EXPECT_EQ("old", readFile(name));
    EXPECT_TRUE(lib.SensorsModified);

    p.answer = true;
    EXPECT_TRUE(lib.SaveSensorFile(name, p.prompts()));
    EXPECT_EQ("START\r\n" + DefaultSensorLines, readFile(name));
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.path()), {})) << "no temporary left";

    // A new file is written without a question.
    p.questions.clear();
    EXPECT_TRUE(lib.SaveSensorFile(dir.file("new.sns"), p.prompts()));
    EXPECT_TRUE(p.questions.empty());

    // A file that cannot be written is reported, and the changes stay to be saved.
    const std::string bad = dir.file("missing-folder/lib.sns");
    lib.SensorsModified = true;
    EXPECT_FALSE(lib.SaveSensorFile(bad, p.prompts()));
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].rfind("Невозможно записать файл " + bad + ": ", 0), 0u) << p.messages[0];
    EXPECT_TRUE(lib.SensorsModified);

    writeFile(name, "START\r\n");
    ::chmod(name.c_str(), 0444);
    for (bool agree : {false, true}) {
        Prompts window;
        std::vector<std::string> asked;
        UserPrompts up = window.prompts();
        up.confirmReadOnly = [&](const std::string& q) { return asked.push_back(q), agree; };
        EXPECT_EQ(lib.SaveSensorFile(name, up), agree);
        EXPECT_TRUE(window.questions.empty() && window.messages.empty());
        EXPECT_EQ(asked, std::vector<std::string>{"Файл " + name + " только для чтения. Переписать его?"});
        EXPECT_EQ(readFile(name) == "START\r\n", !agree);
    }
    EXPECT_FALSE(lib.SensorsModified);
}

TEST(SensorFile, HeaderLinesAreCarriedOver)
{
    TempDir dir;
    const std::string current = dir.file("current.sns");
    const std::string header = "; Стенд №2\r\n; ёлка\r\n";
    writeFile(current, utf8ToCp1251(header) + "Start\r\n5\t8700\t0\tFive\r\n5\t8400\t90\t\r\n");
    SensorLibrary lib;
    int fills = 0;
    lib.onFillSensorCombo = [&] { ++fills; };
    ASSERT_TRUE(lib.LoadSensorFile(current, true));
    EXPECT_EQ(2, fills) << "once by the reset, once at the end";
    const std::string body = "START\r\n" + DefaultSensorLines + "5\t8700\t0\tFive\r\n5\t8400\t90\t\r\n\r\n";

    // To another file: the current file's lines before START come first, byte for byte; the library stays
    // tied to the file it came from.
    const std::string other = dir.file("other.sns");
    ASSERT_TRUE(lib.SaveSensorFile(other));
    EXPECT_EQ(utf8ToCp1251(header) + body, readFile(other));
    EXPECT_EQ(current, lib.SensorFileName);

    // Onto the current file itself, twice: the header survives the replacement.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(lib.SaveSensorFile(current));
        EXPECT_EQ(utf8ToCp1251(header) + body, readFile(current));
    }

    // A library whose current file is gone writes no header.
    std::filesystem::remove(current);
    ASSERT_TRUE(lib.SaveSensorFile(other));
    EXPECT_EQ(body, readFile(other));
}

SensorLibrary richLibrary()
{
    SensorLibrary lib;
    lib.sensors[0].calibration.points = {{8470, 75, {}}, {8690, 0.5, {}}};
    int i = lib.AddSensor(1, "Тяга №1 Ёж");
    lib.sensors[static_cast<std::size_t>(i)].calibration.points = {
        {8700, 0, formula(TFormulaType::linear, {0.1f, -0.25f}, 0x000000FF)},
        {8600.125, 25.5, formula(TFormulaType::previos, {}, TSegmentFormula::NoColour)},
        {8500, 51, formula(TFormulaType::polynom, {1, -2.5f, 3e-3f, 4e-5f, -5e-7f, 6e-9f}, 0x00ABCDEF)},
        {8400, 77, formula(TFormulaType::powered, {1, 2, 0.5f}, TSegmentFormula::NoColour)},
        {8300, 103, formula(TFormulaType::exponential, {1, 2, -1e-3f}, 0x00010203)},
        {8200, 130, formula(TFormulaType::logariphmic, {1, 2, 3.25f}, TSegmentFormula::NoColour)},
        {8100, 160, formula(TFormulaType::none, {}, 0x00FF00FF)},
        {8000, 190, formula(TFormulaType::previos, {}, 0x00000001)},
    };
    i = lib.AddSensor(2, "");
    lib.sensors[static_cast<std::size_t>(i)].calibration.points = {
        {-12.5, -1e-7, formula(TFormulaType::none, {}, 0x1234)}, {1e9, 1e20, {}}};
    i = lib.AddSensor(3, "Empty");
    return lib;
}

TEST(SensorFile, SavedLibraryLoadsBackTheSame)
{
    TempDir dir;
    SensorLibrary original = richLibrary();
    const std::string first = dir.file("first.sns");
    ASSERT_TRUE(original.SaveSensorFile(first));
    const std::string text = SensorFileText(original, {"; header"});
    EXPECT_EQ("; header\r\n" + readFile(first), text) << "the save writes exactly this text";

    SensorLibrary loaded;
    Prompts p;
    ASSERT_TRUE(loaded.LoadSensorFile(first, true, p.prompts()));
    EXPECT_TRUE(p.messages.empty());
    // Read from memory, the text gives what the file gives; the file name is the file reader's.
    SensorLibrary fromText;
    fromText.SensorsModified = true;
    LoadSensorText(fromText, text, true, {});
    expectSameLibrary(loaded, fromText);
    EXPECT_EQ(loaded.ActiveCalibTable, fromText.ActiveCalibTable);
    EXPECT_EQ("Selvarondine.sns", fromText.SensorFileName);
    // The default sensor's saved points replace its default ones; a sensor saved without points comes
    // back with one reset point; everything else is identical, formulas and colours included.
    original.sensors[3].calibration.points = {TCalibPoint{}};
    expectSameLibrary(original, loaded);
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8470, 75}, {8690, 0.5}}), loaded.ActiveCalibTable)
        << "the active default sensor's table follows the loaded points";

    const std::string second = dir.file("second.sns");
    ASSERT_TRUE(loaded.SaveSensorFile(second));
    SensorLibrary again;
    ASSERT_TRUE(again.LoadSensorFile(second, true));
    expectSameLibrary(loaded, again);
    EXPECT_EQ(readFile(first), readFile(second));

    EXPECT_NE(std::string::npos, text.find("1\t8700\t0\t" + utf8ToCp1251("Тяга №1 Ёж") +
                                           "\r\n"
                                           "1\t8700\t0\t2\t000000FF\t0.100000001490116\t-0.25\r\n"));
    EXPECT_NE(std::string::npos, text.find("1\t8000\t190\t1\t00000001\r\n"));
    EXPECT_NE(std::string::npos, text.find("2\t-12.5\t-1E-7\tSensor 2\r\n2\t-12.5\t-1E-7\t0\t00001234\r\n"));
    EXPECT_NE(std::string::npos, text.find("3\t0\t0\tEmpty\r\n\r\n"));
}

TEST(SensorFile, FormulaFieldsRoundTripAndMalformedText)
{
    const struct {
        TSegmentFormula formula;
        const char* text;
    } written[] = {
        {TSegmentFormula{}, ""},
        {formula(TFormulaType::none, {}, 0xFF), "0\t000000FF"},
        {formula(TFormulaType::previos, {}, TSegmentFormula::NoColour), "1\t1FFFFFFF"},
        {formula(TFormulaType::linear, {80, -0.25f}, 0xFF), "2\t000000FF\t80\t-0.25"},
        {formula(TFormulaType::polynom, {1, 2, 3, 4, 5, 0.1f}, 0xABCDEF),
         "3\t00ABCDEF\t1\t2\t3\t4\t5\t0.100000001490116"},
        {formula(TFormulaType::powered, {1, 2, 1.5f}, TSegmentFormula::NoColour), "4\t1FFFFFFF\t1\t2\t1.5"},
        {formula(TFormulaType::exponential, {1, 2, 1e-30f}, 0), "5\t00000000\t1\t2\t1.00000000317108E-30"},
        {formula(TFormulaType::logariphmic, {0, 0, 0}, 0xFFFFFFFF), "6\tFFFFFFFF\t0\t0\t0"},
        {formula(static_cast<TFormulaType>(9), {1, 2}, 0x10), "0\t00000010"},
    };
    for (const auto& w : written) {
        EXPECT_EQ(w.text, FormulaFields(w.formula));
        if (*w.text == 0)
            continue;
        TSegmentFormula back;
        ASSERT_TRUE(ParseFormulaFields(w.text, back)) << w.text;
        TSegmentFormula expected = w.formula;
        expected.type = NormalizedFormulaType(expected.type);
        if (expected.type == TFormulaType::none)
            expected.c = {};
        EXPECT_EQ(expected, back) << w.text;
    }

    TSegmentFormula lower;
    ASSERT_TRUE(ParseFormulaFields("2\t00abcdef\t1,5\t-2", lower));
    EXPECT_EQ(formula(TFormulaType::linear, {1.5f, -2}, 0xABCDEF), lower);

    const char* malformed[] = {
        "",
        "Stand B",
        "2",
        "7\t000000FF",
        "-1\t000000FF",
        "2\t0000FF\t1\t2",
        "2\t0000FFFG\t1\t2",
        "2\t000000FF\t1",
        "2\t000000FF\t1\t2\t3",
        "2\t000000FF\t1\t\t2",
        "2\t000000FF\tnan\t2",
        "2\t000000FF\t1e39\t2",
        "2\t000000FF\tinf\t2",
        "2 000000FF 1 2",
        "2\t000000FF\t1;5\t2",
    };
    for (const char* text : malformed) {
        TSegmentFormula f = formula(TFormulaType::polynom, {9}, 0x77);
        EXPECT_FALSE(ParseFormulaFields(text, f)) << text;
        EXPECT_EQ(formula(TFormulaType::polynom, {9}, 0x77), f) << "left alone: " << text;
    }

    // In a file a malformed formula leaves the point without formula; the point still loads.
    SensorLibrary lib;
    Prompts p;
    LoadSensorText(
        lib, "START\r\n1\t8700\t0\tOne\r\n1\t8600\t10\t2\t000000FF\t1\r\n1\t8500\t20\tnot a formula\r\n",
        true, p.prompts());
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ((std::vector<TCalibPoint>{{8700, 0, {}}, {8600, 10, {}}, {8500, 20, {}}}),
              lib.sensors[1].calibration.points);
}

TEST(SensorFile, DamagedFilesLoadCleanly)
{
    TempDir dir;
    const std::string name = dir.file("lib.sns");
    std::mt19937 random(12345);
    std::vector<std::string> files;
    // Random bytes, random bytes after START, and random lines of digits, blanks and signs.
    for (int k = 0; k < 20; ++k) {
        std::string bytes(static_cast<std::size_t>(random() % 4000), '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        files.push_back(bytes);
        files.push_back("START\r\n" + bytes);
        std::string digits = "START\n";
        const char alphabet[] = "0123456789.-+eE\t \r\n,xX\x01\x7f";
        for (int i = 0; i < 3000; ++i)
            digits += alphabet[random() % (sizeof alphabet - 1)];
        files.push_back(digits);
    }
    // A good library cut at every length, lines with extreme numbers and a very long line.
    const std::string good =
        "START\r\n" + DefaultSensorLines + "1\t8700\t0\tA\r\n1\t8600\t10\t2\t000000FF\t1\t2\r\n";
    for (std::size_t n = 0; n <= good.size(); ++n)
        files.push_back(good.substr(0, n));
    files.push_back("START\r\n1\t1e308\t-1e308\tHuge\r\n1\t-1e308\t1e308\r\n1\t1e-320\t5\r\n2\t0\t0\t" +
                    std::string(1 << 20, 'N') + "\r\n3\t" + std::string(100000, '9') + "\t1\r\n");
    files.push_back(std::string("START\r\n1\t8700\t0\tA\0B\x01\r\n", 22) +
                    "2147483647\t1\t2\r\n2147483648\t1\t2\r\n");

    for (std::size_t k = 0; k < files.size(); ++k) {
        writeFile(name, files[k]);
        SensorLibrary lib;
        Prompts p;
        ASSERT_TRUE(lib.LoadSensorFile(name, true, p.prompts())) << k;
        ASSERT_GE(lib.SensorCount(), 1) << k;
        EXPECT_EQ(0, lib.sensors[0].number) << k;
        EXPECT_EQ(0, lib.ActiveSensorIndex) << k;
        for (const TSensor& s : lib.sensors) {
            EXPECT_LE(utf8Length(s.name), 30u) << k;
            TCalibration cal = s.calibration;
            SensorThrust(cal, 8500);
        }
        ASSERT_LE(p.messages.size(), 1u) << k;
        for (const std::string& m : p.messages)
            EXPECT_EQ(0u, m.rfind("Ошибк", 0)) << k;
        // Whatever was loaded saves and loads again with the same sensors.
        const std::string copy = dir.file("copy.sns");
        std::filesystem::remove(copy);
        ASSERT_TRUE(lib.SaveSensorFile(copy)) << k;
        SensorLibrary again;
        Prompts q;
        ASSERT_TRUE(again.LoadSensorFile(copy, true, q.prompts())) << k;
        EXPECT_TRUE(q.messages.empty()) << k;
        ASSERT_EQ(lib.SensorCount(), again.SensorCount()) << k;
        for (std::size_t i = 0; i < lib.sensors.size(); ++i)
            EXPECT_EQ(lib.sensors[i].number, again.sensors[i].number) << k;
    }
}

TEST(SensorFile, UnreadableFilesKeepTheLibraryAndSayWhy)
{
    TempDir dir;
    const std::string missing = dir.file("none.sns"), big = dir.file("big.sns"), folder = dir.path().string();
    writeFile(big, "START\r\n" + std::string(MaxSensorFileSize, '\n'));
    const std::string cannot = "Невозможно прочитать файл ";
    const struct {
        std::string name;
        std::string message;
    } cases[] = {
        {missing, cannot + missing},
        {big,
         cannot + big +
             ": его размер 8388615 байт, а библиотека датчиков не может быть больше 8 МБ (8388608 байт)"},
        {folder, cannot + folder + ": это не обычный файл"},
    };
    for (const auto& [name, message] : cases) {
        SensorLibrary lib;
        lib.AddSensor(3, "kept");
        Prompts p;
        EXPECT_FALSE(lib.LoadSensorFile(name, true, p.prompts())) << name;
        EXPECT_EQ(std::vector<std::string>{message}, p.messages);
        EXPECT_EQ(2, lib.SensorCount());
        EXPECT_EQ("Selvarondine.sns", lib.SensorFileName);
        if (name == missing)
            continue;
        EXPECT_FALSE(lib.LoadSensorFile(name, false, p.prompts())) << name;
        EXPECT_EQ(1u, p.messages.size());
        EXPECT_EQ("Selvarondine.sns", lib.SensorFileName);
    }

    // At start (no reports) a missing library only takes the name; a bare name gets the current folder.
    SensorLibrary lib;
    lib.AddSensor(4, "kept");
    lib.SensorsModified = true;
    Prompts p;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_TRUE(lib.LoadSensorFile(".sns", false, p.prompts()));
    std::filesystem::current_path(previous);
    EXPECT_EQ((dir.path() / ".sns").string(), lib.SensorFileName);
    EXPECT_EQ(2, lib.SensorCount());
    EXPECT_FALSE(lib.SensorsModified);
    EXPECT_TRUE(p.messages.empty());
}

TEST(SensorFile, ThousandsOfBadLinesGiveOneMessage)
{
    std::string text = "START\r\n";
    for (int i = 0; i < 57344; ++i)
        text += "bad line\r\n";
    text += "4\t8700\t0\tFour\r\n";
    SensorLibrary lib;
    Prompts p;
    LoadSensorText(lib, text, true, p.prompts());
    EXPECT_EQ(std::vector<std::string>{"Ошибки в строках 1, 2, 3, 4, 5 и ещё в 57339 строках"}, p.messages);
    EXPECT_EQ(2, lib.SensorCount()) << "reading goes on after the bad lines";

    // The counted rest agrees in number: 1 and 21 take the singular, 11 and 12 the plural.
    const std::vector<long long> five = {1, 2, 3, 4, 5};
    EXPECT_EQ("Ошибки в строках 1, 2, 3, 4, 5 и ещё в 21 строке", LineErrorMessage(five, 26));
    EXPECT_EQ("Ошибки в строках 1, 2, 3, 4, 5 и ещё в 11 строках", LineErrorMessage(five, 16));
    EXPECT_EQ("Ошибки в строках 1, 2", LineErrorMessage({1, 2}, 2));
    EXPECT_EQ("Ошибка в строке 7", LineErrorMessage({7}, 1));
    EXPECT_EQ("", LineErrorMessage({}, 0));
}

TEST(SensorFile, ManyPointsLoadQuickly)
{
    // One sensor with a hundred thousand distinct points and as many sensors of one point each: the load
    // must stay linear.
    std::string text = "START\r\n";
    for (int i = 0; i < 100000; ++i)
        text += "1\t" + std::to_string(i) + ".5\t1\r\n" + std::to_string(i + 2) + "\t1\t2\r\n";
    SensorLibrary lib;
    LoadSensorText(lib, text, true, {});
    EXPECT_EQ(100002, lib.SensorCount());
    EXPECT_EQ(100000u, lib.sensors[1].calibration.points.size());
}

} // namespace
} // namespace selva
