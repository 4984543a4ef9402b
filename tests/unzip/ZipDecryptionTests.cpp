// Traditional zip decryption on archives encrypted by Info-ZIP zip, and the reader's file-system
// helpers (folders, DOS time stamps).

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "support/TestFiles.h"
#include "unzip/ZipCrypto.h"
#include "unzip/ZipOutputPath.h"
#include "unzip/ZipReader.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

class ZipDecryptionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(reader.AllocateWorkBuffer());
        ASSERT_TRUE(ReadFileBytes(ModuleFolder() + "unzip-archives\\zip-encrypted.zip", &archive));
        ASSERT_GT(archive.size(), 30u);
    }
    void Open(const std::string& bytes) {
        ASSERT_TRUE(WriteFileBytes(dir.File("e.zip"), bytes));
        ASSERT_TRUE(reader.OpenArchive(dir.File("e.zip").c_str()));
        ASSERT_TRUE(reader.FindNextLocalHeader(&header, reader.WorkBuffer()));
        ASSERT_TRUE(header.flags & kZipFlagEncrypted);
    }

    TempDir dir;
    ZipReader reader;
    ZipEntryHeader header;
    std::string archive;
};

TEST_F(ZipDecryptionTest, WrongPasswordLeavesStreamAtEncryptionHeader) {
    Open(archive);
    int64_t start = reader.Tell();
    uint32_t size = header.compressedSize;
    EXPECT_FALSE(reader.StartDecryption("Secret", &header));
    EXPECT_EQ(reader.Tell(), start);
    EXPECT_EQ(header.compressedSize, size);
    EXPECT_FALSE(reader.StartDecryption("", &header));
    EXPECT_EQ(reader.Tell(), start);
    ASSERT_TRUE(reader.StartDecryption("secret", &header));
    EXPECT_EQ(reader.Tell(), start + 12);
    EXPECT_EQ(header.compressedSize, size - 12);
    ASSERT_TRUE(reader.OpenOutput(dir.File("out.txt").c_str()));
    reader.InflateData(header.compressedSize, header.uncompressedSize);
    ASSERT_TRUE(reader.CloseOutput());
    std::string ours, reference;
    ASSERT_TRUE(ReadFileBytes(dir.File("out.txt"), &ours));
    ASSERT_TRUE(ReadFileBytes(
        ModuleFolder() + "unzip-archives\\ref\\zip-encrypted\\tree\\readme.txt", &reference));
    EXPECT_TRUE(ours == reference);
}

TEST_F(ZipDecryptionTest, BothCheckBytesMustMatch) {
    // Info-ZIP sets bit 3 on encrypted members, so the check is against the DOS time; changing
    // its low byte leaves the last check byte matching and the one before it not.
    std::string altered = archive;
    ASSERT_EQ(altered[6] & kZipFlagDescriptor, kZipFlagDescriptor);
    altered[10] = static_cast<char>(altered[10] ^ 0x01);
    Open(altered);
    EXPECT_FALSE(reader.StartDecryption("secret", &header));
}

TEST_F(ZipDecryptionTest, CheckAgainstCrcWithoutDescriptorFlag) {
    std::string altered = archive;
    altered[6] = static_cast<char>(altered[6] & ~kZipFlagDescriptor);
    Open(altered);
    // The header was encrypted with the time as its check value, which the CRC now replaces.
    EXPECT_FALSE(reader.StartDecryption("secret", &header));
}

TEST_F(ZipDecryptionTest, ShortEncryptionHeaderFails) {
    auto le16 = [this](size_t at) {
        return static_cast<unsigned char>(archive[at]) |
               (static_cast<unsigned char>(archive[at + 1]) << 8);
    };
    Open(archive.substr(0, 30 + le16(26) + le16(28) + 7));
    EXPECT_FALSE(reader.StartDecryption("secret", &header));
}

TEST(ZipCrc, TableMatchesZlib) {
    std::string bytes = PatternBytes(5000, 4);
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc = Crc32Update(crc, c);
    }
    uLong reference =
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    EXPECT_EQ(crc ^ 0xFFFFFFFFu, static_cast<uint32_t>(reference));
    EXPECT_EQ(Crc32Table()[1], 0x77073096u);
    EXPECT_EQ(Crc32Table()[255], 0x2D02EF8Du);
}

// Constant expressions: an overflowing signed product would make these fail to compile.
static_assert(ZipStreamByte(0xFFFFu) == 0x00, "largest product");
static_assert(ZipStreamByte(0xC000u) == 0xC0, "beyond INT_MAX");
static_assert(ZipStreamByte(0xB505u) == 0x31, "just beyond INT_MAX");

TEST(ZipKeyStream, EveryThirdKeyGivesTheByteOfTheFormat) {
    for (uint32_t low = 0; low <= 0xFFFFu; ++low) {
        uint64_t temp = (low | 2u) & 0xFFFFu;
        uint8_t expected = static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8);
        // Only the low 16 bits of the key take part.
        ASSERT_EQ(ZipStreamByte(low), expected) << low;
        ASSERT_EQ(ZipStreamByte(0xA5C30000u | low), expected) << low;
    }
}

TEST(EnsureParentFolder, CreatesEveryMissingFolderOfTheFolderPart) {
    TempDir dir;
    EXPECT_TRUE(EnsureParentFolder(dir.File("a\\b\\c\\file.txt")));
    EXPECT_TRUE(FileExists(dir.File("a\\b\\c")));
    EXPECT_FALSE(FileExists(dir.File("a\\b\\c\\file.txt")));
    EXPECT_TRUE(EnsureParentFolder(dir.File("a\\b\\c\\file.txt"))) << "already there";
    EXPECT_TRUE(EnsureParentFolder(dir.File("x\\y")));
    EXPECT_TRUE(FileExists(dir.File("x")));
    EXPECT_FALSE(FileExists(dir.File("x\\y"))) << "without a trailing separator: the parent only";
    ASSERT_TRUE(WriteFileBytes(dir.File("plain"), "file"));
    EXPECT_FALSE(EnsureParentFolder(dir.File("plain\\inner\\f.txt")));
}

TEST(DosStamp, AppliedAsLocalTimeToCreationAndLastWrite) {
    TempDir dir;
    std::string path = dir.File("t.bin");
    for (uint16_t date : {uint16_t{0x0021}, uint16_t{0x5264}}) {  // 1980-01-01, 2021-03-04
        ASSERT_TRUE(WriteFileBytes(path, "t"));
        SetTimesFromDosStamp(path, date, 0);
        HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME created, written;
        ASSERT_TRUE(::GetFileTime(file, &created, nullptr, &written));
        ::CloseHandle(file);
        FILETIME local, utc;
        ASSERT_TRUE(::DosDateTimeToFileTime(date, 0, &local));
        ASSERT_TRUE(::LocalFileTimeToFileTime(&local, &utc));
        EXPECT_EQ(::CompareFileTime(&written, &utc), 0);
        EXPECT_EQ(::CompareFileTime(&created, &utc), 0);
    }
    SetTimesFromDosStamp(dir.File("missing.bin"), 0x21, 0);  // silently nothing
    EXPECT_FALSE(FileExists(dir.File("missing.bin")));
}

}  // namespace
