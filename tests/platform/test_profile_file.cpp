#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/profile_file.h"

namespace fs = std::filesystem;
using platform::ReadProfileString;
using platform::WriteProfileString;

namespace {
class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vospen-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = (dir / "test.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string contents() const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void put(const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }
    fs::path dir;
    std::string file;
};
} // namespace

TEST_F(ProfileFile, MissingFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(ReadProfileString(file, "A", "b"), "");
    put("[A]\nb=1\n");
    EXPECT_EQ(ReadProfileString(file, "B", "b"), "");
    EXPECT_EQ(ReadProfileString(file, "A", "c"), "");
}

TEST_F(ProfileFile, WriteCreatesFileAndSectionsInOrder) {
    ASSERT_TRUE(WriteProfileString(file, "One", "a", "1"));
    ASSERT_TRUE(WriteProfileString(file, "One", "b", "2"));
    ASSERT_TRUE(WriteProfileString(file, "Two", "c", "3"));
    EXPECT_EQ(contents(), "[One]\na=1\nb=2\n[Two]\nc=3\n");
}

TEST_F(ProfileFile, NamesCompareWithoutCase) {
    put("[PinPointBasic]\nPATH=x\n");
    EXPECT_EQ(ReadProfileString(file, "pinpointbasic", "path"), "x");
    ASSERT_TRUE(WriteProfileString(file, "PINPOINTBASIC", "Path", "y"));
    EXPECT_EQ(contents(), "[PinPointBasic]\nPath=y\n");
}

TEST_F(ProfileFile, WriteUpdatesInPlaceAndKeepsForeignLines) {
    put("; a comment\r\n[Mine]\r\nkey=old\r\nother=keep\r\n\r\n[Foreign]\r\nx=1\r\n");
    ASSERT_TRUE(WriteProfileString(file, "Mine", "key", "new"));
    ASSERT_TRUE(WriteProfileString(file, "Mine", "added", "v"));
    // CR LF files stay CR LF; the new key goes to the end of its section.
    EXPECT_EQ(contents(),
              "; a comment\r\n[Mine]\r\nkey=new\r\nother=keep\r\nadded=v\r\n\r\n[Foreign]\r\nx=1\r\n");
    EXPECT_EQ(ReadProfileString(file, "Foreign", "x"), "1");
}

TEST_F(ProfileFile, ValuesWithBlanksEqualsAndAnyLengthRoundTrip) {
    const std::string longPath(300, 'p');
    ASSERT_TRUE(WriteProfileString(file, "S", "blank", "C:\\USNO A2.0"));
    ASSERT_TRUE(WriteProfileString(file, "S", "eq", "a=b=c"));
    ASSERT_TRUE(WriteProfileString(file, "S", "long", "/data/catalogs/" + longPath));
    EXPECT_EQ(ReadProfileString(file, "S", "blank"), "C:\\USNO A2.0");
    EXPECT_EQ(ReadProfileString(file, "S", "eq"), "a=b=c");
    EXPECT_EQ(ReadProfileString(file, "S", "long"), "/data/catalogs/" + longPath);
}

TEST_F(ProfileFile, KeyInAnotherSectionIsNotTouched) {
    put("[A]\nk=1\n[B]\nk=2\n");
    ASSERT_TRUE(WriteProfileString(file, "B", "k", "3"));
    EXPECT_EQ(ReadProfileString(file, "A", "k"), "1");
    EXPECT_EQ(ReadProfileString(file, "B", "k"), "3");
}

TEST_F(ProfileFile, UnwritableFolderFailsAndLeavesNothing) {
    const std::string bad = (dir / "missing-folder" / "x.ini").string();
    EXPECT_FALSE(WriteProfileString(bad, "A", "b", "c"));
    EXPECT_FALSE(fs::exists(bad));
}

TEST_F(ProfileFile, BinaryGarbageAndHugeLinesDoNotBreakReading) {
    std::string junk(1 << 20, 'x');
    junk[100] = '\0';
    junk[200] = '\xff';
    put(junk + "\n[A]\nk=v\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k"), "v");
    ASSERT_TRUE(WriteProfileString(file, "A", "k", "w"));
    EXPECT_EQ(ReadProfileString(file, "A", "k"), "w");
}

// A FIFO in place of the file would block the program in open(): it reads as
// missing and is not replaced. A file its user made read-only is not replaced
// either; a writable one keeps its permissions. An empty value is told from a
// missing key.
TEST_F(ProfileFile, OnlyRegularWritableFilesAreReadOrReplaced) {
    const std::string fifo = (dir / "fifo.ini").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(20); // a blocked open() ends the test instead of the run
    EXPECT_EQ(ReadProfileString(fifo, "A", "b"), "");
    EXPECT_FALSE(WriteProfileString(fifo, "A", "b", "c"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    ::alarm(0);

    put("[A]\nb=old\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(WriteProfileString(file, "A", "b", "new"));
    EXPECT_EQ(contents(), "[A]\nb=old\n");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read);

    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(WriteProfileString(file, "A", "b", "new"));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    put("[A]\nempty=\n");
    EXPECT_EQ(platform::ReadProfileValue(file, "A", "empty"), std::optional<std::string>(""));
    EXPECT_EQ(platform::ReadProfileValue(file, "A", "missing"), std::nullopt);
}
