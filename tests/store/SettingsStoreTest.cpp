#include "store/SettingsStore.h"

#include "common/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace selva {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::size_t filesIn(const std::filesystem::path& dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TEST(SettingsStore, FreshInstallationWritesDefaultsAndReadsThemBack)
{
    TempDir dir;
    SettingsStore store;
    store.defaultSettingsFileName = dir.file("selvarondine.rsr");
    EXPECT_EQ(store.ReadSettingsFile(""), StoreLoad::Missing);
    EXPECT_EQ(store.settings, TSettingsRecord{});

    ASSERT_TRUE(store.WriteSettingsFile(""));
    EXPECT_EQ(store.settingsFileName, dir.file("selvarondine.rsr"));
    EXPECT_EQ(readFile(dir.file("selvarondine.rsr")).size(), 601u);
    EXPECT_EQ(filesIn(dir.path()), 1u); // no temporary file left behind

    SettingsStore other;
    other.settings.authorName = "кто-то";
    EXPECT_EQ(other.ReadSettingsFile(dir.file("selvarondine.rsr")), StoreLoad::Loaded);
    EXPECT_EQ(other.settings, TSettingsRecord{});
}

TEST(SettingsStore, EmptyOrUnreadableSettingsChangeNothing)
{
    TempDir dir;
    SettingsStore store;
    store.settings.FilterWindow = 3;
    writeFile(dir.file("empty.rsr"), "");
    EXPECT_EQ(store.ReadSettingsFile(dir.file("empty.rsr")), StoreLoad::Missing);
    EXPECT_EQ(store.ReadSettingsFile(dir.file("none.rsr")), StoreLoad::Missing);
    EXPECT_EQ(store.ReadSettingsFile(dir.path().string()), StoreLoad::Missing); // a folder
    EXPECT_EQ(store.ReadSettingsFile(""), StoreLoad::Missing);                  // no default chosen
    EXPECT_EQ(store.settings.FilterWindow, 3);
    EXPECT_TRUE(std::filesystem::exists(dir.file("empty.rsr")));
}

TEST(SettingsStore, DamagedSettingsAreMovedAsideNotDeleted)
{
    TempDir dir;
    const std::string name = dir.file("s.rsr");
    TSettingsRecord saved;
    saved.authorName = "Сохранённый";
    SettingsStore writer;
    writer.settings = saved;
    ASSERT_TRUE(writer.WriteSettingsFile(name));
    std::string bytes = readFile(name);

    struct Case {
        const char* what;
        std::string content;
    };
    std::string oneByteChanged = bytes;
    oneByteChanged[500] = static_cast<char>(oneByteChanged[500] ^ 0x40);
    // (What a decoder refuses is tests/store/StoreFilesTest.cpp; a file too large is not even read.)
    const Case cases[] = {
        {"one data byte changed", oneByteChanged},
        {"too long", bytes + std::string(5000, 'x')},
    };
    writeFile(name + ".bad", "an older damaged file");
    for (const Case& c : cases) {
        writeFile(name, c.content);
        SettingsStore store;
        store.settings.authorName = "в памяти";
        EXPECT_EQ(store.ReadSettingsFile(name), StoreLoad::Damaged) << c.what;
        EXPECT_EQ(store.settings.authorName, "в памяти") << c.what;
        EXPECT_FALSE(std::filesystem::exists(name)) << c.what;
        EXPECT_EQ(readFile(name + ".bad"), c.content) << c.what; // replaces the older one
    }
}

TEST(SettingsStore, SettingsThatCannotBeWrittenAreSkipped)
{
    TempDir dir;
    SettingsStore store;
    EXPECT_FALSE(store.WriteSettingsFile(dir.file("no/such/folder/s.rsr")));
    EXPECT_EQ(store.settingsFileName, dir.file("no/such/folder/s.rsr"));
}

TEST(SettingsStore, ProjectRoundTripWithNotes)
{
    TempDir dir;
    const std::string name = dir.file("test.proj");
    SettingsStore store;
    store.project.sourceFileName = "/data/тест.frq";
    store.project.StartTime = 1.25;
    store.notes = {"Двигатель РД-1", "", "заряд 50 г"};
    store.WriteProjectFile(name);
    EXPECT_EQ(filesIn(dir.path()), 1u);

    SettingsStore other;
    other.notes = {"старое"};
    EXPECT_EQ(other.ReadProjectFile(name), StoreLoad::Loaded);
    EXPECT_EQ(other.project, store.project);
    EXPECT_EQ(other.notes, store.notes);

    // No notes: the old notes are cleared by a good file.
    store.notes.clear();
    store.WriteProjectFile(name);
    EXPECT_EQ(other.ReadProjectFile(name), StoreLoad::Loaded);
    EXPECT_TRUE(other.notes.empty());
}

TEST(SettingsStore, DamagedOrMissingProjectsChangeNothing)
{
    TempDir dir;
    SettingsStore writer;
    writer.project.sourceFileName = "new.frq";
    writer.notes = {"new"};
    writer.WriteProjectFile(dir.file("p.proj"));
    std::string bytes = readFile(dir.file("p.proj"));
    bytes[31 + 300] = 'Q';
    writeFile(dir.file("bad.proj"), bytes);
    writeFile(dir.file("empty.proj"), "");
    writeFile(dir.file("short.proj"), bytes.substr(0, 700));
    std::filesystem::path huge = dir.path() / "huge.proj";
    writeFile(huge.string(), "");
    std::filesystem::resize_file(huge, ProjectFileMaxSize + 1); // sparse, not read

    std::filesystem::create_directory(dir.path() / "folder.proj");

    // Each says what is wrong: a wrong length is not a wrong checksum.
    struct Case {
        const char* file;
        StoreLoad expected;
        const char* why;
    };
    const Case cases[] = {
        {"bad.proj", StoreLoad::Damaged, "контрольная сумма не совпадает: файл проекта поврежден"},
        {"short.proj", StoreLoad::Damaged,
         "файл короче любого проекта (700 байт, а нужно не меньше 1151): это не проект, или он поврежден"},
        {"huge.proj", StoreLoad::Damaged, "файл больше 16 МБ: это не проект, или он поврежден"},
        {"empty.proj", StoreLoad::Damaged, "файл пуст"},
        {"none.proj", StoreLoad::Missing, "файл не найден"},
        {"folder.proj", StoreLoad::Missing, "это не обычный файл"},
    };
    for (const Case& c : cases) {
        SettingsStore store;
        store.project.sourceFileName = "old.frq";
        store.notes = {"old"};
        std::string why;
        EXPECT_EQ(store.ReadProjectFile(dir.file(c.file), &why), c.expected) << c.file;
        EXPECT_EQ(why, c.why) << c.file;
        EXPECT_EQ(store.project.sourceFileName, "old.frq") << c.file;
        EXPECT_EQ(store.notes, ProjectNotes{"old"}) << c.file;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("bad.proj"))); // a project file is never moved
}

TEST(SettingsStore, ProjectThatCannotBeWrittenThrowsWithTheName)
{
    TempDir dir;
    SettingsStore store;
    const std::string name = dir.file("missing/p.proj");
    try {
        store.WriteProjectFile(name);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Невозможно записать файл " + name + ": ", 0), 0u) << e.what();
    }
}

TEST(SettingsStore, CaptionAndCurrentProjectName)
{
    struct Case {
        std::string name;
        std::string caption;
        std::string projectName;
    };
    const Case cases[] = {
        {"/data/test.proj", "test.proj", "/data/test.proj"},
        {"/data/TEST.PROJ", "TEST.PROJ", "/data/TEST.PROJ"},
        // A source opened on its own: the project that goes with it is its companion file, never the
        // source itself.
        {"/data/run 1.frq", "run 1.frq", "/data/run 1.proj"},
        {"/data.d/rec", "rec", "/data.d/rec.proj"},
        {"/data/c.tar.gz", "c.tar.gz", "/data/c.tar.proj"},
        {"rec.wav", "rec.wav", "rec.proj"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SettingsStore store;
        EXPECT_EQ(store.SetCaption(c.name), std::string(SettingsStore::CaptionPrefix) + c.caption);
        EXPECT_EQ(store.projectFileName, c.projectName) << c.name;
    }
    EXPECT_EQ(std::string(SettingsStore::CaptionPrefix),
              "Расчет параметров тяги по данным частотного датчика - ");
}

} // namespace
} // namespace selva
