// What decides whether a fetched server file and its modules are the deployer's: the module
// digests, the server file's signature file and its expiry date, on real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/HeldModules.h"
#include "download/ModuleDigest.h"
#include "download/ServerFileTrust.h"
#include "download/SigningRecord.h"
#include "hashgate/Md5.h"
#include "signature/Sha256.h"
#include "support/TestFiles.h"

namespace netrefit::test {
namespace {

std::string Md5Of(const std::string& bytes) {
    char text[33];
    Md5OfBuffer(bytes.data(), bytes.size(), text);
    return text;
}

std::string Sha256Of(const std::string& bytes) {
    uint8_t digest[kSha256DigestSize];
    Sha256OfBuffer(bytes.data(), bytes.size(), digest);
    return Sha256Text(digest);
}

const uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

CalendarDate Date(const char* text) {
    CalendarDate date;
    EXPECT_TRUE(ParseCalendarDate(text, &date)) << text;
    return date;
}

class SignedFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 32; ++i) {
            seed_[i] = static_cast<uint8_t>(i * 7 + 3);
            otherSeed_[i] = static_cast<uint8_t>(i * 5 + 1);
        }
        keys_.resize(1);
        Ed25519PublicKey(keys_[0].bytes, seed_);
    }

    std::string Make(const std::string& name, const std::string& bytes) {
        std::string path = dir_.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }

    // A server file and its signature file (lines of the given seeds' signatures over text).
    std::string MakeSigned(const std::string& text, std::vector<const uint8_t*> seeds) {
        std::string path = Make("Version_English" + std::to_string(++files_) + ".ini", text);
        std::string lines;
        for (const uint8_t* seed : seeds) {
            lines += SignatureLine(seed, Bytes(text), text.size()) + "\r\n";
        }
        EXPECT_TRUE(WriteFileBytes(SignatureFileName(path), lines));
        return path;
    }

    bool Trusted(const std::string& path) {
        return ServerFileIsTrusted(path, SignatureFileName(path), keys_, Date("2026-12-10"));
    }

    TempDir dir_;
    int files_ = 0;
    uint8_t seed_[32];
    uint8_t otherSeed_[32];
    PublicKeyList keys_;
};

}  // namespace

TEST_F(SignedFiles, FileDigestReadsTheWholeFile) {
    std::string text;
    ASSERT_TRUE(FileSha256Text(Make("abc.bin", "abc").c_str(), &text));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", text);
    // Several reads, the last one partial.
    std::string large = PatternBytes(3 * 65536 + 1000, 9);
    ASSERT_TRUE(FileSha256Text(Make("large.bin", large).c_str(), &text));
    EXPECT_EQ(Sha256Of(large), text);
    EXPECT_FALSE(FileSha256Text(dir_.File("missing.bin").c_str(), &text));
    EXPECT_EQ("", text);
}

TEST_F(SignedFiles, ModuleMatchesItsMd5AndItsSha256WhenItHasOne) {
    std::string bytes = PatternBytes(70000, 4);
    std::string md5 = Md5Of(bytes);
    std::string sha = Sha256Of(bytes);
    std::string otherSha = Sha256Of(bytes + "x");
    struct {
        const char* name;
        std::string md5;
        std::string sha256;
        bool present;
        bool matches;
    } cases[] = {
        {"Md5Only", md5, "", true, true},
        {"Both", md5, sha, true, true},
        {"OtherSha256", md5, otherSha, true, false},
        {"Sha256InUpperCase", md5, Upper(sha), true, false},
        {"OtherMd5", Md5Of("other"), sha, true, false},
        {"NoFile", md5, sha, false, false},
    };
    std::string path = Make("Module.zip", bytes);
    for (const auto& c : cases) {
        DownloadEntry entry;
        entry.SetLocalPath(c.present ? path : dir_.File("absent.zip"));
        entry.SetMd5(c.md5);
        entry.SetSha256(c.sha256);
        EXPECT_EQ(c.matches, VerifyModuleFile(entry)) << c.name;
        HeldModules held;
        EXPECT_EQ(c.matches, held.Verify(entry)) << c.name << ", held";
        EXPECT_EQ(c.matches, held.Holds(entry.LocalPath())) << c.name << ", held";
    }
}

TEST_F(SignedFiles, AHeldModuleCannotBeChangedUntilItIsLetGo) {
    std::string bytes = PatternBytes(70000, 5);
    DownloadEntry entry;
    entry.SetLocalPath(Make("Held.zip", bytes));
    entry.SetMd5(Md5Of(bytes));
    entry.SetSha256(Sha256Of(bytes));
    HeldModules held;
    ASSERT_TRUE(held.Verify(entry));
    const std::string& path = entry.LocalPath();
    FileHandle writer(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.valid());
    EXPECT_EQ(ERROR_SHARING_VIOLATION, ::GetLastError());
    EXPECT_FALSE(::DeleteFileA(path.c_str()));
    EXPECT_FALSE(::MoveFileA(path.c_str(), (path + ".moved").c_str()));
    FileHandle reader(
        ::CreateFileA(path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader.valid()) << "readers are welcome";
    reader.reset();
    // Held already: acquired again without a second digest, through the same handle.
    HANDLE first = held.Acquire(entry);
    EXPECT_EQ(first, held.Acquire(entry));
    held.Release(path);
    writer.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(writer.valid());
    writer.reset();
    ASSERT_TRUE(WriteFileBytes(path, bytes + "x"));
    EXPECT_EQ(nullptr, held.Acquire(entry)) << "a changed file is checked anew";
    EXPECT_FALSE(held.Holds(path));
}

TEST_F(SignedFiles, SmallFilesAreReadWholeOrNotAtAll) {
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(Make("empty", ""), 10, &bytes));
    EXPECT_EQ("", bytes);
    ASSERT_TRUE(ReadWholeFile(Make("ten", "0123456789"), 10, &bytes));
    EXPECT_EQ("0123456789", bytes);
    EXPECT_FALSE(ReadWholeFile(Make("eleven", "0123456789a"), 10, &bytes));
    EXPECT_EQ("", bytes);
    EXPECT_FALSE(ReadWholeFile(dir_.File("missing"), 10, &bytes));
}

TEST_F(SignedFiles, ExpiryIsTheLastDayTheFileMayBeUsed) {
    struct {
        std::string section;
        bool expired;
    } cases[] = {
        {"", true},
        {"[Signature]\r\nExpires=\r\n", true},
        {"[Signature]\r\nExpires=2026-12-10\r\n", false},
        {"[Signature]\r\nExpires=2027-01-01\r\n", false},
        {"[Signature]\r\nExpires=2026-12-09\r\n", true},
        {"[Signature]\r\nExpires=1999-12-31\r\n", true},
        {"[signature]\r\nexpires=2026-12-09\r\n", true},
        {"[Signature]\r\nExpires=tomorrow\r\n", true},
        {"[Signature]\r\nExpires=2026-12-10 or so\r\n", true},
        {"[Signature]\r\nExpires=2026-02-30\r\n", true},
        {"[Signature]\r\nExpires=2026-12-10" + std::string(40, '0') + "\r\n", true},
        {"[Other]\r\nExpires=2030-01-01\r\n", true},
        // Read as the profile functions read it: blanks, quotes, the first key and section.
        {" [ Signature ] \r\n Expires = 2026-12-10 \r\n", false},
        {"[Signature]\r\nExpires=\"2026-12-10\"\r\n", false},
        {"[Signature]\r\nExpires=2026-12-09\r\nExpires=2030-01-01\r\n", true},
        {"[Signature]\r\nSigned=1\r\n[Signature]\r\nExpires=2030-01-01\r\n", true},
    };
    int file = 0;
    for (const auto& c : cases) {
        std::string path = Make("expiry" + std::to_string(++file) + ".ini",
                                "[Settings]\r\nConnect=0\r\n" + c.section);
        EXPECT_EQ(c.expired, ServerFileExpired(path, Date("2026-12-10"))) << c.section;
    }
}

TEST_F(SignedFiles, ServerFileMustBeSignedByAKeyAndNotExpired) {
    std::string text = "[Settings]\r\nConnect=0\r\n[Signature]\r\nExpires=2026-12-31\r\n";
    EXPECT_TRUE(Trusted(MakeSigned(text, {seed_})));
    EXPECT_TRUE(Trusted(MakeSigned(text, {otherSeed_, seed_})));
    EXPECT_FALSE(Trusted(MakeSigned(text, {otherSeed_})));
    EXPECT_FALSE(Trusted(MakeSigned(text, {})));

    std::string changed = MakeSigned(text, {seed_});
    ASSERT_TRUE(WriteFileBytes(changed, text + "[Melorra]\r\n"));
    EXPECT_FALSE(Trusted(changed));

    std::string unsignedFile = MakeSigned(text, {seed_});
    ASSERT_TRUE(::DeleteFileA(SignatureFileName(unsignedFile).c_str()));
    EXPECT_FALSE(Trusted(unsignedFile));

    std::string expired = "[Signature]\r\nExpires=2026-12-09\r\n";
    EXPECT_FALSE(Trusted(MakeSigned(expired, {seed_})));
    EXPECT_FALSE(ServerFileIsTrusted(MakeSigned(text, {seed_}), SignatureFileName(dir_.File("x")),
                                     PublicKeyList(), Date("2026-12-10")));

    // Signed, but longer than any server file may be.
    std::string padded = text + std::string(kMaxServerFileBytes, ';');
    EXPECT_FALSE(Trusted(MakeSigned(padded, {seed_})));
}

// Between the check and the last read of the server file, nothing can change it: a rewrite
// after the check is refused while the file is held, and a writer that already has it open
// keeps it from being held, and so from being taken.
TEST_F(SignedFiles, HeldServerFileCannotChangeBetweenCheckAndRead) {
    std::string text = "[Settings]\r\nConnect=0\r\n[Signature]\r\nExpires=2026-12-31\r\n";
    std::string path = MakeSigned(text, {seed_});
    {
        FileHandle held = HoldFile(path);
        ASSERT_TRUE(held.valid());
        ASSERT_TRUE(
            ServerFileIsTrusted(held.get(), SignatureFileName(path), keys_, Date("2026-12-10")));
        FileHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_FALSE(writer.valid());
        EXPECT_FALSE(::MoveFileA(path.c_str(), dir_.File("moved.ini").c_str()));
        EXPECT_FALSE(::DeleteFileA(path.c_str()));
        EXPECT_FALSE(WriteFileBytes(path, "[Settings]\r\nConnect=1\r\n"));
        // What the catalogue then reads through the path is what was verified.
        EXPECT_EQ(0u, ::GetPrivateProfileIntA("Settings", "Connect", 7, path.c_str()));
    }
    FileHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.valid());
    EXPECT_FALSE(HoldFile(path).valid());
    EXPECT_FALSE(Trusted(path));
}

TEST(SigningTime, IsUtcToTheSecondInOneFixedForm) {
    for (const char* good :
         {"2026-12-10T09:30:00Z", "1999-01-01T00:00:00Z", "2026-12-31T23:59:59Z"})
        EXPECT_TRUE(IsSigningTime(good)) << good;
    for (const char* bad :
         {"", "2026-12-10", "2026-12-10T09:30:00", "2026-12-10 09:30:00Z", "2026-12-10T9:30:00Z",
          "2026-12-10T24:00:00Z", "2026-12-10T09:60:00Z", "2026-02-30T09:30:00Z",
          "2026-12-10T09:30:00+01", " 2026-12-10T09:30:00Z"})
        EXPECT_FALSE(IsSigningTime(bad)) << bad;
}

// One PC's runs against two servers, in order: whether each file is taken and what is kept.
TEST(SigningRecordFile, RefusesOnlyWhatIsOlderThanWhatItTookFromTheSamePlace) {
    TempDir dir;
    SigningRecord record(dir.File("Signed.ini"));
    const std::string a = "http://updates.example.com/melorra/Version_English.ini";
    const std::string b = "https://mirror.example.com:8443/m/Version_English.ini?x=1;y=2";
    struct {
        const std::string& url;
        const char* signedAt;
        bool taken;
        const char* latest;
    } runs[] = {
        {a, "", true, ""},  // a site signed before it carried a time: first contact
        {a, "2026-12-01T10:00:00Z", true, "2026-12-01T10:00:00Z"},
        {a, "2026-12-01T10:00:00Z", true, "2026-12-01T10:00:00Z"},  // the same file again
        {a, "2026-11-30T23:59:59Z", false, "2026-12-01T10:00:00Z"},
        {a, "", false, "2026-12-01T10:00:00Z"},
        {a, "yesterday", false, "2026-12-01T10:00:00Z"},
        {b, "2026-01-01T00:00:00Z", true, "2026-01-01T00:00:00Z"},  // another server of its own
        {a, "2026-12-02T08:00:00Z", true, "2026-12-02T08:00:00Z"},
        {a, "2026-12-01T10:00:00Z", false, "2026-12-02T08:00:00Z"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.url + " " + run.signedAt);
        EXPECT_EQ(run.taken, record.Accept(run.url, run.signedAt));
        EXPECT_EQ(run.latest, SigningRecord(dir.File("Signed.ini")).Latest(run.url));
    }
    // Without a place to keep it, every file is a first contact.
    SigningRecord none("");
    EXPECT_TRUE(none.Accept(a, "2026-12-02T08:00:00Z"));
    EXPECT_TRUE(none.Accept(a, "2020-01-01T00:00:00Z"));
}

}  // namespace netrefit::test
