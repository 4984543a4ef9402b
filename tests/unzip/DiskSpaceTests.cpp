// An archive cannot fill the drive: the guard's arithmetic against scripted free-space answers,
// then whole extractions, bombs among them, against a small artificial drive.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "ExtractTestSupport.h"
#include "ZipTestWriter.h"
#include "unzip/DiskSpaceGuard.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

constexpr uint64_t kMargin = DiskSpaceGuard::kMargin;
constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kRequery = DiskSpaceGuard::kRequeryBytes;
constexpr int kRequeryMiB = static_cast<int>(kRequery / kMiB);

// Free-space answers in order; the last one repeats. No answers: the query fails.
struct ScriptedDrive {
    std::vector<uint64_t> answers;
    int asked = 0;

    FreeSpaceQuery Query() {
        return [this](const std::string&, uint64_t* available) {
            if (answers.empty()) {
                return false;
            }
            size_t at = std::min<size_t>(static_cast<size_t>(asked), answers.size() - 1);
            ++asked;
            *available = answers[at];
            return true;
        };
    }
};

enum StepKind { Begin, Allow };

struct Step {
    StepKind kind;
    uint64_t bytes;
    bool allowed;
    int repeat = 1;
};

struct GuardCase {
    const char* name;
    std::vector<uint64_t> answers;
    std::vector<Step> steps;
};

class GuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardTest, StepsAreAllowedOrRefusedAsExpected) {
    const GuardCase& c = GetParam();
    ScriptedDrive drive{c.answers};
    DiskSpaceGuard guard;
    guard.SetFolder("C:\\out\\");
    guard.SetQuery(drive.Query());
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        for (int n = 0; n < step.repeat; ++n) {
            bool allowed =
                step.kind == Begin ? guard.BeginMember(step.bytes) : guard.Allow(step.bytes);
            ASSERT_EQ(allowed, step.allowed) << "step " << i << ", time " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    GuardTest,
    ::testing::Values(
        GuardCase{"DeclaredSizeThatJustFits",
                  {kMargin + 1000},
                  {{Begin, 1000, true}, {Allow, 1000, true}, {Allow, 1, false}}},
        GuardCase{"DeclaredSizeOneByteTooLarge", {kMargin + 1000}, {{Begin, 1001, false}}},
        GuardCase{"DriveAlreadyBelowTheMargin",
                  {kMargin - 1},
                  {{Begin, 0, true}, {Allow, 0, true}, {Allow, 1, false}}},
        GuardCase{"DriveExactlyAtTheMargin", {kMargin}, {{Begin, 0, true}, {Allow, 1, false}}},
        GuardCase{"UnreadableDrive", {}, {{Begin, 0, false}, {Allow, 1, false}}},
        // No declared size: the writes alone count, across the questions asked meanwhile.
        GuardCase{
            "UndeclaredWritesStopAtTheMargin",
            {kMargin + 2 * kRequery + 10 * kMiB},
            {{Begin, 0, true}, {Allow, kMiB / 2, true, 4 * kRequeryMiB + 20}, {Allow, 1, false}}},
        // Another program takes all but 1 MiB while the first few MiB are written.
        GuardCase{"SpaceUsedByOthersMeanwhile",
                  {kMargin + 100 * kRequery, kMargin + kMiB},
                  {{Begin, 0, true},
                   {Allow, kMiB, true, kRequeryMiB},
                   {Allow, kMiB, true},
                   {Allow, 1, false}}},
        // A drive that does not show the latest writes yet does not give room twice.
        GuardCase{"LaggingAnswerDoesNotWiden",
                  {kMargin + kRequery + 2 * kMiB},
                  {{Begin, 0, true}, {Allow, kMiB, true, kRequeryMiB + 2}, {Allow, 1, false}}},
        // Between members a fresh answer counts: an overwritten file gave its space back.
        GuardCase{"NextMemberAsksAgainWhenTheEstimateIsTooSmall",
                  {kMargin + kMiB, kMargin + 10 * kMiB},
                  {{Begin, kMiB, true},
                   {Allow, kMiB, true},
                   {Begin, 2 * kMiB, true},
                   {Allow, 2 * kMiB, true}}}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

TEST(Guard, AsksEveryFewMebibytesNotPerWrite) {
    ScriptedDrive drive{{uint64_t{1} << 40}};
    DiskSpaceGuard guard;
    guard.SetQuery(drive.Query());
    const uint64_t chunk = 64 * 1024;
    const uint64_t total = 10 * kRequery;
    uint64_t members = 0;
    for (uint64_t written = 0; written < total; written += chunk) {
        if (written % kMiB == 0) {
            ASSERT_TRUE(guard.BeginMember(kMiB));
            ++members;
        }
        ASSERT_TRUE(guard.Allow(chunk));
    }
    EXPECT_EQ(members, total / kMiB);
    EXPECT_GE(drive.asked, static_cast<int>(total / kRequery) - 1);
    EXPECT_LE(drive.asked, static_cast<int>(total / kRequery) + 1);
}

// Runs an extraction against the small drive. Should the guard fail, the test cancels the worker
// long before a bomb reaches the real disk.
std::vector<Report> ExtractOnSmallDrive(const std::string& archive, SmallDrive* drive) {
    ExtractRecorder recorder;
    {
        ZipExtractor extractor;
        recorder.Attach(&extractor, drive->dest);
        drive->Attach(extractor);
        extractor.Start({archive}, {"Module 1"});
        while (extractor.WorkerRunning()) {
            if (FolderBytes(drive->dest) > drive->room + 64 * kMiB) {
                ADD_FAILURE() << "wrote past the room of the drive";
                extractor.Cancel();
            }
            ::Sleep(20);
        }
    }
    return recorder.Reports();
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class BombTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // About 10 MB that inflate to 10 GiB.
        bomb_ = new std::string(DeflatedZeros(10240));
    }
    static void TearDownTestSuite() {
        delete bomb_;
        bomb_ = nullptr;
    }
    std::string Archive(const TestMember& member) {
        std::string path = dir.File("bomb.zip");
        EXPECT_TRUE(WriteFileBytes(path, Entry(Stored("first.txt", "first")) + Entry(member) +
                                             Entry(Stored("after.txt", "after"))));
        return path;
    }

    static std::string* bomb_;
    TempDir dir;
    SmallDrive drive{dir.File("out\\"), 32 * kMiB};
};

std::string* BombTest::bomb_ = nullptr;

TEST_F(BombTest, TheBombIsWhatItClaims) {
    ASSERT_GT(bomb_->size(), 9'000'000u);
    ASSERT_LT(bomb_->size(), 12'000'000u);
    // The first MiB and the repeated ones inflate to zeros.
    std::string small = DeflatedZeros(3);
    std::string plain(3 * kMiB + 1, 'x');
    z_stream zs{};
    ASSERT_EQ(inflateInit2(&zs, -MAX_WBITS), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(&small[0]);
    zs.avail_in = static_cast<uInt>(small.size());
    zs.next_out = reinterpret_cast<Bytef*>(&plain[0]);
    zs.avail_out = static_cast<uInt>(plain.size());
    EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(zs.total_out, 3 * kMiB);
    inflateEnd(&zs);
    plain.resize(3 * kMiB);
    EXPECT_EQ(plain, std::string(3 * kMiB, '\0'));
}

TEST_F(BombTest, WithADescriptorItStopsAtTheMargin) {
    TestMember member;
    member.name = "bomb.bin";
    member.method = kZipMethodDeflated;
    member.flags = kZipFlagDescriptor;
    member.data = *bomb_;
    member.rawSizes = true;  // sizes 0: they would follow in the descriptor
    auto reports = ExtractOnSmallDrive(Archive(member), &drive);
    ASSERT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 1");
    EXPECT_LE(FolderBytes(drive.dest), drive.room);
    EXPECT_GT(FileSize(drive.dest + "bomb.bin"), drive.room - 2 * kMiB) << "stopped too early";
    EXPECT_FALSE(FileExists(drive.dest + "after.txt"));
    EXPECT_LE(drive.asked, static_cast<int>(drive.room / kRequery) + 3);
}

// Its size declared in the header or, past the placeholder 0xFFFFFFFF, in its ZIP64 field.
TEST_F(BombTest, DeclaringItsSizeItIsRefusedBeforeAnyByte) {
    for (bool zip64 : {false, true}) {
        RemoveTree(drive.dest);
        TestMember member;
        member.name = "bomb.bin";
        member.method = kZipMethodDeflated;
        member.data = *bomb_;
        member.uncompressedSize = static_cast<uint32_t>(drive.room + 1);
        if (zip64) {
            member = Zip64(member);
            std::string real;
            PutLe64(&real, 10240 * kMiB);
            member.extra.replace(4, 8, real);
        }
        auto reports = ExtractOnSmallDrive(Archive(member), &drive);
        ASSERT_EQ(FinalStatus(reports), ExtractFailed) << zip64;
        EXPECT_TRUE(FileExists(drive.dest + "first.txt")) << zip64;
        EXPECT_FALSE(FileExists(drive.dest + "bomb.bin")) << zip64;
        EXPECT_FALSE(FileExists(drive.dest + "after.txt")) << zip64;
    }
}

// Archives whose output is exactly `room` bytes, on a drive with that room or one byte less.
struct FitCase {
    const char* name;
    const char* toolArchive;  // made by a real tool; nullptr: the stored pair below
    int64_t spare;            // room minus output
    int32_t status;
};

class FitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitTest, OutputThatFitsAboveTheMarginIsWritten) {
    const FitCase& c = GetParam();
    TempDir dir;
    std::string archive;
    uint64_t output = 0;
    if (c.toolArchive != nullptr) {
        archive = ModuleFolder() + "unzip-archives\\" + c.toolArchive + ".zip";
        output = FolderBytes(ModuleFolder() + "unzip-archives\\ref\\" + c.toolArchive + "\\");
    } else {
        archive = dir.File("pair.zip");
        ASSERT_TRUE(WriteFileBytes(archive, Entry(Stored("a.bin", PatternBytes(3 * kMiB, 1))) +
                                                Entry(Stored("b.bin", PatternBytes(5 * kMiB, 2)))));
        output = 8 * kMiB;
    }
    ASSERT_GT(output, 0u);
    SmallDrive drive{dir.File("out\\"), static_cast<uint64_t>(output + c.spare)};
    auto reports = ExtractOnSmallDrive(archive, &drive);
    EXPECT_EQ(FinalStatus(reports), c.status);
    EXPECT_LE(FolderBytes(drive.dest), drive.room);
    if (c.status == ExtractDone) {
        EXPECT_EQ(FolderBytes(drive.dest), output);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    FitTest,
    ::testing::Values(
        FitCase{"StoredExactly", nullptr, 0, ExtractDone},
        FitCase{"StoredOneByteShort", nullptr, -1, ExtractFailed},
        FitCase{"InfoZipDeflatedExactly", "zip-deflated", 0, ExtractDone},
        FitCase{"InfoZipDeflatedOneByteShort", "zip-deflated", -1, ExtractFailed},
        // Sizes in data descriptors only: the writes alone are weighed.
        FitCase{"InfoZipStreamedExactly", "zip-streamed", 0, ExtractDone},
        FitCase{"InfoZipStreamedOneByteShort", "zip-streamed", -1, ExtractFailed},
        FitCase{"PythonStreamedExactly", "python-streamed", 0, ExtractDone},
        FitCase{"PythonStreamedOneByteShort", "python-streamed", -1, ExtractFailed},
        FitCase{"SevenZipStoredOneByteShort", "7z-stored", -1, ExtractFailed},
        // Sizes in ZIP64 fields, and streamed with ZIP64 placeholders.
        FitCase{"PythonZip64DeflatedExactly", "python-zip64-deflated", 0, ExtractDone},
        FitCase{"PythonZip64DeflatedOneByteShort", "python-zip64-deflated", -1, ExtractFailed},
        FitCase{"InfoZipZip64StreamedExactly", "zip64-streamed", 0, ExtractDone},
        FitCase{"InfoZipZip64StreamedOneByteShort", "zip64-streamed", -1, ExtractFailed}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

}  // namespace
