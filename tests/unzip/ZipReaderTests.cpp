#include <gtest/gtest.h>

#include <string>

#include "ZipTestWriter.h"
#include "support/TestFiles.h"
#include "unzip/ZipReader.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

class ZipReaderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(reader.AllocateWorkBuffer()); }

    std::string Write(const std::string& bytes, const std::string& name = "a.zip") {
        std::string path = dir.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    bool Valid(const std::string& bytes) {
        return reader.IsValidArchive(Write(bytes).c_str(), bytes.size());
    }
    bool OpenBytes(const std::string& bytes) { return reader.OpenArchive(Write(bytes).c_str()); }
    std::string Output() { return dir.File("out.bin"); }
    std::string OutputBytes() {
        std::string bytes;
        ReadFileBytes(Output(), &bytes);
        return bytes;
    }

    TempDir dir;
    ZipReader reader;
    ZipEntryHeader header;
};

TEST_F(ZipReaderTest, ThirtyBytesOrFewerAreNeverValid) {
    TestMember m = Stored("x", "");
    std::string one = Entry(m);  // 31 bytes: header and a one-byte name
    ASSERT_EQ(one.size(), 31u);
    EXPECT_TRUE(Valid(one));
    EXPECT_FALSE(Valid(one.substr(0, 30)));
    EXPECT_FALSE(Valid(""));
}

TEST_F(ZipReaderTest, CandidateMustLieBelowOneMebibyteLessThirty) {
    std::string entry = Entry(Stored("x", ""));
    size_t last = ZipReader::kWorkBufferSize - 31;
    EXPECT_TRUE(Valid(std::string(last, 'z') + entry + std::string(100, 'z')));
    EXPECT_FALSE(Valid(std::string(last + 1, 'z') + entry + std::string(100, 'z')));
}

TEST_F(ZipReaderTest, ScanSkipsImplausibleCandidates) {
    TestMember noName = Stored("", "");
    TestMember badMethod = Stored("stub", "");
    badMethod.method = 13;
    std::string real = Entry(Stored("real.txt", "payload"));
    EXPECT_TRUE(Valid(std::string(500, 'M') + Entry(noName) + Entry(badMethod) + real));
    EXPECT_FALSE(Valid(std::string(500, 'M') + Entry(noName) + Entry(badMethod)));
    EXPECT_FALSE(reader.IsValidArchive(dir.File("missing.zip").c_str(), 1000));
}

// A signature in a stub whose header cannot be read is passed over; a whole header of a method
// the reader refuses is a member, which the scan reports having passed over.
TEST_F(ZipReaderTest, SelfExtractingStubWithFalseSignatureIsPassedOver) {
    for (bool whole : {false, true}) {
        TestMember falseSignature =
            Stored(whole ? "stub-header" : std::string("st\0ub", 5), std::string(40, 'S'));
        falseSignature.method = 13;
        std::string archive = std::string(2000, 'E') + Entry(falseSignature) +
                              std::string(77, 'E') + Entry(Stored("member.txt", "member data"));
        ASSERT_TRUE(Valid(archive));
        ASSERT_TRUE(OpenBytes(archive));
        ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
        EXPECT_STREQ(header.name, "member.txt");
        EXPECT_EQ(header.compressedSize, 11u);
        EXPECT_EQ(reader.PassedOverMember(), whole);
        EXPECT_FALSE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()))
            << "the data holds no further signature";
    }
}

TEST_F(ZipReaderTest, SignatureAfterStrayByteIsFound) {
    ASSERT_TRUE(OpenBytes("\x50" + Entry(Stored("after.txt", "abc"))));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_STREQ(header.name, "after.txt");
    EXPECT_EQ(reader.Tell(), 1 + 30 + 9);
}

TEST_F(ZipReaderTest, MethodsSevenAndNineAreRejectedAndScanningGoesOn) {
    TestMember seven = Stored("seven", "7777");
    seven.method = 7;
    TestMember nine = Stored("nine", "9999");
    nine.method = 9;
    TestMember six = Stored("six", "6666");
    six.method = 6;
    ASSERT_TRUE(OpenBytes(Entry(seven) + Entry(nine) + Entry(six) + Entry(Stored("ok", "k"))));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_STREQ(header.name, "six") << "methods up to 8 other than 7 are headers";
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_STREQ(header.name, "ok");
}

TEST_F(ZipReaderTest, NameWithNulIsRejected) {
    ASSERT_TRUE(OpenBytes(Entry(Stored(std::string("evil\0.txt", 9), "x")) +
                          Entry(Stored("good.txt", "y"))));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_STREQ(header.name, "good.txt");
}

TEST_F(ZipReaderTest, LongNameIsCutTo259BytesAndTheRestSkipped) {
    std::string name(300, 'n');
    ASSERT_TRUE(OpenBytes(Entry(Stored(name, "DATA"))));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_EQ(std::string(header.name), name.substr(0, 259));
    EXPECT_EQ(header.nameLength, 300);
    EXPECT_EQ(reader.Tell(), 30 + 300);
    // The header lengths are at most 65535, which the reader's own scratch buffer holds too.
    ASSERT_TRUE(reader.Seek(4));
    EXPECT_TRUE(reader.ReadLocalHeader(&header, nullptr));
}

TEST_F(ZipReaderTest, HugeLengthsInTruncatedHeaderFailCleanly) {
    TestMember m = Stored("x", "");
    std::string bytes = LocalHeader(m);
    bytes[26] = bytes[27] = bytes[28] = bytes[29] = '\xFF';  // name and extra 65535
    ASSERT_TRUE(OpenBytes(bytes + std::string(70000, 'q')));
    EXPECT_FALSE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(OpenBytes(bytes + std::string(140000, 'q')));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    EXPECT_EQ(reader.Tell(), 30 + 65535 + 65535);
}

TEST_F(ZipReaderTest, StoredCopyStopsAtEndOfDataWhateverTheSizeSays) {
    std::string plain = PatternBytes(3 * 1048576 + 5);
    TestMember m = Stored("s", plain);
    m.compressedSize = 0xFFFFFFFEu;
    m.rawSizes = true;
    ASSERT_TRUE(OpenBytes(Entry(m)));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.CopyStoredData(header.compressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_EQ(t.written, plain.size());
    EXPECT_TRUE(t.damaged) << "the archive ends inside the member";
    EXPECT_EQ(OutputBytes(), plain);
}

TEST_F(ZipReaderTest, SizeZeroGivesEmptyOutputForBothMethods) {
    ASSERT_TRUE(OpenBytes(Entry(Stored("s", "")) + "trailing bytes"));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    EXPECT_EQ(reader.CopyStoredData(0).written, 0u);
    EXPECT_EQ(reader.InflateData(0).written, 0u);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_EQ(OutputBytes(), "");
}

TEST_F(ZipReaderTest, InflateCrossesBothHalvesOfTheBuffer) {
    // Large enough for several input refills and output flushes, incompressible parts included.
    std::string plain = PatternBytes(1500000, 3) + std::string(2000000, 'a') + PatternBytes(7, 4);
    TestMember m = Deflated("d", plain);
    ASSERT_TRUE(OpenBytes(Entry(m) + "PK\x03\x04tail"));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.InflateData(header.compressedSize, header.uncompressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_EQ(t.consumed, m.data.size());
    EXPECT_FALSE(t.damaged);
    EXPECT_EQ(OutputBytes(), plain);
}

TEST_F(ZipReaderTest, CutDeflateDataYieldsAPrefixMarkedDamaged) {
    std::string plain = PatternBytes(400000, 5);
    TestMember m = Deflated("d", plain);
    m.data.resize(m.data.size() / 2);
    ASSERT_TRUE(OpenBytes(Entry(m)));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.InflateData(header.compressedSize, header.uncompressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_TRUE(t.damaged);
    std::string out = OutputBytes();
    EXPECT_GT(out.size(), 0u);
    EXPECT_LT(out.size(), plain.size());
    EXPECT_EQ(out, plain.substr(0, out.size()));
}

TEST_F(ZipReaderTest, GarbageDeflateDataEndsMarkedDamaged) {
    TestMember m = Deflated("d", std::string(5000, 'x'));
    m.data = std::string("\xFF\xFF\xFF\xFF") + PatternBytes(3000, 9);  // reserved block type
    ASSERT_TRUE(OpenBytes(Entry(m)));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.InflateData(header.compressedSize, header.uncompressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_FALSE(t.writeFailed);
    EXPECT_TRUE(t.damaged);
    EXPECT_LE(OutputBytes().size(), 5000u);
}

TEST_F(ZipReaderTest, InflateNeverWritesPastTheDeclaredSize) {
    std::string plain(8 * 1048576, '\0');
    TestMember m = Deflated("bomb", plain);
    m.uncompressedSize = 1000;
    ASSERT_TRUE(OpenBytes(Entry(m)));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.InflateData(header.compressedSize, header.uncompressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_EQ(t.written, 1000u);
    EXPECT_EQ(OutputBytes(), std::string(1000, '\0'));
}

TEST_F(ZipReaderTest, StreamedDeflateEndsWhereItsStreamEnds) {
    std::string plain = PatternBytes(100000, 2) + std::string(900000, 'b');
    TestMember m = Deflated("d", plain);
    ASSERT_TRUE(OpenBytes(Entry(m) + "PK\x07\x08 descriptor and more"));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    int64_t start = reader.Tell();
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.InflateData(ZipReader::kUntilStreamEnd);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_EQ(OutputBytes(), plain);
    EXPECT_EQ(t.consumed, m.data.size());
    EXPECT_EQ(start, 31);
}

TEST_F(ZipReaderTest, StopCheckEndsCopiesBetweenChunks) {
    std::string plain = PatternBytes(3 * 1048576, 8);
    ASSERT_TRUE(OpenBytes(Entry(Stored("s", plain))));
    ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
    int chunks = 0;
    reader.SetStopCheck([&chunks] { return ++chunks > 1; });
    ASSERT_TRUE(reader.OpenOutput(Output().c_str()));
    ZipTransfer t = reader.CopyStoredData(header.compressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    EXPECT_TRUE(t.stopped);
    EXPECT_EQ(t.written, ZipReader::kWorkBufferSize);
}

}  // namespace
