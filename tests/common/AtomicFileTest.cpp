#include "common/AtomicFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace selva {
namespace {

int filesIn(const std::filesystem::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TEST(AtomicFile, ReplacesOnlyWhenComplete)
{
    test::TempDir dir;
    const auto target = dir.file("a.txt");
    test::writeFile(target, "old");
    {
        AtomicFileWriter w;
        ASSERT_TRUE(w.open(target));
        w.write("half");
        // dropped without commit: the old file stays and no temporary file is left
    }
    EXPECT_EQ(test::readFile(target), "old");
    EXPECT_TRUE(writeFileAtomically(target, "new"));
    EXPECT_EQ(test::readFile(target), "new");
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
