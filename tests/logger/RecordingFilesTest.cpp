// Temporary recordings, leftovers, the conversion into a frequency record and the choice of its name.
#include "logger/RecordingFiles.h"
#include "logger/LoggerRecorder.h"

#include "analysis/FreqRecord.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace selva {
namespace {

namespace fs = std::filesystem;

// A closed temporary recording holding `values`.
std::string tempWith(const test::TempDir& dir, const std::vector<float>& values, int number = 7)
{
    TempRecording t;
    EXPECT_TRUE(t.create(dir.path().string(), number));
    t.append(values.data(), values.size());
    EXPECT_TRUE(t.close());
    return t.fileName();
}

// A long recording is converted whole; a torn last reading (a write cut short) is left out.
TEST(RecordingFiles, ARecordLongerThan400001ReadingsIsConvertedWhole)
{
    test::TempDir dir;
    std::vector<float> values(400'010);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = 8000.0f + static_cast<float>(i % 1000) / 8;
    const std::string temp = tempWith(dir, values);
    test::writeFile(temp, test::readFile(temp) + "\x01\x02");
    const std::string out = dir.file("long.frq");
    const ConversionResult r = convertRecording(temp, out, 0.002);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.readings, values.size());

    TFreq freq;
    ASSERT_TRUE(freq.LoadFromFile(out));
    EXPECT_EQ(freq.RecordCount, 400'010);
    EXPECT_FLOAT_EQ(freq.SampleStep, 0.002f);
    float v = freq.First();
    std::size_t i = 0;
    for (; !freq.AtEnd(); v = freq.Next(), ++i)
        ASSERT_FLOAT_EQ(v, values[i]) << i;
    EXPECT_FLOAT_EQ(v, values.back());
}

TEST(RecordingFiles, LeftoversAreTheRecordingsNobodyIsWriting)
{
    test::TempDir dir;
    const std::string left = tempWith(dir, {1, 2, 3}, 12);
    TempRecording running;
    ASSERT_TRUE(running.create(dir.path().string(), 12)); // 12 is taken: the next free number
    EXPECT_EQ(fs::path(running.fileName()).filename(), "data_tmp_13.bin");
    const std::vector<LeftoverRecording> found = findLeftoverRecordings(dir.path().string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fileName, left);
    EXPECT_EQ(found[0].readings, 3u);
}

TEST(RecordingFiles, TheRecordingIsNeverDroppedNorWrittenOverAFileTheUserKept)
{
    const struct {
        const char* label;
        bool givenName;                    // the output name field holds a name (else it is empty)
        bool exists;                       // a file of that name exists
        std::optional<bool> overwrite;     // the answer to the question, when asked
        std::optional<const char*> dialog; // what the save dialog returns, when shown (nullptr: cancelled)
        const char* expected;
        bool told;
    } cases[] = {
        {"new name", true, false, {}, {}, "out.frq", false},
        {"replace", true, true, true, {}, "out.frq", false},
        {"other name", true, true, false, "other.frq", "other.frq", false},
        {"refused and cancelled", true, true, false, nullptr, "out_1.frq", true},
        {"no name, dialog", false, false, {}, "picked.frq", "picked.frq", false},
        {"no name, cancelled", false, false, {}, nullptr, "data.frq", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempDir dir;
        const std::string intended = dir.file("out.frq");
        if (c.exists)
            test::writeFile(intended, "kept");
        SaveNamePrompts prompts;
        int asked = 0, shown = 0;
        std::string told;
        prompts.confirm = [&](const std::string& q) {
            ++asked;
            EXPECT_EQ(q, "Файл " + intended + " уже сущесвтует. Перезаписать его ?");
            return c.overwrite.value_or(true);
        };
        prompts.chooseName = [&](const std::string&) -> std::optional<std::string> {
            ++shown;
            if (!c.dialog || *c.dialog == nullptr)
                return std::nullopt;
            return dir.file(*c.dialog);
        };
        prompts.tell = [&](const std::string& text) { told = text; };

        const std::string temp = tempWith(dir, {8000, 8001});
        FinishedRecording rec{temp, 2, 0.01, false, {}};
        const SavedRecording saved =
            saveRecording(rec, c.givenName ? intended : std::string(), dir.path().string(), prompts);
        ASSERT_TRUE(saved.ok) << saved.error;
        EXPECT_EQ(saved.fileName, dir.file(c.expected));
        EXPECT_EQ(asked, c.overwrite ? 1 : 0);
        EXPECT_EQ(shown, c.dialog ? 1 : 0);
        EXPECT_EQ(!told.empty(), c.told) << told;
        if (c.told) {
            EXPECT_NE(told.find(saved.fileName), std::string::npos);
        }
        if (c.exists && saved.fileName != intended) {
            EXPECT_EQ(test::readFile(intended), "kept");
        }
        EXPECT_EQ(test::readFile(saved.fileName).substr(0, 6), "FREQ\r\n");
        EXPECT_FALSE(fs::exists(temp));
    }
}

TEST(RecordingFiles, ARecordThatCannotBeWrittenLeavesTheTemporaryFile)
{
    test::TempDir dir;
    const std::string temp = tempWith(dir, {8000});
    FinishedRecording rec{temp, 1, 0.01, false, {}};
    const SavedRecording saved =
        saveRecording(rec, dir.file("no/such/folder/x.frq"), dir.path().string(), {});
    EXPECT_FALSE(saved.ok);
    EXPECT_TRUE(fs::exists(temp));
    EXPECT_NE(saved.error.find(temp), std::string::npos) << saved.error;

    // An empty recording writes nothing and leaves nothing behind.
    const std::string empty = tempWith(dir, {}, 50);
    const SavedRecording none = saveRecording({empty, 0, 0.01, false, {}}, dir.file("e.frq"), "", {});
    EXPECT_FALSE(none.ok);
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_FALSE(fs::exists(dir.file("e.frq")));
}

} // namespace
} // namespace selva
