// Where a finished recording goes: the overwrite question, the save dialog, a move that fails, and the
// recordings an earlier run left behind. A recording is never lost on the way.
#include "sound/RecordingFiles.h"

#include "sound/Wave.h"
#include "sound/WaveSynth.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace selva {
namespace {

// The next scripted answer (the default once the script is used up).
template <class T> T next(std::vector<T>& answers)
{
    if (answers.empty())
        return T{};
    T a = answers.front();
    answers.erase(answers.begin());
    return a;
}

// Answers the prompts from a script and keeps what was said.
struct Script {
    std::vector<bool> overwrite{};    // answers to the overwrite question, in order
    std::vector<std::string> picks{}; // names chosen in the save dialog ("" cancels)
    std::vector<bool> confirms{};
    std::vector<std::string> asked{}, told{}, dialogs{};

    RecordingPrompts prompts()
    {
        RecordingPrompts p;
        p.askOverwrite = [this](const std::string& q) { return asked.push_back(q), next(overwrite); };
        p.chooseSaveName = [this](const std::string& folder, const std::string& name) {
            return dialogs.push_back(folder + "|" + name), next(picks);
        };
        p.confirm = [this](const std::string& q) { return asked.push_back(q), next(confirms); };
        p.tell = [this](const std::string& t) { told.push_back(t); };
        return p;
    }
};

TEST(RecordingFilesTest, SavingToATargetAsksBeforeReplacingAndNeverDeletesTheRecording)
{
    test::TempDir dir;
    const std::string temp = dir.file("wave_tmp_5.wav"), old = dir.file("firing.wav");

    // No, then a cancelled dialog: the old target and the recording both stay, the user hears where.
    test::writeFile(temp, "new firing");
    test::writeFile(old, "old firing");
    RecordingTarget target;
    target.set(old);
    Script s{.overwrite = {false}, .picks = {""}};
    SaveOutcome out = SaveRecording(temp, target, s.prompts());
    EXPECT_FALSE(out.saved);
    EXPECT_EQ(out.path, temp);
    EXPECT_EQ(test::readFile(temp), "new firing");
    EXPECT_EQ(test::readFile(old), "old firing");
    ASSERT_EQ(s.asked.size(), 1u);
    EXPECT_EQ(s.asked[0], "Файл firing.wav уже сущесвтует. Перезаписать его ?");
    EXPECT_EQ(s.dialogs, std::vector<std::string>{dir.path().string() + "|firing.wav"});
    ASSERT_EQ(s.told.size(), 1u);
    EXPECT_NE(s.told[0].find(temp), std::string::npos);

    // No, then another name that exists too: asked again for it; Yes replaces it by the move.
    const std::string other = dir.file("other.wav");
    test::writeFile(other, "other");
    Script s2{.overwrite = {false, true}, .picks = {other}};
    out = SaveRecording(temp, target, s2.prompts());
    EXPECT_TRUE(out.saved);
    EXPECT_EQ(out.path, other);
    EXPECT_EQ(target.shortName, "other.wav");
    EXPECT_EQ(test::readFile(other), "new firing");
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(test::readFile(old), "old firing");
    EXPECT_EQ(s2.asked.size(), 2u);

    // A target that does not exist yet: moved without a question.
    test::writeFile(temp, "third");
    target.set(dir.file("fresh.wav"));
    Script s3;
    EXPECT_TRUE(SaveRecording(temp, target, s3.prompts()).saved);
    EXPECT_TRUE(s3.asked.empty());
    EXPECT_EQ(test::readFile(dir.file("fresh.wav")), "third");
}

TEST(RecordingFilesTest, NoTargetOpensTheDialogAndAFailedMoveKeepsTheRecording)
{
    test::TempDir dir;
    const std::string temp = dir.file("wave_tmp_7.wav");
    test::writeFile(temp, "firing");
    RecordingTarget none;
    Script cancel{.picks = {""}};
    EXPECT_FALSE(SaveRecording(temp, none, cancel.prompts()).saved);
    EXPECT_TRUE(fs::exists(temp));
    EXPECT_EQ(cancel.told.size(), 1u);

    // A folder that does not exist: the move fails, is reported, and the recording stays.
    Script bad{.picks = {dir.file("no/such/folder/x.wav")}};
    const SaveOutcome out = SaveRecording(temp, none, bad.prompts());
    EXPECT_FALSE(out.saved);
    EXPECT_EQ(out.path, temp);
    EXPECT_EQ(test::readFile(temp), "firing");
    ASSERT_EQ(bad.told.size(), 1u);
    EXPECT_NE(bad.told[0].find("Не удалось переместить"), std::string::npos);
    EXPECT_NE(bad.told[0].find(temp), std::string::npos);
    EXPECT_TRUE(none.empty());
}

// A recording as a crash leaves it: written where it stands, as every recording in progress is, the
// header with sizes 0, frames appended, never closed.
std::string cutOffRecording(const test::TempDir& dir, const std::string& name, std::uint32_t frames)
{
    const std::string path = dir.file(name);
    TWave w(9, 1); // 44.1 kHz mono 16-bit
    w.CreateWave(path, {.newFileInPlace = true});
    std::vector<unsigned char> bytes(std::size_t(frames) * 2 + 1, 0x11); // and half a frame
    w.AppendData(bytes.data(), bytes.size());
    std::fflush(nullptr);
    // Simulate the crash: copy what is on disk now, before Close writes the sizes.
    const std::string copy = dir.file("copy-" + name);
    fs::copy_file(path, copy);
    w.Close();
    fs::remove(path);
    fs::rename(copy, path);
    return path;
}

TEST(RecordingFilesTest, LeftoverRecordingsAreFoundRepairedAndOffered)
{
    test::TempDir dir;
    const std::string cut = cutOffRecording(dir, "wave_tmp_12.wav", 44100);
    test::writeFile(dir.file("wave_tmp_x.wav"), "not ours");
    test::writeFile(dir.file("firing.wav"), "not a leftover");
    EXPECT_EQ(FindLeftoverRecordings(dir.path().string()), std::vector<std::string>{cut});

    EXPECT_THROW(TWave().Open(cut), std::exception); // sizes 0: "Chunk has no data"
    LeftoverWave info;
    std::string error;
    ASSERT_TRUE(RepairRecordingSizes(cut, info, error)) << error;
    EXPECT_TRUE(info.repaired);
    EXPECT_EQ(info.dataBytes, 88200u);
    EXPECT_DOUBLE_EQ(info.seconds, 1.0);
    TWave opened;
    ASSERT_TRUE(opened.Open(cut));
    EXPECT_EQ(opened.GetTotalFrames(), 44100u);
    opened.Close();
    ASSERT_TRUE(RepairRecordingSizes(cut, info, error));
    EXPECT_FALSE(info.repaired); // already right

    test::writeFile(dir.file("wave_tmp_13.wav"), "RIFF\x04\0\0\0WAVEjunk");
    EXPECT_FALSE(RepairRecordingSizes(dir.file("wave_tmp_13.wav"), info, error));
    fs::remove(dir.file("wave_tmp_13.wav"));

    // Offered at start: the first is kept under a chosen name, the second declined twice (it stays), an
    // empty one goes without a question.
    const std::string second = cutOffRecording(dir, "wave_tmp_40.wav", 4410);
    const std::string empty = cutOffRecording(dir, "wave_tmp_50.wav", 0);
    Script s{.picks = {dir.file("kept.wav")}, .confirms = {true, false, false}};
    OfferLeftoverRecordings(dir.path().string(), s.prompts());
    EXPECT_TRUE(fs::exists(dir.file("kept.wav")));
    EXPECT_FALSE(fs::exists(cut));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_FALSE(fs::exists(empty));
    ASSERT_EQ(s.asked.size(), 3u);
    EXPECT_NE(s.asked[0].find("wave_tmp_12.wav (1 с)"), std::string::npos) << s.asked[0];
    EXPECT_EQ(s.asked[2], "Удалить запись wave_tmp_40.wav?");

    Script del{.confirms = {false, true}};
    OfferLeftoverRecordings(dir.path().string(), del.prompts());
    EXPECT_FALSE(fs::exists(second));
}

} // namespace
} // namespace selva
