// The extraction worker: its reports, per-mille values, pause gate and cancel.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ExtractTestSupport.h"
#include "ZipTestWriter.h"
#include "common/UniqueHandle.h"
#include "unzip/ZipOutputPath.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

class Event {
  public:
    Event() : handle_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    void Set() { ::SetEvent(handle_.get()); }
    bool Wait(DWORD ms = 60000) {
        return ::WaitForSingleObject(handle_.get(), ms) == WAIT_OBJECT_0;
    }

  private:
    KernelHandle handle_;
};

TEST(Extractor, EmptyListsStartAndFinishAtOnce) {
    TempDir dir;
    auto reports = RunExtraction({}, dir.Path());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].status, ExtractStarted);
    EXPECT_EQ(reports[1].status, ExtractDone);
    EXPECT_EQ(reports[1].a, 1000);
    EXPECT_EQ(reports[1].b, 1000);
}

TEST(Extractor, MissingArchiveAtStartFailsOnCallerThreadWithoutWorker) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("one.zip"), Entry(Stored("a.txt", "a"))));
    ExtractRecorder recorder;
    ZipExtractor extractor;
    recorder.Attach(&extractor, dir.File("out\\"));
    extractor.Start({dir.File("one.zip"), dir.File("gone.zip")}, {"First", "Second"});
    EXPECT_FALSE(extractor.WorkerRunning());
    auto reports = recorder.Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].status, ExtractStarted);
    EXPECT_EQ(reports[1].status, ExtractFailed);
    EXPECT_EQ(reports[1].text, "Second");
    EXPECT_EQ(reports[0].thread, ::GetCurrentThreadId());
    EXPECT_EQ(reports[1].thread, ::GetCurrentThreadId());
    EXPECT_FALSE(FileExists(dir.File("out\\a.txt")));
    extractor.Pause(true);  // no worker: nothing to do, nothing to hang on
    extractor.Cancel();
}

TEST(Extractor, PerMilleValuesFollowTheCompressedBytes) {
    TempDir dir;
    std::string first = Entry(Stored("a.bin", std::string(1000, 'a'))) +
                        Entry(Stored("b.bin", std::string(3000, 'b')));
    std::string second = Entry(Deflated("c.txt", std::string(50000, 'c')));
    size_t cSize = Deflate(std::string(50000, 'c')).size();
    ASSERT_TRUE(WriteFileBytes(dir.File("1.zip"), first));
    ASSERT_TRUE(WriteFileBytes(dir.File("2.zip"), second));
    double total = static_cast<double>(first.size() + second.size());
    auto reports = RunExtraction({dir.File("1.zip"), dir.File("2.zip")}, dir.File("out\\"));
    ASSERT_EQ(reports.size(), 7u);
    EXPECT_EQ(reports[0].status, ExtractStarted);
    EXPECT_EQ(reports[1].status, ExtractProgress);
    EXPECT_EQ(reports[1].text, "a.bin");
    EXPECT_EQ(reports[1].a, 0);
    EXPECT_EQ(reports[1].b, 0);
    EXPECT_EQ(reports[2].text, "b.bin");
    EXPECT_EQ(reports[2].a, static_cast<int32_t>(1000 * 1000.0 / total));
    EXPECT_EQ(reports[2].b, static_cast<int32_t>(1000 * 1000.0 / first.size()));
    EXPECT_EQ(reports[3].status, ArchiveDone);
    EXPECT_EQ(reports[3].a, static_cast<int32_t>(4000 * 1000.0 / total));
    EXPECT_EQ(reports[3].b, 1000);
    EXPECT_EQ(reports[4].status, ExtractProgress);
    EXPECT_EQ(reports[4].text, "c.txt");
    EXPECT_EQ(reports[4].a, reports[3].a);
    EXPECT_EQ(reports[4].b, 0);
    EXPECT_EQ(reports[5].status, ArchiveDone);
    EXPECT_EQ(reports[5].a, static_cast<int32_t>((4000 + cSize) * 1000.0 / total));
    EXPECT_EQ(reports[6].status, ExtractDone);
    EXPECT_NE(reports[6].thread, ::GetCurrentThreadId());
}

TEST(Extractor, HostileSizesNeverPushPerMillePastOneThousand) {
    TempDir dir;
    TestMember liar = Stored("liar.bin", "short");
    liar.compressedSize = 0xFFFFFFF0u;
    liar.rawSizes = true;
    ASSERT_TRUE(WriteFileBytes(dir.File("x.zip"), Entry(liar) + Entry(Stored("b", "b"))));
    auto reports = RunExtraction({dir.File("x.zip")}, dir.File("out\\"));
    ASSERT_EQ(FinalStatus(reports), ExtractFailed) << "the archive ends inside liar.bin";
    for (const Report& r : reports) {
        EXPECT_GE(r.a, 0);
        EXPECT_LE(r.a, 1000);
        EXPECT_LE(r.b, 1000);
    }
}

TEST(Extractor, FolderEntryMakesAFolderAndNoFile) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("f.zip"),
                               Entry(Stored("folder/", "")) + Entry(Stored("x/y/z.txt", "deep"))));
    auto reports = RunExtraction({dir.File("f.zip")}, dir.File("out"));  // no trailing "\"
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    DWORD folder = ::GetFileAttributesA(dir.File("out\\folder").c_str());
    ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File("out\\x\\y\\z.txt"), &bytes));
    EXPECT_EQ(bytes, "deep");
}

// Which members an archive's layout gives: every local header is a member, the first one too,
// ZIP64 sizes are the real ones, and a folder is a folder whatever method its entry names.
struct LayoutCase {
    const char* name;
    std::string archive;
    int32_t status;
    std::vector<std::pair<std::string, std::string>> tree;  // what the destination then holds
};

TestMember WithMethod(TestMember m, uint16_t method) {
    m.method = method;
    return m;
}

std::vector<LayoutCase> LayoutCases() {
    std::string text = PatternBytes(300000, 9);
    std::string ok = Entry(Stored("after.txt", "after"));
    std::vector<std::pair<std::string, std::string>> okTree = {{"after.txt", "after"}};
    std::vector<std::pair<std::string, std::string>> zTree = {{"after.txt", "after"},
                                                              {"z.txt", text}};
    std::string folders;
    auto folderTree = okTree;
    for (uint16_t method : {1, 2, 3, 4, 5, 6, 9, 12, 14, 98, 99}) {
        std::string name = "f" + std::to_string(method) + "/";
        folders += Entry(WithMethod(Stored(name, ""), method));
        folderTree.push_back({name, ""});
    }
    std::sort(folderTree.begin(), folderTree.end());
    std::string timeBlock("UT\x05\x00\x01\x00\x00\x00\x00", 9);
    TestMember afterTimes = Zip64(Deflated("z.txt", text));
    afterTimes.extra = timeBlock + afterTimes.extra;
    TestMember shortField = Zip64(Stored("z.txt", text));
    shortField.extra.resize(shortField.extra.size() - 8);
    shortField.extra[2] = 8;
    TestMember cutBlock = Zip64(Stored("z.txt", text));
    cutBlock.extra.resize(cutBlock.extra.size() - 4);
    TestMember noField = Stored("z.txt", text);
    noField.uncompressedSize = 0xFFFFFFFF;
    // The compressed size in the ZIP64 field: one byte past the archive, the largest offset, all
    // bits set.
    auto compressedSize = [&text](uint64_t size) {
        TestMember m = Zip64(Stored("z.txt", text));
        m.extra.resize(12);
        PutLe64(&m.extra, size);
        return m;
    };
    TestMember beyond = compressedSize(text.size() + ok.size() + 1);
    TestMember largest = compressedSize(0x7FFFFFFFFFFFFFFFull);
    TestMember allOnes = compressedSize(~uint64_t{0});
    // A signature in a stub whose header cannot be read: no member, so passed over.
    std::string stub =
        std::string(3000, 'E') + Entry(WithMethod(Stored(std::string("st\0ub", 5), "x"), 13));
    return {
        {"OtherMethodAfterAFirstMember",
         Entry(Stored("first.txt", "1")) + Entry(WithMethod(Stored("m.txt", "data"), 1)) + ok,
         ExtractFailed,
         {{"first.txt", "1"}}},
        {"FirstMemberAfterAStub",
         std::string(3000, 'E') + Entry(WithMethod(Stored("bz.txt", "bz"), 12)) + ok,
         ExtractFailed,
         {}},
        {"StubWithABrokenHeaderIsPassedOver", stub + ok, ExtractDone, okTree},
        {"FoldersOfAnyMethod", folders + ok, ExtractDone, folderTree},
        {"FolderWithDataOfOtherMethod",
         Entry(WithMethod(Stored("f/", "data"), 14)) + ok,
         ExtractFailed,
         {}},
        {"Zip64CompressedSizeOnly", Entry(Zip64(Deflated("z.txt", text), false)) + ok, ExtractDone,
         zTree},
        {"Zip64AfterAnotherBlock", Entry(afterTimes) + ok, ExtractDone, zTree},
        {"Zip64FieldMissing", Entry(noField) + ok, ExtractFailed, {}},
        {"Zip64FieldShort", Entry(shortField) + ok, ExtractFailed, {}},
        {"Zip64BlockCutByTheExtraField", Entry(cutBlock) + ok, ExtractFailed, {}},
        {"Zip64FieldShortAfterAFirstMember",
         Entry(Stored("first.txt", "1")) + Entry(shortField),
         ExtractFailed,
         {{"first.txt", "1"}}},
        {"Zip64SizePastTheArchive", Entry(beyond) + ok, ExtractFailed, {}},
        {"Zip64SizeOfTheLargestOffset", Entry(largest) + ok, ExtractFailed, {}},
        {"Zip64SizeOfAllOnes", Entry(allOnes) + ok, ExtractFailed, {}},
    };
}

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, ArchiveGivesItsMembers) {
    const LayoutCase& c = GetParam();
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("l.zip"), c.archive));
    auto reports = RunExtraction({dir.File("l.zip")}, dir.File("out\\"));
    EXPECT_EQ(FinalStatus(reports), c.status);
    auto tree = Tree(dir.File("out\\"));
    ASSERT_EQ(tree.size(), c.tree.size());
    for (size_t i = 0; i < tree.size(); ++i) {
        EXPECT_EQ(tree[i].first, c.tree[i].first);
        EXPECT_TRUE(tree[i].second == c.tree[i].second) << tree[i].first;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases,
                         LayoutTest,
                         ::testing::ValuesIn(LayoutCases()),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.name);
                         });

// Something in the destination keeps the second of three members from being written.
struct Obstacle {
    const char* name;
    std::function<void(const std::string& path, FileHandle* held)> place;
};

class UnwritableMemberTest : public ::testing::TestWithParam<Obstacle> {};

TEST_P(UnwritableMemberTest, FailsTheArchiveAndLeavesTheObstacle) {
    TempDir dir;
    std::string dest = dir.File("out\\");
    ASSERT_TRUE(EnsureParentFolder(dest));
    FileHandle held;
    GetParam().place(dest + "second.txt", &held);
    if (IsSkipped()) {
        return;
    }
    ASSERT_TRUE(WriteFileBytes(dir.File("w.zip"), Entry(Stored("first.txt", "1")) +
                                                      Entry(Deflated("second.txt", "new data")) +
                                                      Entry(Stored("third.txt", "3"))));
    auto reports = RunExtraction({dir.File("w.zip")}, dest);
    held.reset();
    ASSERT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 1");
    EXPECT_TRUE(FileExists(dest + "first.txt")) << "files written so far stay";
    EXPECT_FALSE(FileExists(dest + "third.txt")) << "the walk went on";
    std::string bytes;
    if (ReadFileBytes(dest + "second.txt", &bytes)) {
        EXPECT_EQ(bytes, "old data");
    }
    ::SetFileAttributesA((dest + "second.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles,
    UnwritableMemberTest,
    ::testing::Values(
        Obstacle{"ReadOnlyFile",
                 [](const std::string& path, FileHandle*) {
                     ASSERT_TRUE(WriteFileBytes(path, "old data"));
                     ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
                     FileHandle probe(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
                     if (probe) {
                         GTEST_SKIP() << "read-only files are writable here (Wine run as root)";
                     }
                 }},
        Obstacle{"FileHeldWithoutSharing",
                 [](const std::string& path, FileHandle* held) {
                     ASSERT_TRUE(WriteFileBytes(path, "old data"));
                     held->reset(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
                     ASSERT_TRUE(held->valid());
                 }},
        Obstacle{"FolderOfTheSameName",
                 [](const std::string& path, FileHandle*) {
                     ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
                     ASSERT_TRUE(WriteFileBytes(path + "\\inside", "i"));
                 }}),
    [](const ::testing::TestParamInfo<Obstacle>& info) { return std::string(info.param.name); });

TEST(Extractor, FolderEntriesOverExistingFoldersAreNoError) {
    TempDir dir;
    std::string dest = dir.File("out\\");
    ASSERT_TRUE(EnsureParentFolder(dest + "kept\\x"));
    TestMember withData = Stored("data/", "bytes a folder entry should not carry");
    ASSERT_TRUE(WriteFileBytes(dir.File("f.zip"), Entry(Stored("kept/", "")) + Entry(withData) +
                                                      Entry(Stored("a\\", "")) +
                                                      Entry(Stored("data/file.txt", "f"))));
    auto reports = RunExtraction({dir.File("f.zip")}, dest);
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    auto tree = Tree(dest);
    EXPECT_EQ(tree, (std::vector<std::pair<std::string, std::string>>{
                        {"a/", ""}, {"data/", ""}, {"data/file.txt", "f"}, {"kept/", ""}}));
}

// Members whose CRC and sizes follow the data in a descriptor, as zip writers that cannot seek
// make them: stored data ends only where a descriptor states exactly the bytes before it.
struct DescriptorCase {
    const char* name;
    TestMember member;
    std::string following;  // the descriptor and anything else between the member and the next
    std::string expected;   // the member's file; no file at all when the archive must fail
    bool extracts;
};

std::string Descriptor(const std::string& plain,
                       bool signature,
                       bool zip64 = false,
                       uint32_t crcChange = 0,
                       uint32_t storedLength = 0) {
    std::string out = signature ? std::string("PK\x07\x08", 4) : std::string();
    PutLe32(&out, Crc(plain) + crcChange);
    uint32_t length = storedLength != 0 ? storedLength : static_cast<uint32_t>(plain.size());
    for (int size = 0; size < 2; ++size) {
        PutLe32(&out, length);
        if (zip64) {
            PutLe32(&out, 0);
        }
    }
    return out;
}

TestMember Described(TestMember m, uint32_t headerSize = 0) {
    m.flags = kZipFlagDescriptor;
    m.crc = 0;
    m.compressedSize = headerSize;
    m.uncompressedSize = headerSize;
    m.rawSizes = true;
    return m;
}

std::vector<DescriptorCase> DescriptorCases() {
    std::string plain = PatternBytes(70000, 3);
    std::string zip64Extra("\x01\x00\x10\x00", 4);
    zip64Extra += std::string(16, '\0');
    TestMember zip64 = Described(Stored("s.bin", plain));
    zip64.extra = zip64Extra;
    // Signatures and descriptors for other lengths inside the data are passed over.
    std::string decoys = "PK\x07\x08" + Descriptor("x", true) + Descriptor(plain, false) +
                         "PK\x07\x08" + PatternBytes(5000, 4);
    decoys = decoys + Descriptor(decoys.substr(0, 20), false) + "tail";
    std::string acrossTheBuffer = PatternBytes(1048576 - 7, 5);
    std::string severalBuffers = PatternBytes(3 * 1048576 + 11, 6);
    // Twelve zero bytes state an empty member; here they are only data.
    std::string zeros = std::string(4096, '\0') + plain;
    std::string text(70000, 't');
    TestMember deflated = Described(Deflated("s.bin", text));
    std::string deflatedDescriptor("PK\x07\x08", 4);
    PutLe32(&deflatedDescriptor, Crc(text));
    PutLe32(&deflatedDescriptor, static_cast<uint32_t>(deflated.data.size()));
    PutLe32(&deflatedDescriptor, static_cast<uint32_t>(text.size()));
    return {
        {"Signature", Described(Stored("s.bin", plain)), Descriptor(plain, true), plain, true},
        {"NoSignature", Described(Stored("s.bin", plain)), Descriptor(plain, false), plain, true},
        {"Zip64", zip64, Descriptor(plain, true, true), plain, true},
        {"Empty", Described(Stored("s.bin", "")), Descriptor("", true), "", true},
        {"LeadingZeros", Described(Stored("s.bin", zeros)), Descriptor(zeros, false), zeros, true},
        {"DecoysInTheData", Described(Stored("s.bin", decoys)), Descriptor(decoys, false), decoys,
         true},
        {"AcrossTheBuffer", Described(Stored("s.bin", acrossTheBuffer)),
         Descriptor(acrossTheBuffer, true), acrossTheBuffer, true},
        {"SeveralBuffers", Described(Stored("s.bin", severalBuffers)),
         Descriptor(severalBuffers, false), severalBuffers, true},
        // A streaming writer may leave a size in the header that is not the data's.
        {"HeaderSizeNotTheData", Described(Stored("s.bin", plain), 100), Descriptor(plain, true),
         plain, true},
        {"DeflatedEndsWithItsStream", deflated, deflatedDescriptor, text, true},
        {"NoDescriptor", Described(Stored("s.bin", plain)), "", "", false},
        {"WrongCrc", Described(Stored("s.bin", plain)), Descriptor(plain, true, false, 1), "",
         false},
        {"WrongLength", Described(Stored("s.bin", plain)),
         Descriptor(plain, true, false, 0, static_cast<uint32_t>(plain.size() - 1)), "", false},
        {"Zip64MemberWithShortDescriptor", zip64, Descriptor(plain, true), "", false},
    };
}

class DescriptorTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorTest, DataEndsAtTheDescriptorThatStatesIt) {
    const DescriptorCase& c = GetParam();
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("d.zip"), Entry(Stored("first.txt", "first")) +
                                                      Entry(c.member) + c.following +
                                                      Entry(Stored("last.txt", "last"))));
    auto reports = RunExtraction({dir.File("d.zip")}, dir.File("out\\"));
    std::string bytes;
    if (!c.extracts) {
        EXPECT_EQ(FinalStatus(reports), ExtractFailed);
        EXPECT_FALSE(FileExists(dir.File("out\\s.bin")));
        return;
    }
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    ASSERT_TRUE(ReadFileBytes(dir.File("out\\s.bin"), &bytes));
    EXPECT_TRUE(bytes == c.expected) << bytes.size() << " bytes instead of " << c.expected.size();
    ASSERT_TRUE(ReadFileBytes(dir.File("out\\last.txt"), &bytes));
    EXPECT_EQ(bytes, "last") << "found by scanning on";
}

INSTANTIATE_TEST_SUITE_P(Members,
                         DescriptorTest,
                         ::testing::ValuesIn(DescriptorCases()),
                         [](const ::testing::TestParamInfo<DescriptorCase>& info) {
                             return std::string(info.param.name);
                         });

// A short file must never reach the installer as if it were whole.
TEST(Extractor, DamagedDataFailsTheArchive) {
    std::string plain = PatternBytes(200000, 13);
    TestMember cutDeflated = Deflated("damaged.bin", plain);
    cutDeflated.data.resize(cutDeflated.data.size() / 3);
    TestMember garbage = Deflated("damaged.bin", std::string(5000, 'x'));
    garbage.data = std::string("\xFF\xFF\xFF\xFF") + PatternBytes(3000, 9);  // reserved block
    for (const TestMember& damaged : {cutDeflated, garbage}) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("d.zip"), Entry(damaged) + Entry(Stored("next", "n"))));
        auto reports = RunExtraction({dir.File("d.zip")}, dir.File("out\\"));
        EXPECT_EQ(FinalStatus(reports), ExtractFailed);
        EXPECT_FALSE(FileExists(dir.File("out\\damaged.bin")));
    }
}

TEST(Extractor, InflationStopsAtDeclaredSize) {
    TempDir dir;
    TestMember bomb = Deflated("bomb.bin", std::string(6 * 1048576, 'z'));
    bomb.uncompressedSize = 4096;
    ASSERT_TRUE(WriteFileBytes(dir.File("b.zip"), Entry(bomb) + Entry(Stored("after", "a"))));
    auto reports = RunExtraction({dir.File("b.zip")}, dir.File("out\\"));
    ASSERT_EQ(FinalStatus(reports), ExtractDone);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File("out\\bomb.bin"), &bytes));
    EXPECT_EQ(bytes, std::string(4096, 'z'));
    EXPECT_TRUE(FileExists(dir.File("out\\after")));
}

// Pause and cancel work on an archive with one large member between two small ones.
class ExtractorControl : public ::testing::Test {
  protected:
    void SetUp() override {
        big = PatternBytes(24 * 1048576, 11);
        ASSERT_TRUE(WriteFileBytes(dir.File("p.zip"), Entry(Stored("first", "1")) +
                                                          Entry(Stored("big", big)) +
                                                          Entry(Stored("after", "after"))));
        recorder.Attach(&extractor, dest);
    }
    void StartAndReachBig() {
        recorder.hook = [this](const Report& r) {
            if (r.status == ExtractProgress && r.text == "big") {
                reachedBig.Set();
                releaseBig.Wait();
            }
        };
        extractor.Start({dir.File("p.zip")}, {"Pausable"});
        ASSERT_TRUE(reachedBig.Wait());
    }
    size_t BigSize() {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExA((dest + "big").c_str(), GetFileExInfoStandard, &data)) {
            return 0;
        }
        return data.nFileSizeLow;
    }

    TempDir dir;
    std::string dest = dir.File("out\\");
    std::string big;
    Event reachedBig;
    Event releaseBig;
    ExtractRecorder recorder;
    ZipExtractor extractor;
};

TEST_F(ExtractorControl, PauseDuringLargeMemberTakesEffectAfterIt) {
    Event pausedSeen;
    std::atomic<bool> paused{false};
    StartAndReachBig();
    recorder.hook = [&](const Report& r) {
        if (r.status == ExtractProgress && r.text == "after" && paused) {
            pausedSeen.Set();
        }
    };
    paused = true;
    extractor.Pause(true);
    releaseBig.Set();
    while (BigSize() < big.size()) {
        ::Sleep(10);
    }
    ::Sleep(400);  // room for a gate that ignored the pause to report the next member
    EXPECT_FALSE(pausedSeen.Wait(0)) << "the next member started while paused";
    EXPECT_FALSE(FileExists(dest + "after"));
    EXPECT_TRUE(extractor.WorkerRunning());
    paused = false;
    extractor.Pause(false);
    WaitForEnd(extractor);
    EXPECT_EQ(recorder.LastStatus(), ExtractDone);
    EXPECT_TRUE(FileExists(dest + "after"));
}

TEST_F(ExtractorControl, CancelWhilePausedEndsTheWorker) {
    StartAndReachBig();
    extractor.Pause(true);
    releaseBig.Set();
    while (BigSize() < big.size()) {
        ::Sleep(10);
    }
    extractor.Cancel();
    EXPECT_FALSE(extractor.WorkerRunning()) << "Cancel returned before the worker ended";
    EXPECT_EQ(recorder.LastStatus(), ExtractCancelled);
    EXPECT_EQ(recorder.LastText(), "after");
    EXPECT_FALSE(FileExists(dest + "after"));
}

TEST_F(ExtractorControl, CancelBoundedWhileWorkerIsHeldThenEndsBetweenChunks) {
    StartAndReachBig();  // the worker now sits in the report for "big"
    extractor.SetCancelWait(200);
    extractor.Cancel();
    EXPECT_TRUE(extractor.WorkerRunning()) << "the report still holds the worker";
    releaseBig.Set();
    WaitForEnd(extractor);
    EXPECT_EQ(recorder.LastStatus(), ExtractCancelled);
    EXPECT_EQ(recorder.LastText(), "big");
    EXPECT_LT(BigSize(), big.size()) << "the copy went on after the cancel request";
    EXPECT_FALSE(FileExists(dest + "after"));
}

TEST(ExtractorLifetime, DestroyingAPausedExtractorEndsItsWorkerFirst) {
    TempDir dir;
    ASSERT_TRUE(
        WriteFileBytes(dir.File("z.zip"), Entry(Stored("one", "1")) + Entry(Stored("two", "2"))));
    ExtractRecorder recorder;
    Event reached;
    {
        ZipExtractor extractor;
        recorder.Attach(&extractor, dir.File("out\\"));
        recorder.hook = [&](const Report& r) {
            if (r.status == ExtractProgress && r.text == "one") {
                extractor.Pause(true);
                reached.Set();
            }
        };
        extractor.Start({dir.File("z.zip")}, {"Z"});
        ASSERT_TRUE(reached.Wait());
    }
    auto reports = recorder.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().status, ExtractCancelled);
    EXPECT_FALSE(FileExists(dir.File("out\\two")));
}

TEST(ExtractorEvent, DoneEventIsSharedByNameAndSignalledAtTheEnd) {
    TempDir dir;
    // The progress dialog creates the event first, for manual reset.
    KernelHandle dialogs(::CreateEventA(nullptr, TRUE, TRUE, "Event Object"));
    ASSERT_TRUE(dialogs);
    ASSERT_TRUE(WriteFileBytes(dir.File("e.zip"), Entry(Stored("e", "e"))));
    ExtractRecorder recorder;
    ZipExtractor extractor;
    EXPECT_EQ(::WaitForSingleObject(dialogs.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "reset when the extractor opens it";
    recorder.Attach(&extractor, dir.File("out\\"));
    extractor.Start({dir.File("e.zip")}, {"E"});
    ASSERT_EQ(::WaitForSingleObject(dialogs.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    WaitForEnd(extractor);
    EXPECT_EQ(recorder.LastStatus(), ExtractDone);
    EXPECT_EQ(::WaitForSingleObject(dialogs.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0))
        << "stays signalled: manual reset";
}

}  // namespace

// Links planted by tests/support/plant-links: Wine reports a Unix link to a folder as Windows
// reports a junction.
const char kLinks[] = "C:\\netrefit-links\\";

bool IsPlantedLink(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(ExtractorLinks, ALinkInTheDestinationIsRefusedNotFollowed) {
    std::string links = kLinks;
    ASSERT_TRUE(IsPlantedLink(links + "linked") && IsPlantedLink(links + "extract\\link"))
        << "plant them first: tests/support/plant-links PREFIX";
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("l.zip"), Entry(Stored("link/planted.txt", "x")) +
                                                      Entry(Stored("planted.txt", "x"))));
    struct {
        const char* name;
        std::string destination;
    } cases[] = {
        {"DestinationIsALink", links + "linked\\"},
        {"MemberFolderIsALink", links + "extract\\"},
    };
    for (const auto& c : cases) {
        auto reports = RunExtraction({dir.File("l.zip")}, c.destination);
        EXPECT_EQ(FinalStatus(reports), ExtractFailed) << c.name;
        EXPECT_FALSE(FileExists(links + "outside\\planted.txt")) << c.name;
        EXPECT_TRUE(FileExists(links + "outside\\victim.txt")) << c.name;
    }
}

// The owner's handle is the archive: read through it (here another file than the path names, to
// tell the two apart) and given back once per archive, whatever became of it.
TEST(ExtractorFiles, EachArchiveIsReadThroughTheOwnersHandleAndGivenBack) {
    TempDir dir;
    std::string named = dir.File("named.zip");
    std::string heldPath = dir.File("held.zip");
    ASSERT_TRUE(WriteFileBytes(named, Entry(Stored("a.txt", "by path"))));
    ASSERT_TRUE(WriteFileBytes(
        heldPath, Entry(Deflated("a.txt", PatternBytes(300000, 3))) + Entry(Stored("b.txt", "b"))));
    FileHandle held(::CreateFileA(heldPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    std::vector<std::string> events;
    auto reports =
        RunExtraction({named, named}, dir.File("out\\"), nullptr, [&](ZipExtractor& extractor) {
            extractor.SetArchiveFiles(
                {[&](size_t index) {
                     events.push_back("acquire " + std::to_string(index));
                     // The second is refused by its owner: it may not be used.
                     return index == 0 ? held.get() : HANDLE(nullptr);
                 },
                 [&](size_t index) { events.push_back("release " + std::to_string(index)); }});
        });
    EXPECT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 2");
    EXPECT_EQ(events,
              (std::vector<std::string>{"acquire 0", "release 0", "acquire 1", "release 1"}));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir.File("out\\a.txt"), &bytes));
    EXPECT_EQ(bytes, PatternBytes(300000, 3));
    EXPECT_TRUE(FileExists(dir.File("out\\b.txt")));
}
