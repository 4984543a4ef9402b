// Archives made by Info-ZIP zip, bsdtar, 7z and Python's zipfile in each of their modes, extracted
// by the worker and compared byte for byte with the input files each archive holds.

#include <gtest/gtest.h>

#include <string>

#include "ExtractTestSupport.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

std::string ArchiveFolder() {
    return ModuleFolder() + "unzip-archives\\";
}

std::string Archive(const std::string& name) {
    return ArchiveFolder() + name + ".zip";
}

std::string Reference(const std::string& name) {
    return ArchiveFolder() + "ref\\" + name + "\\";
}

// The member times the archive script gives every file: 2021-03-04 05:06:08, local time.
void ExpectDosStamp(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    FILETIME created, written;
    ASSERT_TRUE(::GetFileTime(file, &created, nullptr, &written));
    ::CloseHandle(file);
    FILETIME expectedLocal, expected;
    ASSERT_TRUE(::DosDateTimeToFileTime(0x5264, 0x28C4, &expectedLocal));
    ASSERT_TRUE(::LocalFileTimeToFileTime(&expectedLocal, &expected));
    EXPECT_EQ(::CompareFileTime(&written, &expected), 0) << path;
    EXPECT_EQ(::CompareFileTime(&created, &expected), 0) << path;
}

void ExpectInputTree(const std::string& name, const std::string& dest) {
    auto expected = Tree(Reference(name));
    auto actual = Tree(dest);
    ASSERT_GT(expected.size(), 1u) << "reference missing";
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].first, expected[i].first);
        EXPECT_TRUE(actual[i].second == expected[i].second)
            << actual[i].first << ": " << actual[i].second.size() << " bytes instead of "
            << expected[i].second.size();
        if (actual[i].first.back() != '/') {
            ExpectDosStamp(dest + actual[i].first);
        }
    }
}

class ToolArchiveTest : public ::testing::TestWithParam<const char*> {};

// On a drive whose free space is far below 4 GiB but a little above what the archive needs: a
// ZIP64 size placeholder taken for a size would not fit it.
TEST_P(ToolArchiveTest, ExtractsTheInputExactly) {
    std::string name = GetParam();
    TempDir dir;
    std::string dest = dir.File("out\\");
    ScriptedPrompt prompt({"secret", "other"});
    SmallDrive drive{dest, FolderBytes(Reference(name)) + (1 << 20)};
    auto reports = RunExtraction({Archive(name)}, dest, prompt.Prompt(),
                                 [&drive](ZipExtractor& extractor) { drive.Attach(extractor); });
    ASSERT_EQ(FinalStatus(reports), ExtractDone) << reports.back().text;
    ExpectInputTree(name, dest);
}

INSTANTIATE_TEST_SUITE_P(RealTools,
                         ToolArchiveTest,
                         ::testing::Values("zip-stored",
                                           "zip-deflated",
                                           "zip-encrypted",
                                           "zip-encrypted-other",
                                           "zip-two-passwords",
                                           "zip-streamed",
                                           "zip-streamed-stored",
                                           "zip-streamed-encrypted",
                                           "bsdtar-stored",
                                           "bsdtar-deflated",
                                           "7z-deflated",
                                           "7z-stored",
                                           "python",
                                           "python-streamed",
                                           "python-stored",
                                           "python-deflated",
                                           "python-streamed-stored",
                                           "python-streamed-deflated",
                                           "python-streamed-zip64",
                                           "python-streamed-zip64-deflated",
                                           "python-zip64-stored",
                                           "python-zip64-deflated",
                                           "zip64",
                                           "zip64-stored",
                                           "zip64-streamed",
                                           "zip64-encrypted",
                                           "zip64-streamed-encrypted"));

// Methods the worker does not unpack fail the archive before any of their bytes is written, the
// archive's first member as much as a later one.
class RefusedToolArchiveTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedToolArchiveTest, FailsAndWritesNoFile) {
    TempDir dir;
    std::string dest = dir.File("out\\");
    auto reports = RunExtraction({Archive(GetParam())}, dest);
    EXPECT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 1");
    auto written = Tree(dest);
    for (const auto& entry : written) {
        EXPECT_EQ(entry.first.back(), '/') << entry.first << " was written";
    }
    if (std::string(GetParam()).find("-first-") != std::string::npos) {
        EXPECT_TRUE(written.empty()) << "refused before anything of the archive was made";
    }
}

INSTANTIATE_TEST_SUITE_P(SevenZipMethods,
                         RefusedToolArchiveTest,
                         ::testing::Values("7z-bzip2",
                                           "7z-lzma",
                                           "7z-deflate64",
                                           "7z-ppmd",
                                           "7z-first-bzip2",
                                           "7z-first-lzma",
                                           "7z-first-ppmd"));

// Names in code page 932 whose second bytes are those of "\\", made by Info-ZIP zip. Runs in the
// Japanese locale's CTest case (unzip_tests.Japanese), where the ANSI code page is 932.
TEST(DoubleByteNames, ExtractedTreeEqualsTheInput) {
    if (::GetACP() != 932) {
        GTEST_SKIP() << "needs the Japanese code page; see unzip_tests.Japanese";
    }
    TempDir dir;
    std::string dest = dir.File("out\\");
    auto reports = RunExtraction({Archive("zip-dbcs")}, dest);
    ASSERT_EQ(FinalStatus(reports), ExtractDone) << reports.back().text;
    ExpectInputTree("zip-dbcs", dest);
}

TEST(ToolArchives, NestedFoldersAndFolderEntriesAreCreated) {
    TempDir dir;
    std::string dest = dir.File("nested\\");
    auto reports = RunExtraction({Archive("zip-deflated")}, dest);
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    DWORD deep = ::GetFileAttributesA((dest + "tree\\docs\\deep\\er").c_str());
    ASSERT_NE(deep, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(deep & FILE_ATTRIBUTE_DIRECTORY);
    DWORD empty = ::GetFileAttributesA((dest + "tree\\empty-folder").c_str());
    ASSERT_NE(empty, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(empty & FILE_ATTRIBUTE_DIRECTORY);
    std::string bytes = "x";
    ASSERT_TRUE(ReadFileBytes(dest + "tree\\empty.txt", &bytes));
    EXPECT_EQ(bytes, "");
}

TEST(ToolArchives, LaterArchiveOverwritesEarlierFiles) {
    TempDir dir;
    std::string dest = dir.File("both\\");
    ASSERT_TRUE(CreateDirectoryA(dest.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dest + "tree").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dest + "tree\\readme.txt", std::string(300000, 'o')));
    auto reports = RunExtraction({Archive("zip-stored"), Archive("python")}, dest);
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    std::string ours, reference;
    ASSERT_TRUE(ReadFileBytes(dest + "tree\\readme.txt", &ours));
    ASSERT_TRUE(ReadFileBytes(Reference("python") + "tree\\readme.txt", &reference));
    EXPECT_TRUE(ours == reference) << "a shorter member truncates the older file";
}

}  // namespace
