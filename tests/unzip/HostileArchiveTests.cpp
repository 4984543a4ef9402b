// Archives built to attack the reader: names that leave the destination or open devices, long
// paths, and every truncation of a valid archive.

#include <gtest/gtest.h>

#include <string>

#include "ExtractTestSupport.h"
#include "ZipTestWriter.h"
#include "unzip/ZipOutputPath.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

// A unique marker so that a file written outside the destination can be looked for by name.
std::string Marker() {
    return "nrhostile" + std::to_string(::GetCurrentProcessId());
}

class HostileNameTest : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileNameTest, ArchiveFailsAndNothingAroundTheDestinationChanges) {
    std::string name = GetParam();
    size_t at = name.find('@');
    if (at != std::string::npos) {
        name.replace(at, 1, Marker());
    }
    TempDir dir;
    std::string dest = dir.File("a\\b\\dest\\");
    ASSERT_TRUE(EnsureParentFolder(dest));
    ASSERT_TRUE(WriteFileBytes(dir.File("a\\b\\keep.txt"), "keep"));
    ASSERT_TRUE(WriteFileBytes(dest + "old.txt", "old"));
    ASSERT_TRUE(WriteFileBytes(dir.File("hostile.zip"), Entry(Stored(name, "HOSTILE DATA"))));
    auto before = Tree(dir.Path());
    auto reports = RunExtraction({dir.File("hostile.zip")}, dest);
    ASSERT_EQ(FinalStatus(reports), ExtractFailed) << name;
    EXPECT_EQ(reports.back().text, "Module 1");
    EXPECT_TRUE(Tree(dir.Path()) == before) << name;
    for (const char* root : {"C:\\", "Z:\\", "Z:\\tmp\\"}) {
        EXPECT_FALSE(FileExists(root + Marker())) << root;
    }
    // Every folder above the destination, up to its drive.
    for (std::string up = dest; up.size() > 3;) {
        up = up.substr(0, up.find_last_of('\\', up.size() - 2) + 1);
        EXPECT_FALSE(FileExists(up + Marker())) << up;
        EXPECT_FALSE(FileExists(up + "c" + Marker())) << up;
    }
}

INSTANTIATE_TEST_SUITE_P(Names,
                         HostileNameTest,
                         ::testing::Values("../@",
                                           "../../../../../../@",
                                           "..\\..\\..\\@",
                                           "..\\@",
                                           "a/b/../../../c@",
                                           "ok/..\\..\\@",
                                           "/@",
                                           "\\@",
                                           "//host/x@",
                                           "\\\\host\\share\\@",
                                           "C:\\@",
                                           "C:@",
                                           "W:../p@",
                                           "C:/@",
                                           "Setup.exe:s",
                                           "dir/file.txt:stream",
                                           "CON",
                                           "aux.txt",
                                           "sub/nul",
                                           "sub/Com1.log",
                                           "LPT9",
                                           "con .txt",
                                           "COM\xB9",
                                           "lpt\xB2.txt",
                                           "sub/Com\xB3.log",
                                           "CONOUT$",
                                           "clock$",
                                           "x/.../@",
                                           "x/.. /@",
                                           "..",
                                           "a/.."));

TEST(MemberNames, OrdinaryNamesAreAccepted) {
    for (const char* name :
         {"a.txt", "folder/", "a/b/c.txt", "a\\b\\c.txt", "./x", "..a/b..", "a..b", "CONSOLE.txt",
          "com10", "LPT", "auxiliary/x", ".hidden", "COM\xBC", "LPT\xB9x", "COM\xB0", "clock"}) {
        EXPECT_TRUE(IsSafeMemberName(name)) << name;
    }
}

// In code page 932 "so" (83 5C) and "hyou" (95 5C) end in the byte of "\": a name is split only
// at a separator that is a character of its own. Runs in unzip_tests.Japanese.
TEST(DoubleByteNames, SplitOnlyAtSeparatorCharacters) {
    if (::GetACP() != 932) {
        GTEST_SKIP() << "needs the Japanese code page; see unzip_tests.Japanese";
    }
    struct Case {
        const char* name;
        bool safe;
        bool folderEntry;
    };
    const Case cases[] = {
        {"\x83\x5c", true, false},
        {"\x83\x5c/", true, true},
        {"a\\\x95\x5c", true, false},
        {"\x95\x5c\\", true, true},
        {"\x83\x5c"
         "CON",
         true, false},
        {"\x83\x5c..\\x", true, false},
        {"\x83\x5c\\..\\..\\x", false, false},
        {"x/..\\\x83\x5c", false, false},
        {"\x83\x5c\\CON", false, false},
        {"\x83", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSafeMemberName(c.name), c.safe) << c.name;
        EXPECT_EQ(IsFolderEntry(c.name), c.folderEntry) << c.name;
    }
    std::string path;
    ASSERT_TRUE(BuildOutputPath("C:\\t\\\x95\x5c", "a/\x83\x5c.txt", &path));
    EXPECT_EQ(path, "C:\\t\\\x95\x5c\\a\\\x83\x5c.txt");
}

TEST(PathLimit, OutputPathBeyond259IsRefusedNotCut) {
    TempDir dir;
    std::string dest = dir.Path();
    ASSERT_EQ(dest.back(), '\\') << "no separator is added between the two";
    std::string name(259 - dest.size(), 'n');
    ASSERT_EQ((dest + name).size(), 259u);
    std::string longer = name + "x";
    ASSERT_TRUE(WriteFileBytes(dir.File("fits.zip"), Entry(Stored(name, "fits"))));
    ASSERT_TRUE(WriteFileBytes(dir.File("long.zip"), Entry(Stored(longer, "long"))));
    auto fits = RunExtraction({dir.File("fits.zip")}, dest);
    EXPECT_EQ(FinalStatus(fits), ExtractDone);
    EXPECT_TRUE(FileExists(dest + name));
    ::DeleteFileA((dest + name).c_str());
    auto longReports = RunExtraction({dir.File("long.zip")}, dest);
    EXPECT_EQ(FinalStatus(longReports), ExtractFailed);
    EXPECT_FALSE(FileExists(dest + name)) << "the name was cut into another path";
}

TEST(PathLimit, ThreeHundredByteNameFailsTheArchive) {
    TempDir dir;
    std::string name(300, 'q');
    ASSERT_TRUE(WriteFileBytes(dir.File("n.zip"), Entry(Stored(name, "q"))));
    auto before = Tree(dir.Path());
    auto reports = RunExtraction({dir.File("n.zip")}, dir.File("out\\"));
    EXPECT_EQ(FinalStatus(reports), ExtractFailed);
    auto after = Tree(dir.Path());
    after.erase(std::remove_if(
                    after.begin(), after.end(),
                    [](const std::pair<std::string, std::string>& e) { return e.first == "out/"; }),
                after.end());
    EXPECT_TRUE(after == before);
}

TEST(PathLimit, LongDestinationFailsTheArchive) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("d.zip"), Entry(Stored("a", "a"))));
    std::string dest = dir.Path() + std::string(260 - dir.Path().size(), 'd') + "\\";
    auto reports = RunExtraction({dir.File("d.zip")}, dest);
    EXPECT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 1");
}

TEST(PathLimit, LongArchivePathFailsAtStart) {
    TempDir dir;
    std::string path = dir.Path() + std::string(270 - dir.Path().size(), 'p') + ".zip";
    ExtractRecorder recorder;
    ZipExtractor extractor;
    recorder.Attach(&extractor, dir.File("out\\"));
    extractor.Start({path}, {"Long"});
    EXPECT_FALSE(extractor.WorkerRunning());
    EXPECT_EQ(recorder.LastStatus(), ExtractFailed);
    EXPECT_EQ(recorder.LastText(), "Long");
}

// Every prefix of a valid archive: no crash, and no member grows past the data present.
TEST(Truncation, EveryPrefixOfATwoMemberArchive) {
    std::string one = PatternBytes(60, 21);
    std::string two;
    for (int i = 0; i < 40; ++i) {
        two += "line " + std::to_string(i) + " of the second member\n";
    }
    ZipBuilder builder;
    builder.Add(Stored("one.bin", one));
    builder.Add(Deflated("dir/two.txt", two));
    std::string archive = builder.Bytes();
    size_t oneEnd = Entry(Stored("one.bin", one)).size();
    TempDir dir;
    for (size_t length = 0; length <= archive.size(); ++length) {
        std::string dest = dir.File("out" + std::to_string(length) + "\\");
        std::string path = dir.File("cut.zip");
        ASSERT_TRUE(WriteFileBytes(path, archive.substr(0, length)));
        auto reports = RunExtraction({path}, dest);
        int32_t status = FinalStatus(reports);
        ASSERT_TRUE(status == ExtractDone || status == ExtractFailed) << length;
        std::string bytes;
        if (ReadFileBytes(dest + "one.bin", &bytes)) {
            size_t present = length > 30 + 7 ? length - 30 - 7 : 0;
            EXPECT_LE(bytes.size(), present) << length;
            EXPECT_EQ(bytes, one.substr(0, bytes.size())) << length;
        }
        if (ReadFileBytes(dest + "dir\\two.txt", &bytes)) {
            EXPECT_GT(length, oneEnd) << length;
            EXPECT_EQ(bytes, two.substr(0, bytes.size())) << length;
        }
        if (length == archive.size()) {
            EXPECT_EQ(status, ExtractDone);
            EXPECT_EQ(bytes, two);
        }
        RemoveTree(dest);
    }
}

}  // namespace
