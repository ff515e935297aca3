// Every kind of save against every kind of file it may be aimed at: whether it writes, and what the folder
// holds afterwards. All inside the test's own folder; a pipe stands for the files that are not regular.
#include "workspace/Workspace.h"

#include "analysis/MotorFiles.h"
#include "analysis/ResultsExport.h"
#include "common/Error.h"
#include "logger/RecordingFiles.h"
#include "sound/WaveSynth.h"
#include "support/TestSupport.h"
#include "support/TestWorkspace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace selva {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kOld = "old contents";

// The program with a record open and computed through sensor 1 of a library file.
struct Program : test::TestWorkspace {
    TempDir dir;
    std::string source = dir.file("source.frq");
    std::string library = dir.file("library.sns");
    std::string recording = dir.file("data_tmp_7.bin");

    explicit Program(bool userAnswersReadOnly) : TestWorkspace(userAnswersReadOnly)
    {
        std::vector<double> firing(400, 8700.0); // 40 N from 1 s to 3 s
        std::fill(firing.begin() + 100, firing.begin() + 300, 8580.0);
        writeFile(source, test::frqText(0.01, firing));
        EXPECT_TRUE(test::writeStandLibrary(library));
        writeFile(recording, std::string(40, '\0')); // ten readings of 0 Hz
        EXPECT_TRUE(sensors.LoadSensorFile(library, true, prompts()));
        sensors.SetActiveSensor(1);
        EXPECT_TRUE(OpenSource(source, true).accepted);
        analysis.Recalculate(Stages::All);
    }
};

// A save: true when it wrote, else false with the reason it gave (empty when its API gives none).
using Save = std::function<bool(Program&, const std::string& file, std::string& why)>;

struct SaveKind {
    const char* name;
    SaveWhat what;
    const char* signature; // how the written file begins
    Save save;
    bool asksReadOnly = true; // the settings are saved at close without a question
};

bool caught(const std::function<void()>& f, std::string& why)
{
    try {
        f();
        return true;
    } catch (const Error& e) {
        why = e.what();
        return false;
    }
}

std::vector<SaveKind> saveKinds()
{
    using P = Program&;
    using S = const std::string&;
    const auto exportRules = [](P p) { return p.SaveOptionsFor(SaveWhat::Export); };
    return {
        {"project", SaveWhat::Project, "SELVARONDINE PROJECT",
         [](P p, S f, std::string& why) { return caught([&] { p.session.SaveProject(f, {}); }, why); }},
        {"settings", SaveWhat::Settings, "SELVARONDINE RESOURCES",
         [](P p, S f, std::string&) { return p.session.SaveSettings(f, {}); }, false},
        {"library", SaveWhat::Library, "START",
         [](P p, S f, std::string& why) {
             const bool ok = p.sensors.SaveSensorFile(f, p.prompts());
             why = p.messages.empty() ? "" : p.messages.back();
             return ok;
         }},
        {"results export", SaveWhat::Export, "FREQ",
         [=](P p, S f, std::string& why) {
             return WriteResultsExport(f, p.state, ExportKind::Frequency, "source.frq", &why, exportRules(p));
         }},
        {"motor file", SaveWhat::Export, ";",
         [=](P p, S f, std::string& why) {
             MotorData m;
             m.diameterMm = 24;
             m.lengthMm = 70;
             m.propellantKg = 0.05;
             m.totalKg = 0.1;
             return WriteEngFile(f, p.state, true, m, {}, {"source.frq", 0}, &why, exportRules(p));
         }},
        {"logger recording", SaveWhat::Recording, "FREQ",
         [](P p, S f, std::string& why) {
             const ConversionResult r =
                 convertRecording(p.recording, f, 0.01, p.SaveOptionsFor(SaveWhat::Recording));
             why = r.error;
             return r.ok;
         }},
        {"sound recording", SaveWhat::Recording, "RIFF",
         [](P p, S f, std::string& why) {
             WaveSynthOptions o;
             o.durationSeconds = 0.01;
             return caught(
                 [&] {
                     WriteSynthWave(
                         f, o, [](double) { return 1000.0; }, p.SaveOptionsFor(SaveWhat::Recording));
                 },
                 why);
         }},
    };
}

enum class Target { Absent, Regular, ReadOnly, ReadOnlyAsked, Link, Folder, Pipe, SourceInUse, LibraryInUse };

struct Case {
    Target target;
    const char* name;
    const char* says; // a word of the refusal; nullptr: the save writes
};

const Case kCases[] = {
    {Target::Absent, "absent", nullptr},
    {Target::Regular, "regular", nullptr},
    {Target::ReadOnly, "read-only", "только для чтения"},
    {Target::ReadOnlyAsked, "read-only, the user agrees", nullptr},
    {Target::Link, "symbolic link", nullptr},
    {Target::Folder, "folder", "папка"},
    {Target::Pipe, "pipe", "канал"},
    {Target::SourceInUse, "the source in use", "источник данных"},
    {Target::LibraryInUse, "the library in use", "библиотека датчиков"},
};

mode_t modeOf(const std::string& name)
{
    struct stat st {};
    EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
    return st.st_mode;
}

TEST(SaveTarget, EverySaveFollowsTheSameRules)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const SaveKind& kind : saveKinds()) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(kind.name) + " onto " + c.name);
            Program p(c.target == Target::ReadOnlyAsked);
            const std::string before = readFile(p.source);
            const std::string libraryBefore = readFile(p.library);
            std::string target = p.dir.file("target.out");
            const std::string real = p.dir.file("real.out"); // where the link points
            switch (c.target) {
            case Target::Absent:
                break;
            case Target::Regular:
                writeFile(target, kOld);
                ::chmod(target.c_str(), 0640);
                break;
            case Target::ReadOnly:
            case Target::ReadOnlyAsked:
                writeFile(target, kOld);
                ::chmod(target.c_str(), 0444);
                break;
            case Target::Link:
                writeFile(real, kOld);
                ::chmod(real.c_str(), 0640);
                fs::create_symlink("real.out", target); // relative, as people make them
                break;
            case Target::Folder:
                fs::create_directory(target);
                break;
            case Target::Pipe:
                ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
                break;
            case Target::SourceInUse:
                target = p.source;
                break;
            case Target::LibraryInUse:
                target = p.library;
                break;
            }

            // The library's own save onto itself is its "save"; the settings are never asked about.
            const char* says = c.says;
            if (c.target == Target::LibraryInUse && kind.what == SaveWhat::Library)
                says = nullptr;
            if (c.target == Target::ReadOnlyAsked && !kind.asksReadOnly)
                says = "";
            std::string why;
            const bool written = kind.save(p, target, why);

            if (says == nullptr) {
                ASSERT_TRUE(written) << why;
                const std::string file = c.target == Target::Link ? real : target;
                EXPECT_EQ(readFile(file).rfind(kind.signature, 0), 0u) << readFile(file).substr(0, 40);
                // New files (and the library, written new by the set-up) as the umask makes them.
                const mode_t expected = c.target == Target::Absent || c.target == Target::LibraryInUse
                                            ? (0666 & ~mask)
                                        : c.target == Target::ReadOnlyAsked ? 0444
                                                                            : 0640;
                EXPECT_EQ(modeOf(file) & 07777, expected);
                EXPECT_TRUE(S_ISREG(modeOf(file)));
                if (c.target == Target::Link) {
                    EXPECT_TRUE(fs::is_symlink(target));
                }
            } else {
                ASSERT_FALSE(written);
                if (*says != '\0' && !why.empty()) {
                    EXPECT_NE(why.find(says), std::string::npos) << why;
                }
                switch (c.target) {
                case Target::ReadOnly:
                case Target::ReadOnlyAsked:
                    EXPECT_EQ(readFile(target), kOld);
                    EXPECT_EQ(modeOf(target) & 07777, 0444u);
                    break;
                case Target::Folder:
                    EXPECT_TRUE(fs::is_directory(target));
                    EXPECT_TRUE(fs::is_empty(target));
                    break;
                case Target::Pipe:
                    EXPECT_TRUE(S_ISFIFO(modeOf(target)));
                    break;
                default:
                    break;
                }
            }
            // The files in use are as they were (but for the library's own save), and no temporary file
            // is left anywhere.
            EXPECT_EQ(readFile(p.source), before);
            if (kind.what != SaveWhat::Library || c.target != Target::LibraryInUse) {
                EXPECT_EQ(readFile(p.library), libraryBefore);
            }
            for (const auto& e : fs::directory_iterator(p.dir.path()))
                EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
        }
    }
}

// The project in use and the settings file are guarded too, each open to its own save only.
TEST(SaveTarget, TheProjectAndSettingsInUseTakeOnlyTheirOwnSave)
{
    Program p(false);
    const std::string project = p.dir.file("run.proj");
    const std::string settings = p.dir.file("run.rsr");
    p.session.SaveProject(project, {});
    ASSERT_TRUE(p.session.SaveSettings(settings, {}));
    EXPECT_EQ(p.CheckSaveTarget(project, SaveWhat::Export), "это текущий проект");
    EXPECT_EQ(p.CheckSaveTarget(project, SaveWhat::Library), "это текущий проект");
    EXPECT_EQ(p.CheckSaveTarget(project, SaveWhat::Project), "");
    EXPECT_EQ(p.CheckSaveTarget(settings, SaveWhat::Project), "это файл настроек программы");
    EXPECT_EQ(p.CheckSaveTarget(settings, SaveWhat::Settings), "");
    // A hard link to the source is the source.
    const std::string alias = p.dir.file("alias.frq");
    fs::create_hard_link(p.source, alias);
    EXPECT_EQ(p.CheckSaveTarget(alias, SaveWhat::Export), "это источник данных анализа");
    EXPECT_EQ(p.CheckSaveTarget(p.dir.file("new.frq"), SaveWhat::Export), "");
    // Saving a project over the source or the library leaves the project in memory as it was.
    const std::string sourceName = p.store.project.sourceFileName;
    EXPECT_THROW(p.session.SaveProject(p.source, {}), Error);
    EXPECT_EQ(p.store.projectFileName, project);
    EXPECT_EQ(p.store.project.sourceFileName, sourceName);
}

} // namespace
} // namespace selva
