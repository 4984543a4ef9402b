#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hashgate/Hashgate.h"
#include "hashgate/Md5.h"
#include "hashgate/VerifyFileDigest.h"
#include "support/TestFiles.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

std::string Md5Text(const std::string& bytes) {
    char text[33];
    Md5OfBuffer(bytes.data(), bytes.size(), text);
    return text;
}

// An independent digest: the CryptoAPI's MD5 provider.
std::string CryptoApiMd5(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string text;
    if (::CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        ::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), 0)) {
        BYTE digest[16];
        DWORD length = sizeof(digest);
        if (::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
            char hex[33];
            Md5DigestToText(digest, hex);
            text = hex;
        }
    }
    if (hash)
        ::CryptDestroyHash(hash);
    if (provider)
        ::CryptReleaseContext(provider, 0);
    return text;
}

struct Rfc1321Case {
    const char* input;
    const char* digest;
};

const Rfc1321Case kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

class HashgateFiles : public ::testing::Test {
  protected:
    std::string Make(const std::string& name, const std::string& bytes) {
        std::string path = dir_.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    TempDir dir_;
};

}  // namespace

TEST(Md5, Rfc1321SuiteInMemory) {
    for (const Rfc1321Case& c : kRfc1321Suite) {
        EXPECT_EQ(c.digest, Md5Text(c.input)) << "input \"" << c.input << "\"";
    }
}

TEST(Md5, SplitUpdatesGiveTheSameDigestAsOneUpdate) {
    std::string bytes = PatternBytes(1000, 7);
    std::string whole = Md5Text(bytes);
    for (size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
        Md5Context context;
        Md5Init(&context);
        Md5Update(&context, bytes.data(), split);
        Md5Update(&context, bytes.data() + split, bytes.size() - split);
        uint8_t digest[16];
        Md5Final(digest, &context);
        char text[33];
        Md5DigestToText(digest, text);
        EXPECT_EQ(whole, text) << "split at " << split;
    }
}

TEST(Md5, FinalWipesTheContext) {
    Md5Context context;
    Md5Init(&context);
    Md5Update(&context, "secret", 6);
    uint8_t digest[16];
    Md5Final(digest, &context);
    Md5Context zero;
    std::memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(0, std::memcmp(&context, &zero, sizeof(zero)));
}

TEST_F(HashgateFiles, Rfc1321SuiteFromFiles) {
    int n = 0;
    for (const Rfc1321Case& c : kRfc1321Suite) {
        std::string path = Make("rfc" + std::to_string(n++) + ".bin", c.input);
        char text[33];
        ASSERT_EQ(HASHGATE_OK, CheckMD5(path.c_str(), text, sizeof(text)));
        EXPECT_STREQ(c.digest, text);
    }
}

TEST_F(HashgateFiles, MatchesCryptoApiAroundTheReadChunkSize) {
    const size_t sizes[] = {
        0, 1, 63, 64, 1023, 1024, 1025, 2048, 64 * 1024 + 1, 5 * 1024 * 1024 + 3};
    for (size_t size : sizes) {
        std::string bytes = PatternBytes(size, static_cast<uint32_t>(size));
        std::string path = Make("size" + std::to_string(size) + ".bin", bytes);
        char text[40];
        std::memset(text, 'x', sizeof(text));
        ASSERT_EQ(HASHGATE_OK, CheckMD5(path.c_str(), text, 33)) << size;
        EXPECT_EQ(CryptoApiMd5(bytes), std::string(text)) << "size " << size;
        EXPECT_EQ('\0', text[32]);
        EXPECT_EQ('x', text[33]) << "wrote past the 33 bytes";
    }
}

TEST_F(HashgateFiles, DigitsAreLowercaseHex) {
    std::string path = Make("hex.bin", PatternBytes(4096, 3));
    char text[33];
    ASSERT_EQ(HASHGATE_OK, CheckMD5(path.c_str(), text, sizeof(text)));
    for (int i = 0; i < 32; ++i) {
        EXPECT_TRUE((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'));
    }
}

TEST_F(HashgateFiles, BadArgumentsLeaveTheBufferUntouched) {
    std::string path = Make("args.bin", "abc");
    char text[64];
    std::memset(text, 'q', sizeof(text));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS, CheckMD5(nullptr, text, 33));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS, CheckMD5(path.c_str(), nullptr, 33));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS, CheckMD5(path.c_str(), text, 32));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS, CheckMD5(path.c_str(), text, 0));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS,
              CheckMD5(reinterpret_cast<const char*>(static_cast<uintptr_t>(16)), text, 33));
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS,
              CheckMD5(path.c_str(), reinterpret_cast<char*>(static_cast<uintptr_t>(16)), 33));
    for (char c : text) {
        ASSERT_EQ('q', c);
    }
}

TEST_F(HashgateFiles, ReadOnlyBufferIsRefused) {
    std::string path = Make("ro.bin", "abc");
    // A page of our own with read access only.
    char* page = static_cast<char*>(::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READONLY));
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(HASHGATE_BAD_ARGUMENTS, CheckMD5(path.c_str(), page, 33));
    ::VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(HashgateFiles, FilesThatCannotBeOpened) {
    char text[33];
    EXPECT_EQ(HASHGATE_OPEN_FAILED, CheckMD5(dir_.File("missing.bin").c_str(), text, 33));
    EXPECT_EQ(HASHGATE_OPEN_FAILED, CheckMD5(dir_.Path().c_str(), text, 33));

    std::string path = Make("held.bin", "abc");
    HANDLE reader = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ(HASHGATE_OPEN_FAILED, CheckMD5(path.c_str(), text, 33));
    ::CloseHandle(reader);
    EXPECT_EQ(HASHGATE_OK, CheckMD5(path.c_str(), text, 33));
}

TEST_F(HashgateFiles, TheFileIsClosedAfterEveryCall) {
    std::string path = Make("closed.bin", PatternBytes(3000));
    char text[33];
    ASSERT_EQ(HASHGATE_OK, CheckMD5(path.c_str(), text, 33));
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST_F(HashgateFiles, VerifyFileDigest) {
    std::string bytes = PatternBytes(5000, 11);
    std::string path = Make("verify.bin", bytes);
    std::string digest = CryptoApiMd5(bytes);
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(digest, upper);

    EXPECT_TRUE(VerifyFileDigest(path.c_str(), digest.c_str()));
    EXPECT_FALSE(VerifyFileDigest(path.c_str(), upper.c_str()));
    EXPECT_FALSE(VerifyFileDigest(path.c_str(), CryptoApiMd5("other").c_str()));
    EXPECT_FALSE(VerifyFileDigest(path.c_str(), (digest + " ").c_str()));
    EXPECT_FALSE(VerifyFileDigest(dir_.File("missing.bin").c_str(), digest.c_str()));
    // Every failure leaves an empty text: an empty expectation must not pass for it.
    EXPECT_FALSE(VerifyFileDigest(dir_.File("missing.bin").c_str(), ""));
    EXPECT_FALSE(VerifyFileDigest(path.c_str(), nullptr));
}
