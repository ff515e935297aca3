#include "store/StoreFiles.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace selva {
namespace {

std::uint32_t u32At(const std::string& bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    return v;
}

std::uint32_t sumFrom(const std::string& bytes, std::size_t offset)
{
    std::uint32_t sum = 0;
    for (std::size_t i = offset; i < bytes.size(); ++i)
        sum += static_cast<unsigned char>(bytes[i]);
    return sum;
}

TEST(SettingsFile, FreshDefaultFileLayout)
{
    const std::string file = encodeSettingsFile(TSettingsRecord{});
    ASSERT_EQ(file.size(), 601u);
    EXPECT_EQ(file.substr(0, 29), "SELVARONDINE RESOURCES v.1.50");
    EXPECT_EQ(u32At(file, 29), sumFrom(file, 33));
    EXPECT_EQ(u32At(file, 33), 568u); // the record's size field starts the data
}

TEST(SettingsFile, DamagedFilesAreRefused)
{
    TSettingsRecord s;
    s.authorName = "Автор";
    const std::string good = encodeSettingsFile(s);

    std::string changedData = good;
    changedData[400] = static_cast<char>(changedData[400] + 1);
    std::string changedHeader = good; // the header text is not compared
    changedHeader[3] = 'x';
    std::string checksumOff = good;
    checksumOff[29] = static_cast<char>(checksumOff[29] ^ 1);

    EXPECT_FALSE(decodeSettingsFile(changedData).has_value());
    EXPECT_FALSE(decodeSettingsFile(checksumOff).has_value());
    EXPECT_FALSE(decodeSettingsFile(good.substr(0, 600)).has_value());
    EXPECT_FALSE(decodeSettingsFile(good + '\0').has_value()); // a zero byte keeps the sum but not the length
    EXPECT_FALSE(decodeSettingsFile(good.substr(0, 20)).has_value());
    EXPECT_FALSE(decodeSettingsFile("").has_value());
    ASSERT_TRUE(decodeSettingsFile(changedHeader).has_value());
    EXPECT_EQ(decodeSettingsFile(changedHeader)->authorName, "Автор");
}

TEST(ProjectFile, SizesAndChecksumIncludeTheNotes)
{
    const TProjectRecord fresh; // named: GCC 12 at -O3 sees a temporary's strings as uninitialised
    const std::string empty = encodeProjectFile(fresh, {});
    ASSERT_EQ(empty.size(), 1151u);
    EXPECT_EQ(empty.substr(0, 27), "SELVARONDINE PROJECT v.1.50");
    EXPECT_EQ(u32At(empty, 27), sumFrom(empty, 31));

    const std::string withNotes = encodeProjectFile(fresh, {"a", "b"});
    ASSERT_EQ(withNotes.size(), 1157u);
    EXPECT_EQ(withNotes.substr(1151), "a\r\nb\r\n");
    EXPECT_EQ(u32At(withNotes, 27), u32At(empty, 27) + 'a' + 'b' + 2 * (13 + 10));
    EXPECT_EQ(withNotes.substr(31, 1120), empty.substr(31, 1120));

    const auto back = decodeProjectFile(withNotes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->notes, (ProjectNotes{"a", "b"}));
    EXPECT_EQ(back->record, fresh);
}

TEST(ProjectFile, DamagedFilesAreRefused)
{
    TProjectRecord p;
    p.sourceFileName = "x.frq";
    const std::string good = encodeProjectFile(p, {"пояснение"});
    std::string noteChanged = good;
    noteChanged[good.size() - 3] = 'X';
    std::string recordChanged = good;
    recordChanged[31 + 768] = 1;
    std::string headerChanged = good;
    headerChanged[0] = 'Z';

    EXPECT_FALSE(decodeProjectFile(noteChanged).has_value());
    EXPECT_FALSE(decodeProjectFile(recordChanged).has_value());
    EXPECT_FALSE(decodeProjectFile(good.substr(0, 1150)).has_value());
    EXPECT_FALSE(decodeProjectFile(good + "x").has_value());
    EXPECT_FALSE(decodeProjectFile("").has_value());
    EXPECT_TRUE(decodeProjectFile(headerChanged).has_value());
    // Zero bytes appended keep the sum: they read as one more (empty-looking) note line, not a failure.
    const auto padded = decodeProjectFile(good + std::string(3, '\0'));
    ASSERT_TRUE(padded.has_value());
    EXPECT_EQ(padded->notes.size(), 2u);
}

TEST(ProjectNotes, SplitAndJoin)
{
    struct Case {
        std::string text;
        ProjectNotes lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {"\n\r", {"", ""}}, // LF then a lone CR: two breaks
        {"\xD2\xFF\xE3\xE0 \xB9"
         "1\r\n",
         {"Тяга №1"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeNotes(c.text), c.lines) << "text of " << c.text.size() << " bytes";

    const ProjectNotes notes{"Тяга №1", "", "ёЁ end"};
    EXPECT_EQ(decodeNotes(encodeNotes(notes)), notes);
    EXPECT_EQ(encodeNotes({"Тяга"}), "\xD2\xFF\xE3\xE0\r\n");
}

TEST(StoreFiles, RandomBytesNeverBreakTheReaders)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::size_t sizes[] = {0, 1, 30, 33, 600, 601, 602, 1150, 1151, 1152, 1200, 5000};
    for (std::size_t size : sizes) {
        for (int round = 0; round < 20; ++round) {
            std::string bytes(size, '\0');
            for (char& c : bytes)
                c = static_cast<char>(byte(rng));
            // Make the checksum right half of the time, so that the record and notes decoders run too.
            if (round % 2 == 0 && size >= 33) {
                const std::size_t at = size >= 1151 ? 27 : 29;
                const std::uint32_t sum = sumFrom(bytes, at + 4);
                for (int i = 0; i < 4; ++i)
                    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(sum >> (8 * i));
            }
            const auto s = decodeSettingsFile(bytes);
            const auto p = decodeProjectFile(bytes);
            if (size == 601 && round % 2 == 0) {
                ASSERT_TRUE(s.has_value());
                EXPECT_LE(s->authorName.size(), 3 * AuthorNameLength); // UTF-8 of at most 20 characters
            }
            if (size >= 1151 && round % 2 == 0) {
                ASSERT_TRUE(p.has_value());
                EXPECT_LE(p->record.sourceFileName.size(), 3 * FileNameLength);
            }
        }
    }
}

} // namespace
} // namespace selva
