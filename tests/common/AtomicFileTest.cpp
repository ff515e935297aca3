// The atomic writer's rules where links and owners are concerned, and the file written in place. The
// table of every save against every kind of target is tests/workspace/SaveTargetTest.cpp.
#include "common/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace selva {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A link to a link to a file in another folder, and a link to nothing yet: the file at the end of the
// chain is written and every link stays a link. A loop of links is refused.
TEST(AtomicFile, FollowsLinksToTheFileAtTheEnd)
{
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    writeFile(dir.file("data/real.frq"), "old");
    fs::create_symlink("data/real.frq", dir.path() / "middle");
    fs::create_symlink(dir.path() / "middle", dir.path() / "first");
    fs::create_symlink("data/later.frq", dir.path() / "dangling");

    const SaveTarget t = inspectSaveTarget(dir.file("first"));
    EXPECT_EQ(t.kind, SaveTarget::Regular);
    EXPECT_EQ(fs::path(t.path).filename(), "real.frq");
    EXPECT_TRUE(writeFileAtomically(dir.file("first"), "new"));
    EXPECT_EQ(readFile(dir.file("data/real.frq")), "new");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "first") && fs::is_symlink(dir.path() / "middle"));

    EXPECT_EQ(inspectSaveTarget(dir.file("dangling")).kind, SaveTarget::Absent);
    EXPECT_TRUE(writeFileAtomically(dir.file("dangling"), "made"));
    EXPECT_EQ(readFile(dir.file("data/later.frq")), "made");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling"));

    fs::create_symlink("loop-b", dir.path() / "loop-a");
    fs::create_symlink("loop-a", dir.path() / "loop-b");
    std::string error;
    EXPECT_EQ(inspectSaveTarget(dir.file("loop-a")).kind, SaveTarget::Unusable);
    EXPECT_FALSE(writeFileAtomically(dir.file("loop-a"), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_symlink(dir.path() / "loop-a"));
}

// A replaced file keeps its owner where the system lets the program give it (root), and its mode with
// the set-group-id bit.
TEST(AtomicFile, KeepsOwnerAndMode)
{
    TempDir dir;
    const std::string name = dir.file("shared.proj");
    writeFile(name, "old");
    ::chmod(name.c_str(), 02664);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(name.c_str(), 1234, 4321), 0);
    }
    EXPECT_TRUE(writeFileAtomically(name, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02664u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 4321u);
    }
}

// A recording in progress is written where it stands: visible at once, kept when the writer is dropped
// (a crash), never put over a file that exists.
TEST(AtomicFile, NewFileInPlace)
{
    TempDir dir;
    const std::string name = dir.file("wave_tmp_3.wav");
    SaveOptions inPlace;
    inPlace.newFileInPlace = true;
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.open(name, inPlace));
        EXPECT_TRUE(fs::exists(name));
        w.write("part");
        std::fflush(w.stream());
    }
    EXPECT_EQ(readFile(name), "part");
    AtomicFileWriter again;
    EXPECT_FALSE(again.open(name, inPlace));
    EXPECT_EQ(again.errorText(), "файл уже существует");
    EXPECT_EQ(readFile(name), "part");
}

int filesIn(const std::filesystem::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

// Every save of the program goes through here: a file is replaced whole, and only when complete.
TEST(AtomicFile, ReplacesOnlyWhenComplete)
{
    test::TempDir dir;
    const auto target = dir.file("a.txt");
    test::writeFile(target, "old and longer");
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.open(target));
        w.write("half");
        // dropped without commit: the old file stays and no temporary file is left
    }
    EXPECT_EQ(test::readFile(target), "old and longer");
    EXPECT_TRUE(writeFileAtomically(target, "new"));
    EXPECT_EQ(test::readFile(target), "new"); // replaced whole, nothing of the longer file after it
    EXPECT_EQ(filesIn(dir.path()), 1);
    std::string error;
    EXPECT_FALSE(writeFileAtomically(dir.file("no/such/dir/x"), "x", &error));
    EXPECT_FALSE(error.empty());
}

// A folder the user may not write into: the save fails with a reason and leaves the file and the folder
// as they were. Root writes anywhere, so as root the save runs in a child that has become "nobody".
TEST(AtomicFile, AReadOnlyFolderRefusesTheSaveAndKeepsTheFile)
{
    test::TempDir dir;
    const std::filesystem::path folder = dir.path() / "ro";
    std::filesystem::create_directory(folder);
    const std::string target = (folder / "a.txt").string();
    test::writeFile(target, "old");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        std::string error;
        ::_exit(!writeFileAtomically(target, "new", &error) && !error.empty() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(folder.c_str(), 0755);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "running as root and cannot become another user";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save was not refused";
    EXPECT_EQ(test::readFile(target), "old");
    EXPECT_EQ(filesIn(folder), 1);
}

} // namespace
} // namespace selva
