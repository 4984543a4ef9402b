#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "HexBytes.h"
#include "signature/Sha256.h"
#include "signature/Sha512.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

// A message (unit repeated) with its two digests.
struct HashCase {
    const char* name;
    const char* unit;
    size_t repeat;
    const char* sha256;
    const char* sha512;
};

std::ostream& operator<<(std::ostream& out, const HashCase& c) {
    return out << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<HashCase>& info) {
    return info.param.name;
}

std::string Message(const HashCase& c) {
    std::string message;
    for (size_t i = 0; i < c.repeat; ++i) {
        message += c.unit;
    }
    return message;
}

// FIPS 180-4's example messages. The 448-bit one leaves no room for SHA-256's length field in
// its block, the 896-bit one none for SHA-512's: both spill their padding into a second block.
const HashCase kFipsExamples[] = {
    {"Empty", "", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
     "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    {"Abc", "abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {"Bits448", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
     "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c335"
     "96fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"},
    {"Bits896",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnop"
     "q"
     "rsmnopqrstnopqrstu",
     1, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
     "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
    {"MillionA", "a", 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
     "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
};

// Messages whose pieces fall across block boundaries of either hash; the last one's digests are
// Python hashlib's.
const HashCase kSplitMessages[] = {
    kFipsExamples[2],
    kFipsExamples[3],
    {"Digits300", "0123456789", 30,
     "ba6ab297dbb2bcbc66d54fb768e01920acb58b5552455834f4563807cbd46efb",
     "0e36f261671f447cf7bc4805250b447013406eeaf2c8ef49b5800c3ad45d28b7"
     "d14ebfff3849571784fa1027b4115602690dfd34e2f004cb23c08b16d4e66279"},
};

std::string Sha256Text(const std::string& message) {
    uint8_t digest[kSha256DigestSize];
    Sha256OfBuffer(message.data(), message.size(), digest);
    return HexText(digest, sizeof(digest));
}

std::string Sha512Text(const std::string& message) {
    uint8_t digest[kSha512DigestSize];
    Sha512OfBuffer(message.data(), message.size(), digest);
    return HexText(digest, sizeof(digest));
}

// The message in the given pieces through Init, Update and Final.
std::string Sha256Pieces(const std::string& message, size_t cut) {
    Sha256Context context;
    Sha256Init(&context);
    Sha256Update(&context, message.data(), cut);
    Sha256Update(&context, message.data() + cut, message.size() - cut);
    uint8_t digest[kSha256DigestSize];
    Sha256Final(digest, &context);
    return HexText(digest, sizeof(digest));
}

std::string Sha512Pieces(const std::string& message, size_t cut) {
    Sha512Context context;
    Sha512Init(&context);
    Sha512Update(&context, message.data(), cut);
    Sha512Update(&context, message.data() + cut, message.size() - cut);
    uint8_t digest[kSha512DigestSize];
    Sha512Final(digest, &context);
    return HexText(digest, sizeof(digest));
}

class FipsExample : public ::testing::TestWithParam<HashCase> {};
class SplitMessage : public ::testing::TestWithParam<HashCase> {};

}  // namespace

TEST_P(FipsExample, Sha256InOneCall) {
    EXPECT_EQ(Sha256Text(Message(GetParam())), GetParam().sha256);
}

TEST_P(FipsExample, Sha512InOneCall) {
    EXPECT_EQ(Sha512Text(Message(GetParam())), GetParam().sha512);
}

INSTANTIATE_TEST_SUITE_P(Fips180, FipsExample, ::testing::ValuesIn(kFipsExamples), CaseName);

TEST_P(SplitMessage, Sha256CutAtEveryOffset) {
    std::string message = Message(GetParam());
    for (size_t cut = 0; cut <= message.size(); ++cut) {
        EXPECT_EQ(Sha256Pieces(message, cut), GetParam().sha256) << "cut at " << cut;
    }
}

TEST_P(SplitMessage, Sha512CutAtEveryOffset) {
    std::string message = Message(GetParam());
    for (size_t cut = 0; cut <= message.size(); ++cut) {
        EXPECT_EQ(Sha512Pieces(message, cut), GetParam().sha512) << "cut at " << cut;
    }
}

TEST_P(SplitMessage, ByteByByte) {
    std::string message = Message(GetParam());
    Sha256Context context256;
    Sha512Context context512;
    Sha256Init(&context256);
    Sha512Init(&context512);
    for (char c : message) {
        Sha256Update(&context256, &c, 1);
        Sha512Update(&context512, &c, 1);
    }
    uint8_t digest256[kSha256DigestSize];
    uint8_t digest512[kSha512DigestSize];
    Sha256Final(digest256, &context256);
    Sha512Final(digest512, &context512);
    EXPECT_EQ(HexText(digest256, sizeof(digest256)), GetParam().sha256);
    EXPECT_EQ(HexText(digest512, sizeof(digest512)), GetParam().sha512);
}

INSTANTIATE_TEST_SUITE_P(Incremental, SplitMessage, ::testing::ValuesIn(kSplitMessages), CaseName);

// The contexts hash the signing seed: nothing of it stays behind in them.
TEST(ShaFinal, LeavesTheContextZeroed) {
    Sha256Context context256;
    Sha512Context context512;
    Sha256Init(&context256);
    Sha512Init(&context512);
    Sha256Update(&context256, "secret seed", 11);
    Sha512Update(&context512, "secret seed", 11);
    uint8_t digest[kSha512DigestSize];
    Sha256Final(digest, &context256);
    Sha512Final(digest, &context512);
    EXPECT_EQ(HexText(reinterpret_cast<const uint8_t*>(&context256), sizeof(context256)),
              std::string(2 * sizeof(context256), '0'));
    EXPECT_EQ(HexText(reinterpret_cast<const uint8_t*>(&context512), sizeof(context512)),
              std::string(2 * sizeof(context512), '0'));
}
