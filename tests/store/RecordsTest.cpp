#include "store/Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace selva {
namespace {

// Expected bytes are spelled out by hand here; nothing below calls the encoder to produce an expectation.
struct FieldBytes {
    std::size_t offset;
    std::vector<unsigned char> bytes;
};

template <std::size_t N>
void expectBytes(const std::array<unsigned char, N>& data, const std::vector<FieldBytes>& fields)
{
    for (const FieldBytes& f : fields) {
        ASSERT_LE(f.offset + f.bytes.size(), N);
        for (std::size_t i = 0; i < f.bytes.size(); ++i)
            EXPECT_EQ(data[f.offset + i], f.bytes[i])
                << "byte " << f.offset + i << " of field at " << f.offset;
    }
}

template <std::size_t N>
void expectZero(const std::array<unsigned char, N>& data,
                const std::vector<std::pair<std::size_t, std::size_t>>& ranges)
{
    for (auto [from, to] : ranges)
        for (std::size_t i = from; i <= to; ++i)
            EXPECT_EQ(data[i], 0) << "unused byte " << i;
}

TEST(Records, DefaultSettingsRecordBytes)
{
    const SettingsBytes b = encodeSettingsRecord(TSettingsRecord{});
    expectBytes(b, {
                       {0, {0x38, 0x02, 0x00, 0x00}},  // 568
                       {4, {0xDF, 0xEA, 0xFC, 0x00}},  // window colour
                       {8, {0x01, 0x00, 0x00, 0x00}},  // font: charset
                       {12, {0x08, 0x00, 0x00, 0xFF}}, // font colour
                       {16, {0xF5, 0xFF, 0xFF, 0xFF}}, // height -11
                       {20, {0x00}},                   // empty face name
                       {52, {0x08, 0x00, 0x00, 0x00}}, // size 8
                       {60, {0x32, 0x00, 0x00, 0x00}}, // 50
                       {64, std::vector<unsigned char>(16, 0)},
                       {80, {0xFF, 0xFF, 0x00, 0x00}}, // data line yellow
                       {86, {0x01, 0x00}},             // data line width
                       {88, {0x00, 0x80, 0x00, 0x00}}, // dot colour green
                       {92, {0x05, 0x00, 0x03, 0x00, 0x03, 0x00}},
                       {124, {0x01, 0x00, 0x00, 0xFF}}, // chart background: system colour 1
                       {140, {0x01, 0x01, 0x00, 0x00}}, // grids
                       {144, {0x0A, 0xD7, 0x23, 0x3C}}, // 0.01f
                       {148, {0x07, 0x00, 0x00, 0x00}},
                       {152, {0x00}},
                       {408, {0x00, 0x00, 0x00, 0x00}},
                       {416,
                        {0x3A, 0x02, 0x00, 0x00, 0x2C, 0x01, 0x00, 0x00, 0x08, 0x02, 0x00, 0x00, 0x12, 0x02,
                         0x00, 0x00}},                                          // 570, 300, 520, 530
                       {432, {0x01, 0x00, 0x00, 0x00}},                         // logger: COM port
                       {436, {0x9A, 0x99, 0x99, 0x3E}},                         // 0.3f
                       {448, {0x2C, 0x01, 0x00, 0x00}},                         // 300
                       {460, {0xFF, 0xFF, 0xFF, 0xFF}},                         // -1
                       {468, {0x00, 0x00, 0x80, 0x3F}},                         // 1.0f
                       {474, {0x1C, 0x00, 0x00, 0x00, 0x00, 0xC2, 0x01, 0x00}}, // DCB length 28, 115200
                       {492, {0x08, 0x00, 0x00}},                               // 8 bits, no parity, 1 stop
                       {504, {0, 0, 0, 0, 0, 0, 0, 0, 0x1E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                       {524, {0x05, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}},
                       {544, {0x00}},
                   });
}

TEST(Records, DefaultProjectRecordBytes)
{
    const TProjectRecord fresh;
    const ProjectBytes b = encodeProjectRecord(fresh);
    const std::string sns = "Selvarondine.sns";
    std::vector<unsigned char> snsField{static_cast<unsigned char>(sns.size())};
    snsField.insert(snsField.end(), sns.begin(), sns.end());
    expectBytes(b, {
                       {0, {0x60, 0x04, 0x00, 0x00}},  // 1120
                       {4, {0xFF, 0xFF, 0x00, 0x00}},  // chart block first
                       {64, {0x1B, 0x00, 0x00, 0xFF}}, // window colour
                       {68, {0x01, 0x00, 0x00, 0x00}}, // font charset
                       {124, {0x01, 0x01, 0x00, 0x00}},
                       {204, {0x00}},
                       {460, snsField},
                       {724, {0x0A, 0xD7, 0x23, 0x3C}},
                       {728, {0x07, 0x00, 0x00, 0x00}},
                       {732, {0x01, 0x00, 0x00, 0x00}}, // invert
                       {864, {0x01}},
                       {880, {0x01, 0x01, 0x00, 0x00, 0x01}}, // rig, rigid, position, hysteresis, net
                       {904, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
                       {916, {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x3F}}, // 2.0f, 0.5f
                       {928, {0x00, 0x00, 0xA0, 0x40, 0x10, 0x27, 0x00, 0x00}}, // 5.0f, 10000
                       {940, {0x10, 0x27, 0x00, 0x00}},
                       {980, {0x01, 0x00, 0x00, 0x00}},  // logger block
                       {1072, {0x05, 0x00, 0x00, 0x00}}, // auto-record block
                   });
}

TEST(Records, SetFieldsLandAtTheirOffsets)
{
    TProjectRecord p;
    p.StartTime = 1.5;
    p.endByHand = true;
    p.RestFreq = 8580.5f; // 0x4606 1200
    p.calc.ChargeWeight = 0.25;
    p.calc.MotorPosition = 2;
    p.sound.channelLeft = true;
    p.authorName = "Ёж";
    p.sourceFileName = "a.frq";
    p.logger.portIndex = -1;
    const ProjectBytes b = encodeProjectRecord(p);
    expectBytes(b, {
                       {768, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
                       {792, {0x01}},
                       {804, {0x00, 0x12, 0x06, 0x46}},
                       {856, {0, 0, 0, 0, 0, 0, 0xD0, 0x3F}},
                       {882, {0x02}},
                       {912, {0x01, 0x00, 0x00, 0x00}},
                       {1092, {0x02, 0xA8, 0xE6, 0x00}}, // code page 1251
                       {204, {0x05, 'a', '.', 'f', 'r', 'q', 0x00}},
                       {1020, {0xFF}}, // 980 + 40
                   });

    TSettingsRecord s;
    s.mainPlacement = {1, -2, 3, 4};
    s.SensorFileName = "x.sns";
    s.ActiveSensorId = 258;
    s.channelLeft = true;
    s.chart.dataDotsVisible = true;
    const SettingsBytes sb = encodeSettingsRecord(s);
    expectBytes(sb, {
                        {64, {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 4, 0, 0, 0}},
                        {152, {0x05, 'x', '.', 's', 'n', 's', 0x00}},
                        {408, {0x02, 0x01, 0x00, 0x00}},
                        {412, {0x01}},
                        {93, {0x01}},
                    });
}

// Every field set to a value other than its default, so that a field written to or read from the wrong
// place, or not at all, shows up in the round trip.
TSettingsRecord changedSettings()
{
    TSettingsRecord s;
    s.formColor = 0x00112233;
    s.formFont = {204, 0x00445566, -13, "Times New Roman Cyr", 10, fsBold | fsUnderline, 77};
    s.mainPlacement = {10, 20, 800, 600};
    s.chart = {1, 2, 3, 4, 6, true, 7, 8, 9, 3, 10, 11, 4, 12, 13, 14, 15, 16, 17};
    s.grid = {false, false, true, true};
    s.AnalysisStep = 0.002f;
    s.FilterWindow = 11;
    s.SensorFileName = "/home/испытания/датчики.sns";
    s.ActiveSensorId = 5;
    s.channelLeft = true;
    s.dataPlacement = {1, 2, 3, 4};
    s.logger.dataSource = 0;
    s.logger.refresh = 0.7f;
    s.logger.accur = 0.02f;
    s.logger.window = 9;
    s.logger.valUp = 1000;
    s.logger.valDown = -50;
    s.logger.reserved24 = 24;
    s.logger.reserved28 = 28;
    s.logger.reserved32 = 32;
    s.logger.reserved36 = 3.6f;
    s.logger.portIndex = 3;
    s.logger.displayFlag = 1;
    s.logger.dcb = {30, 9600, 0x11, 1, 2, 3, 7, 2, 1, 17, 19, 0x3F, 26, 5, 6};
    s.logger.timeouts = {1, 2, 3, 4, 5};
    s.autoRecord = {7, 9, 3.5f, 1.5f, 4.0f};
    s.authorName = "Иванов И.И.";
    return s;
}

TProjectRecord changedProject()
{
    const TSettingsRecord s = changedSettings();
    TProjectRecord p;
    CopySettingsToProject(s, p);
    p.mainPlacement = {5, 6, 7, 8};
    p.sourceFileName = "/data/стенд/test 1.frq";
    p.invert = false;
    p.thrustAxisMax = 120.5;
    p.thrustAxisMin = -3.25;
    p.timeAxisMax = 9.5;
    p.timeAxisMin = 0.5;
    p.StartTime = 1.23;
    p.startByHand = true;
    p.EndTime = 4.56;
    p.endByHand = true;
    p.RestThrust = 0.5f;
    p.RestThrustAfter = 0.75f;
    p.RestFreq = 8600.25f;
    p.RestFreqAfter = 8601.5f;
    p.restByHand = true;
    p.zeroCompensation = true;
    p.ZeroOffset = -12.5f;
    p.showDelta = true;
    p.showNewtons = true;
    p.testDate = 45000.75;
    p.showDate = true;
    p.showResults = true;
    p.calc = {1.25, false, 3.5, false, false, 1, true, false};
    p.sound = {2, 4, true, 3.0f, 0.25f, 0.005f, 7.0f, 12000, 100, 15000, 50};
    return p;
}

TEST(Records, RoundTripsKeepEveryField)
{
    const TSettingsRecord s = changedSettings();
    EXPECT_EQ(decodeSettingsRecord(encodeSettingsRecord(s)), s);
    EXPECT_EQ(decodeSettingsRecord(encodeSettingsRecord(TSettingsRecord{})), TSettingsRecord{});
    const TProjectRecord p = changedProject();
    EXPECT_EQ(decodeProjectRecord(encodeProjectRecord(p)), p);
    const TProjectRecord fresh; // named: GCC 12 at -O3 sees a temporary's strings as uninitialised
    EXPECT_EQ(decodeProjectRecord(encodeProjectRecord(fresh)), fresh);
}

TEST(Records, UnusedBytesStayZero)
{
    // With every field changed, the gaps of the tables must still be zero: a field written too long or
    // at a shifted offset lands in one of them.
    const SettingsBytes s = encodeSettingsRecord(changedSettings());
    expectZero(s, {{51, 51},
                   {85, 85},
                   {98, 99},
                   {105, 105},
                   {108, 111},
                   {117, 117},
                   {413, 415},
                   {502, 503},
                   {565, 567}});
    const ProjectBytes p = encodeProjectRecord(changedProject());
    expectZero(p, {{9, 9},
                   {22, 23},
                   {29, 29},
                   {32, 35},
                   {41, 41},
                   {111, 111},
                   {144, 203},
                   {721, 723},
                   {777, 783},
                   {793, 795},
                   {814, 815},
                   {822, 823},
                   {834, 855},
                   {865, 871},
                   {885, 903},
                   {948, 979},
                   {1050, 1051},
                   {1113, 1119}});
}

TEST(Records, TextFieldsAreCutAndLengthBytesLimited)
{
    TSettingsRecord s;
    s.authorName = std::string(25, 'x');
    s.formFont.name = std::string(40, 'f');
    s.SensorFileName = std::string(300, 'n');
    SettingsBytes b = encodeSettingsRecord(s);
    EXPECT_EQ(b[544], 20);
    EXPECT_EQ(b[20], 30);
    EXPECT_EQ(b[152], 255);
    const TSettingsRecord back = decodeSettingsRecord(b);
    EXPECT_EQ(back.authorName, std::string(20, 'x'));
    EXPECT_EQ(back.formFont.name, std::string(30, 'f'));
    EXPECT_EQ(back.SensorFileName, std::string(255, 'n'));

    // A length byte beyond its field reads no further than the field.
    b[544] = 0xFF;
    b[20] = 200;
    const TSettingsRecord limited = decodeSettingsRecord(b);
    EXPECT_EQ(limited.authorName.size(), 20u);
    EXPECT_EQ(limited.formFont.name, std::string(30, 'f'));

    EXPECT_EQ(fitRecordText("Шрифт с очень длинным именем, больше тридцати", 30),
              "Шрифт с очень длинным именем, ");
}

TEST(Records, FlagsReadAnyNonzeroByteAndSoundChannelOnlyItsLowByte)
{
    const TProjectRecord fresh;
    ProjectBytes b = encodeProjectRecord(fresh);
    b[776] = 7; // start by hand
    b[732] = 0; // invert: all four bytes count
    b[733] = 1;
    b[912] = 0; // sound channel: only the low byte counts
    b[913] = 1;
    const TProjectRecord p = decodeProjectRecord(b);
    EXPECT_TRUE(p.startByHand);
    EXPECT_TRUE(p.invert);
    EXPECT_FALSE(p.sound.channelLeft);
}

TEST(Records, CopiesBetweenTheTwins)
{
    const TSettingsRecord s = changedSettings();
    TProjectRecord p;
    const TWindowPlacement projectPlacement{9, 9, 9, 9};
    p.mainPlacement = projectPlacement;
    CopySettingsToProject(s, p);
    EXPECT_EQ(p.authorName, s.authorName);
    EXPECT_EQ(p.mainPlacement, projectPlacement); // placements are not copied

    // Back into fresh settings: everything but the author's name and the placements, so every shared
    // field made the trip both ways.
    TSettingsRecord back;
    CopyProjectToSettings(p, back);
    TSettingsRecord expected = s;
    expected.authorName = "";
    expected.mainPlacement = TSettingsRecord{}.mainPlacement;
    expected.dataPlacement = TSettingsRecord{}.dataPlacement;
    EXPECT_EQ(back, expected);
}

} // namespace
} // namespace selva
