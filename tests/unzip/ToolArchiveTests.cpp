// Archives made by Info-ZIP zip, 7z and Python's zipfile, extracted by the worker and compared
// with Info-ZIP unzip's own extraction of the same archives.

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

class ToolArchiveTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ToolArchiveTest, ExtractsLikeInfoZipUnzip) {
    std::string name = GetParam();
    TempDir dir;
    std::string dest = dir.File("out\\");
    ScriptedPrompt prompt({"secret", "other"});
    auto reports = RunExtraction({Archive(name)}, dest, prompt.Prompt());
    ASSERT_EQ(FinalStatus(reports), ExtractDone) << reports.back().text;
    auto expected = Tree(Reference(name));
    auto actual = Tree(dest);
    ASSERT_GT(expected.size(), 1u) << "reference extraction missing";
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].first, expected[i].first);
        EXPECT_TRUE(actual[i].second == expected[i].second) << actual[i].first;
        if (actual[i].first.back() != '/') {
            ExpectDosStamp(dest + actual[i].first);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealTools,
                         ToolArchiveTest,
                         ::testing::Values("zip-stored",
                                           "zip-deflated",
                                           "zip-encrypted",
                                           "zip-encrypted-other",
                                           "zip-two-passwords",
                                           "zip-streamed",
                                           "7z-deflated",
                                           "7z-stored",
                                           "python",
                                           "python-streamed"));

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
