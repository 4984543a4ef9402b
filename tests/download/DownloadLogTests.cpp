#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"
#include "download/DownloadLog.h"
#include "support/TestFiles.h"

using namespace netrefit;
using netrefit::test::FileExists;
using netrefit::test::ReadFileBytes;
using netrefit::test::TempDir;
using netrefit::test::WriteFileBytes;

namespace {

DownloadEntry Named(const std::string& name) {
    DownloadEntry entry;
    entry.SetName(name);
    return entry;
}

std::string Bytes(const char* text, size_t size) {
    return std::string(text, size);
}

class Journal : public ::testing::Test {
  protected:
    Journal() { log_.SetPath(path_); }

    std::string Content() {
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(path_, &bytes));
        return bytes;
    }

    TempDir dir_;
    std::string path_ = dir_.File("Netrefit.log");
    DownloadLog log_;
};

}  // namespace

TEST_F(Journal, RecordsAreNamesEachFollowedByNul) {
    ASSERT_TRUE(log_.Create());
    EXPECT_EQ("", Content());
    EXPECT_TRUE(log_.Append(Named("A")));
    EXPECT_TRUE(log_.Append(Named("BC")));
    EXPECT_EQ(Bytes("A\0BC\0", 5), Content());
    EXPECT_TRUE(log_.Contains(Named("A")));
    EXPECT_TRUE(log_.Contains(Named("BC")));
    EXPECT_FALSE(log_.Contains(Named("B")));
    EXPECT_FALSE(log_.Contains(Named("ABC")));
    EXPECT_FALSE(log_.Contains(Named("bc")));  // names are compared exactly
}

TEST_F(Journal, CreateEmptiesAnExistingJournal) {
    ASSERT_TRUE(WriteFileBytes(path_, Bytes("Melorra 2.0\0", 12)));
    ASSERT_TRUE(log_.Contains(Named("Melorra 2.0")));
    ASSERT_TRUE(log_.Create());
    EXPECT_EQ("", Content());
    EXPECT_FALSE(log_.Contains(Named("Melorra 2.0")));
}

TEST_F(Journal, ExistsOnlyForAJournalThatCanBeWritten) {
    EXPECT_FALSE(log_.Exists());
    ASSERT_TRUE(log_.Create());
    EXPECT_TRUE(log_.Exists());
    ASSERT_TRUE(log_.Append(Named("A")));
    {
        // A reader that does not share writing keeps the journal from being written, not read.
        FileHandle reader(::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader.valid());
        EXPECT_FALSE(log_.Exists());
        EXPECT_FALSE(log_.Append(Named("B")));
        EXPECT_TRUE(log_.Contains(Named("A")));
    }
    EXPECT_TRUE(log_.Exists());
    EXPECT_EQ(Bytes("A\0", 2), Content());
}

TEST_F(Journal, AppendWithoutCreateFailsAndMakesNoFile) {
    EXPECT_FALSE(log_.Append(Named("A")));
    EXPECT_FALSE(FileExists(path_));
    EXPECT_FALSE(log_.Contains(Named("A")));
}

TEST_F(Journal, EmptyNameIsNeitherAppendedNorFound) {
    ASSERT_TRUE(WriteFileBytes(path_, Bytes("\0A\0", 3)));  // holds an empty record
    EXPECT_FALSE(log_.Append(Named("")));
    EXPECT_FALSE(log_.Contains(Named("")));
    EXPECT_EQ(Bytes("\0A\0", 3), Content());
    EXPECT_TRUE(log_.Contains(Named("A")));
}

TEST_F(Journal, DuplicatesMakeTwoRecords) {
    ASSERT_TRUE(log_.Create());
    EXPECT_TRUE(log_.Append(Named("DirectX 9.0")));
    EXPECT_TRUE(log_.Append(Named("DirectX 9.0")));
    EXPECT_EQ(Bytes("DirectX 9.0\0DirectX 9.0\0", 24), Content());
    EXPECT_TRUE(log_.Contains(Named("DirectX 9.0")));
}

TEST_F(Journal, NamesUpTo255BytesOnly) {
    ASSERT_TRUE(log_.Create());
    std::string longest(DownloadLog::kMaxNameBytes, 'n');
    ASSERT_TRUE(log_.Append(Named(longest)));
    EXPECT_TRUE(log_.Contains(Named(longest)));

    std::string tooLong(DownloadLog::kMaxNameBytes + 1, 'n');
    EXPECT_FALSE(log_.Append(Named(tooLong)));
    EXPECT_FALSE(log_.Append(Named(std::string(5000, 'x'))));
    EXPECT_EQ(longest + '\0', Content());  // nothing of the refused names was written
    EXPECT_FALSE(log_.Contains(Named(tooLong)));
    EXPECT_TRUE(log_.Append(Named("after")));  // the journal stays readable
    EXPECT_TRUE(log_.Contains(Named("after")));
}

TEST_F(Journal, NameHoldingANulIsRefused) {
    ASSERT_TRUE(log_.Create());
    EXPECT_FALSE(log_.Append(Named(Bytes("A\0B", 3))));
    EXPECT_EQ("", Content());
}

TEST_F(Journal, DoubleByteNamesRoundTrip) {
    // Shift-JIS text whose trail bytes equal '\\' and '|' in ASCII.
    const std::string name = "\x83\x5c\x83\x74\x83\x67 \x95\x7c";
    ASSERT_TRUE(log_.Create());
    ASSERT_TRUE(log_.Append(Named(name)));
    EXPECT_TRUE(log_.Contains(Named(name)));
    EXPECT_FALSE(log_.Contains(Named("\x83\x5c")));
    EXPECT_EQ(name + '\0', Content());
}

TEST_F(Journal, LastRecordWithoutNulIsNotMatched) {
    ASSERT_TRUE(WriteFileBytes(path_, Bytes("A\0BC\0DEF", 8)));
    EXPECT_TRUE(log_.Contains(Named("A")));
    EXPECT_TRUE(log_.Contains(Named("BC")));
    EXPECT_FALSE(log_.Contains(Named("DEF")));
    // Appending after the damage glues the new name onto the broken record.
    EXPECT_TRUE(log_.Append(Named("G")));
    EXPECT_FALSE(log_.Contains(Named("G")));
    EXPECT_TRUE(log_.Contains(Named("DEFG")));
}

TEST_F(Journal, RecordLongerThanAnyNameStopsTheScan) {
    std::string record255(DownloadLog::kMaxNameBytes, 'r');
    ASSERT_TRUE(WriteFileBytes(path_, record255 + '\0' + "A" + '\0'));
    EXPECT_TRUE(log_.Contains(Named("A")));
    EXPECT_TRUE(log_.Contains(Named(record255)));

    std::string record256(DownloadLog::kMaxNameBytes + 1, 'r');
    ASSERT_TRUE(WriteFileBytes(path_, Bytes("B\0", 2) + record256 + '\0' + "A" + '\0'));
    EXPECT_TRUE(log_.Contains(Named("B")));         // records before the damage still count
    EXPECT_FALSE(log_.Contains(Named("A")));        // records after it are not examined
    EXPECT_FALSE(log_.Contains(Named(record255)));  // the long record's prefix is no match
}

TEST_F(Journal, HugeRecordWithoutNulIsHarmless) {
    std::string solid(100000, 'z');
    ASSERT_TRUE(WriteFileBytes(path_, Bytes("A\0", 2) + solid));
    EXPECT_TRUE(log_.Contains(Named("A")));
    EXPECT_FALSE(log_.Contains(Named("z")));
    EXPECT_FALSE(log_.Contains(Named(std::string(DownloadLog::kMaxNameBytes, 'z'))));
}

TEST_F(Journal, NoHandleStaysOpenBetweenCalls) {
    ASSERT_TRUE(log_.Create());
    ASSERT_TRUE(log_.Append(Named("A")));
    ASSERT_TRUE(log_.Contains(Named("A")));
    ASSERT_TRUE(log_.Exists());
    // Exclusive access succeeds only when the journal's own handles are closed.
    FileHandle exclusive(::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive.valid());
    // And while someone holds it exclusively, every operation fails cleanly.
    EXPECT_FALSE(log_.Append(Named("B")));
    EXPECT_FALSE(log_.Contains(Named("A")));
    EXPECT_FALSE(log_.Exists());
    EXPECT_FALSE(log_.Create());
    exclusive.reset();
    EXPECT_EQ(Bytes("A\0", 2), Content());
}

TEST_F(Journal, ReadersMayShareTheJournalWhileItGrows) {
    ASSERT_TRUE(log_.Create());
    FileHandle reader(::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader.valid());
    EXPECT_TRUE(log_.Append(Named("A")));
    EXPECT_TRUE(log_.Contains(Named("A")));
}

TEST_F(Journal, UnusablePathsFailCleanly) {
    DownloadLog unset;
    EXPECT_FALSE(unset.Create());
    EXPECT_FALSE(unset.Exists());
    EXPECT_FALSE(unset.Append(Named("A")));
    EXPECT_FALSE(unset.Contains(Named("A")));

    DownloadLog missingFolder;
    missingFolder.SetPath(dir_.File("absent\\Netrefit.log"));
    EXPECT_FALSE(missingFolder.Create());

    // ".\" padding names the same file with a text longer than any path buffer.
    std::string padded = dir_.Path();
    while (padded.size() + 12 <= DownloadLog::kMaxPathChars) {
        padded += ".\\";
    }
    padded += "Netrefit.log";
    ASSERT_GT(padded.size(), DownloadLog::kMaxPathChars);
    DownloadLog overlong;
    overlong.SetPath(padded);
    EXPECT_FALSE(overlong.Create());
    EXPECT_FALSE(FileExists(path_));
    ASSERT_TRUE(log_.Create());
    ASSERT_TRUE(log_.Append(Named("A")));
    EXPECT_FALSE(overlong.Exists());
    EXPECT_FALSE(overlong.Append(Named("B")));
    EXPECT_FALSE(overlong.Contains(Named("A")));
    EXPECT_EQ(Bytes("A\0", 2), Content());
}
