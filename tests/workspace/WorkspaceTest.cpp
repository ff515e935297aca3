// The workspace: opening sources by kind, what a refused file leaves, files that are not regular, and
// where the window program keeps its files.
#include "workspace/Workspace.h"

#include "sound/WaveSynth.h"
#include "support/TestSupport.h"
#include "support/TestWorkspace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace selva;
using selva::test::TempDir;
using selva::test::writeFile;

namespace {

const char* kRecord = "FREQ\r\nx\r\n4\r\n0.004\r\n---------------\r\nSTART\r\n1\r\n2\r\n3\r\n4\r\n";

struct Rig : test::TestWorkspace {
    Rig() { store.notes = {"первая", "вторая"}; }
    // Inputs a previous analysis left behind.
    void dirty()
    {
        state.StartTime = 1;
        state.EndTime = 2;
        state.RestFreq = 8700;
        state.RestThrust = 3;
        state.MotorPosition = MotorNozzleUp;
        state.IncludeChargeWeight = true;
        state.NetThrust = true;
        state.UseLeftChannel = true;
        state.LeftChannelEnabled = true;
    }
};

std::string writeWave(const TempDir& dir, const char* name, std::uint16_t channels, double seconds = 0.5,
                      double hz = 1000)
{
    WaveSynthOptions options;
    options.channels = channels;
    options.durationSeconds = seconds;
    const std::string file = dir.file(name);
    WriteSynthWave(file, options, [hz, seconds](double t) { return t < seconds / 2 ? hz : hz * 1.5; });
    return file;
}

} // namespace

TEST(Workspace, OpensAFrequencyRecordWithAndWithoutReset)
{
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset);
        TempDir dir;
        writeFile(dir.file("run.FRQ"), kRecord);
        Rig r;
        r.dirty();
        const SourceOpening o = r.OpenSource(dir.file("run.FRQ"), reset);
        ASSERT_TRUE(o.accepted);
        EXPECT_EQ(o.kind, SourceFreq);
        EXPECT_EQ(o.description, "FREQ  Mono 250 Hz 4 records 0.02 Sec");
        EXPECT_TRUE(r.store.notes.empty());
        EXPECT_FALSE(r.state.LeftChannelEnabled || r.state.UseLeftChannel || r.state.NoiseControlsVisible);
        // The record's own limit, opened with a reset or (as a project opens it) without.
        EXPECT_EQ(r.state.MinStep, 0.004);
        EXPECT_EQ(r.state.StartTime, reset ? 0 : 1);
        EXPECT_EQ(r.state.MotorPosition, reset ? MotorHorizontal : MotorNozzleUp);
        EXPECT_TRUE(r.state.NetThrust); // only a recording clears it
        // The step as the record writes it, not the single it is stored in.
        EXPECT_EQ(r.state.AnalysisStep, reset ? 0.004 : 0.01);
        EXPECT_NEAR(r.state.RecordDuration, 0.016, 1e-8);
        EXPECT_FLOAT_EQ(r.state.ViewTo, 0.016f);
    }
}

TEST(Workspace, OpensRecordingsAndMeasuresEitherChannel)
{
    for (std::uint16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        TempDir dir;
        const std::string file = writeWave(dir, "rec.wav", channels, 1.0);
        Rig r;
        r.dirty();
        r.state.AnalysisStep = 0;
        const SourceOpening o = r.OpenSource(file, true);
        ASSERT_TRUE(o.accepted);
        EXPECT_EQ(o.kind, SourceWave);
        EXPECT_EQ(o.description, "WAV  " + r.wave.GetDescription());
        EXPECT_EQ(r.state.LeftChannelEnabled, channels == 2);
        EXPECT_EQ(r.state.UseLeftChannel, channels == 2); // a stereo file keeps the left choice
        EXPECT_TRUE(r.state.NoiseControlsVisible);
        EXPECT_FALSE(r.state.NetThrust || r.state.IncludeChargeWeight);
        EXPECT_EQ(r.state.AnalysisStep, 0.01);
        EXPECT_NEAR(r.state.RecordDuration, 1.0, 1e-9);
        ASSERT_TRUE(r.analysis.Recalculate(Stages::All));
        ASSERT_EQ(r.state.PointCount, 100u);
        EXPECT_NEAR(r.state.FreqData[20], 1000, 1);
        EXPECT_NEAR(r.state.FreqData[80], 1500, 1);
        EXPECT_EQ(r.progress.ProgressStage.load(), 0);
    }
}

// A refused file says why and leaves the previous source (and the notes) in place; only a recording that
// fails takes the previous recording with it, since it was opened in the same buffer.
TEST(Workspace, RefusedFilesLeaveThePreviousSource)
{
    TempDir dir;
    writeFile(dir.file("good.frq"), kRecord);
    writeFile(dir.file("thrust.frq"), "Thrust\r\nx\r\n1\r\n0.01\r\nSTART\r\n1\r\n");
    writeFile(dir.file("bad.frq"), "FREQ\r\nx\r\n1\r\n0,01\r\nSTART\r\n1\r\n");
    writeFile(dir.file("noise.wav"), "RIFF junk");
    const std::string wav = writeWave(dir, "good.wav", 1);
    struct Case {
        std::string previous, name, error;
        std::uint8_t kindAfter;
    };
    const std::vector<Case> cases = {
        {dir.file("good.frq"), dir.file("missing.frq"), "Ошибка открытия файла " + dir.file("missing.frq"),
         SourceFreq},
        {dir.file("good.frq"), dir.file("thrust.frq"), "Ошибка открытия файла " + dir.file("thrust.frq"),
         SourceFreq},
        {dir.file("good.frq"), dir.file("bad.frq"), "Ошибка в строке 4 файла " + dir.file("bad.frq"), SourceFreq},
        {wav, dir.file("noise.wav"), dir.file("noise.wav") + " is not a wave file", SourceNone},
        {dir.file("good.frq"), dir.file("noise.wav"), dir.file("noise.wav") + " is not a wave file", SourceFreq},
        {wav, dir.file("missing.proj"), "Ошибка открытия файла " + dir.file("missing.proj"), SourceWave},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ASSERT_TRUE(r.OpenSource(c.previous, true).accepted);
        r.store.notes = {"заметка"};
        const SourceOpening o = r.OpenSource(c.name, true);
        EXPECT_FALSE(o.accepted);
        EXPECT_EQ(o.error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(r.state.SourceKind, c.kindAfter);
        EXPECT_EQ(r.store.notes, std::vector<std::string>{"заметка"});
    }
}

// Devices, pipes and folders are refused before they are read, at once: /dev/zero as a record read
// for ever, a pipe blocked in open; a pipe named as a project too.
TEST(Workspace, NonRegularSourcesAreRefusedAtOnce)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.frq").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.proj").c_str(), 0600), 0);
    for (const std::string& name : {dir.file("pipe.frq"), dir.file("pipe.wav"), dir.file("pipe.proj"),
                                    std::string("/dev/zero"), dir.path().string()}) {
        SCOPED_TRACE(name);
        Rig r;
        const auto began = std::chrono::steady_clock::now();
        const SourceOpening o = r.OpenSource(name, true);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(1));
        EXPECT_FALSE(o.accepted);
        EXPECT_EQ(o.error, "Ошибка открытия файла " + name + ": это не обычный файл");
    }
}

// A record whose count line disagrees with its readings opens with its readings, and says so once.
TEST(Workspace, RecordWithAWrongCountWarnsOnce)
{
    TempDir dir;
    writeFile(dir.file("run.frq"), "FREQ\r\nx\r\n9\r\n0.004\r\nSTART\r\n1\r\n2\r\n3\r\n4\r\n");
    Rig r;
    const SourceOpening o = r.OpenSource(dir.file("run.frq"), true);
    ASSERT_TRUE(o.accepted);
    EXPECT_EQ(o.description, "FREQ  Mono 250 Hz 4 records 0.02 Sec");
    EXPECT_EQ(r.messages, std::vector<std::string>{o.warning});
    r.analysis.Recalculate(Stages::All); // computing reads the record again without another word
    EXPECT_EQ(r.messages.size(), 1u);
}

TEST(Workspace, SettingsFileAndLibraryAtStart)
{
    TempDir dir;
    const std::string home = dir.file("home");
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    // A writable program folder keeps the settings beside the program; a read-only one sends them to
    // the user's configuration folder.
    EXPECT_EQ(Workspace::DefaultSettingsFile(dir.path().string()), dir.file("selvarondine.rsr"));
    if (::geteuid() != 0) { // root writes anywhere
        const std::string ro = dir.file("ro");
        std::filesystem::create_directory(ro);
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(Workspace::DefaultSettingsFile(ro), home + "/.config/Selvarondine/selvarondine.rsr");
        ::chmod(ro.c_str(), 0755);
    }
    EXPECT_EQ(Workspace::DefaultSettingsFile(""), home + "/.config/Selvarondine/selvarondine.rsr");
    // The library beside the source, else the program's own beside the settings.
    writeFile(dir.file("run.frq"), kRecord);
    EXPECT_EQ(Workspace::LibraryAtStart(dir.file("run.frq"), "/cfg/selvarondine.rsr"), "/cfg/Selvarondine.sns");
    writeFile(dir.file("run.sns"), "START\r\n");
    EXPECT_EQ(Workspace::LibraryAtStart(dir.file("run.frq"), "/cfg/selvarondine.rsr"), dir.file("run.sns"));
    EXPECT_EQ(Workspace::LibraryAtStart("", "/cfg/selvarondine.rsr"), "/cfg/Selvarondine.sns");
}
