#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "HexBytes.h"
#include "signature/Ed25519.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

using Bytes = std::vector<uint8_t>;

struct Rfc8032Case {
    const char* name;
    const char* seed;
    const char* publicKey;
    const char* message;
    const char* signature;
};

std::ostream& operator<<(std::ostream& out, const Rfc8032Case& c) {
    return out << c.name;
}

// RFC 8032 section 7.1.
const Rfc8032Case kRfc8032[] = {
    {"Test1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9"
     "b46bd25bf5f0595bbe24655141438e7a100b"},
    {"Test2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f1"
     "1d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"Test3", "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984d"
     "c6594a7c15e9716ed28dc027beceea1ec40a"},
    {"Test1024", "f5e5767cf153319517630f226876b86c8160cc583bc013744c6bf255f5cc0ee5",
     "278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e",
     "08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa6e264bf09efe12ee50f8f54e9f7"
     "7b1"
     "e355f6c50544e23fb1433ddf73be84d879de7c0046dc4996d9e773f4bc9efe5738829adb26c81b37c93a1b270b203"
     "29d"
     "658675fc6ea534e0810a4432826bf58c941efb65d57a338bbd2e26640f89ffbc1a858efcb8550ee3a5e1998bd177e"
     "93a"
     "7363c344fe6b199ee5d02e82d522c4feba15452f80288a821a579116ec6dad2b3b310da903401aa62100ab5d1a365"
     "53e"
     "06203b33890cc9b832f79ef80560ccb9a39ce767967ed628c6ad573cb116dbefefd75499da96bd68a8a97b928a8bb"
     "c10"
     "3b6621fcde2beca1231d206be6cd9ec7aff6f6c94fcd7204ed3455c68c83f4a41da4af2b74ef5c53f1d8ac70bdcb7"
     "ed1"
     "85ce81bd84359d44254d95629e9855a94a7c1958d1f8ada5d0532ed8a5aa3fb2d17ba70eb6248e594e1a2297acbbb"
     "39d"
     "502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad88425de6bde1a9187ebb6092cf67bf2b13fd65f"
     "270"
     "88d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc2732e69485bbc9c90bfbd62481d90"
     "89b"
     "eccf80cfe2df16a2cf65bd92dd597b0707e0917af48bbb75fed413d238f5555a7a569d80c3414a8d0859dc65a4612"
     "8ba"
     "b27af87a71314f318c782b23ebfe808b82b0ce26401d2e22f04d83d1255dc51addd3b75a2b1ae0784504df543af89"
     "69b"
     "e3ea7082ff7fc9888c144da2af58429ec96031dbcad3dad9af0dcbaaaf268cb8fcffead94f3c7ca495e056a9b47ac"
     "db7"
     "51fb73e666c6c655ade8297297d07ad1ba5e43f1bca32301651339e22904cc8c42f58c30c04aafdb038dda0847dd9"
     "88d"
     "cda6f3bfd15c4b4c4525004aa06eeff8ca61783aacec57fb3d1f92b0fe2fd1a85f6724517b65e614ad6808d6f6ee3"
     "4df"
     "f7310fdc82aebfd904b01e1dc54b2927094b2db68d6f903b68401adebf5a7e08d78ff4ef5d63653a65040cf9bfd4a"
     "ca7"
     "984a74d37145986780fc0b16ac451649de6188a7dbdf191f64b5fc5e2ab47b57f7f7276cd419c17a3ca8e1b939ae4"
     "9e4"
     "88acba6b965610b5480109c8b17b80e1b7b750dfc7598d5d5011fd2dcc5600a32ef5b52a1ecc820e308aa342721aa"
     "c09"
     "43bf6686b64b2579376504ccc493d97e6aed3fb0f9cd71a43dd497f01f17c0e2cb3797aa2a2f256656168e6c496af"
     "c5f"
     "b93246f6b1116398a346f1a641f3b041e989f7914f90cc2c7fff357876e506b50d334ba77c225bc307ba537152f3f"
     "161"
     "0e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a45a96768d40fd9d03412c091c6315cf4fde7cb686069373"
     "80d"
     "b2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86aba41c0618983f8741c5ef68d3a101e8a3b"
     "8ca"
     "c60c905c15fc910840b94c00a0b9d0",
     "0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350aa5371b1508f9f4528ecea23c436"
     "d94b5e8fcd4f681e30a6ac00a9704a188a03"},
    {"ShaOfAbc", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3fe"
     "ebbd454d4423643ce80e2a9ac94fa54ca49f",
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431"
     "e0303dca179c138ac17ad9bef1177331a704"},
};

class Rfc8032 : public ::testing::TestWithParam<Rfc8032Case> {};

// A key, a signature and a message to verify.
struct Signed {
    Bytes key;
    Bytes signature;
    Bytes message;
};

bool Verify(const Signed& s) {
    return Ed25519Verify(s.signature.data(), s.key.data(), s.message.data(), s.message.size());
}

Signed FromRfc(int index) {
    const Rfc8032Case& c = kRfc8032[index];
    return {HexBytes(c.publicKey), HexBytes(c.signature), HexBytes(c.message)};
}

void SetR(Signed* s, const char* hex) {
    Bytes r = HexBytes(hex);
    std::copy(r.begin(), r.end(), s->signature.begin());
}

void SetS(Signed* s, const char* hex) {
    Bytes scalar = HexBytes(hex);
    std::copy(scalar.begin(), scalar.end(), s->signature.begin() + 32);
}

// Encodings of y, little-endian with x's sign in the top bit.
const char kNeutral[] = "0100000000000000000000000000000000000000000000000000000000000000";
const char kNeutralSignBitSet[] =
    "0100000000000000000000000000000000000000000000000000000000000080";
const char kNeutralAsPPlusOne[] =  // y = p + 1, beyond p
    "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f";
const char kYWithoutX[] =  // y = 2: (y^2 - 1) / (d y^2 + 1) is no square
    "0200000000000000000000000000000000000000000000000000000000000000";
const char kMinusBase[] = "58666666666666666666666666666666666666666666666666666666666666e6";
// Scalars: zero, L - 1, L.
const char kZero[] = "0000000000000000000000000000000000000000000000000000000000000000";
const char kOrderLessOne[] = "ecd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";
const char kOrder[] = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";

// [0]B = O + [k]O: with the neutral point as key and as R, S = 0 verifies for any message, under
// the cofactorless equation as under OpenSSL. The refusals below change one part of it, so each
// would verify but for the check that refuses it.
Signed NeutralSignature() {
    Signed s{HexBytes(kNeutral), Bytes(64), {'u', 'p', 'd', 'a', 't', 'e'}};
    SetR(&s, kNeutral);
    SetS(&s, kZero);
    return s;
}

struct VerifyCase {
    const char* name;
    Signed (*make)();
    bool verifies;
};

std::ostream& operator<<(std::ostream& out, const VerifyCase& c) {
    return out << c.name;
}

const VerifyCase kVerifyCases[] = {
    {"NeutralKeyRAndZeroS", NeutralSignature, true},
    {"SJustBelowL",  // [L - 1]B = -B
     [] {
         Signed s = NeutralSignature();
         SetR(&s, kMinusBase);
         SetS(&s, kOrderLessOne);
         return s;
     },
     true},
    {"SEqualsL",  // [L]B = O
     [] {
         Signed s = NeutralSignature();
         SetS(&s, kOrder);
         return s;
     },
     false},
    {"SPlusL",
     [] {
         Signed s = FromRfc(0);
         SetS(&s, "4c8c7872aa064e049dbb3013fbf29380d25bf5f0595bbe24655141438e7a101b");
         return s;
     },
     false},
    {"SAllOnes",
     [] {
         Signed s = FromRfc(0);
         SetS(&s, "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff");
         return s;
     },
     false},
    {"KeyYBeyondP",
     [] {
         Signed s = NeutralSignature();
         s.key = HexBytes(kNeutralAsPPlusOne);
         return s;
     },
     false},
    {"RYBeyondP",
     [] {
         Signed s = NeutralSignature();
         SetR(&s, kNeutralAsPPlusOne);
         return s;
     },
     false},
    {"KeyYWithoutX",
     [] {
         Signed s = NeutralSignature();
         s.key = HexBytes(kYWithoutX);
         return s;
     },
     false},
    {"RYWithoutX",
     [] {
         Signed s = NeutralSignature();
         SetR(&s, kYWithoutX);
         return s;
     },
     false},
    {"KeyZeroXWithSignBit",
     [] {
         Signed s = NeutralSignature();
         s.key = HexBytes(kNeutralSignBitSet);
         return s;
     },
     false},
    {"RZeroXWithSignBit",
     [] {
         Signed s = NeutralSignature();
         SetR(&s, kNeutralSignBitSet);
         return s;
     },
     false},
    {"WrongMessage",
     [] {
         Signed s = FromRfc(1);
         s.message[0] ^= 1;
         return s;
     },
     false},
    {"KeyOfAnotherSigner",
     [] {
         Signed s = FromRfc(1);
         s.key = FromRfc(2).key;
         return s;
     },
     false},
    // The flipped bits below leave R and the key curve points: the equation refuses them.
    {"FlippedBitInR",
     [] {
         Signed s = FromRfc(2);
         s.signature[0] ^= 1;
         return s;
     },
     false},
    {"FlippedSignOfR",
     [] {
         Signed s = FromRfc(2);
         s.signature[31] ^= 0x80;
         return s;
     },
     false},
    {"FlippedBitInS",
     [] {
         Signed s = FromRfc(2);
         s.signature[32] ^= 1;
         return s;
     },
     false},
    {"FlippedBitInKey",
     [] {
         Signed s = FromRfc(2);
         s.key[0] ^= 1;
         return s;
     },
     false},
};

class Verification : public ::testing::TestWithParam<VerifyCase> {};

struct KeyCase {
    const char* name;
    const char* encoding;
    bool valid;
};

std::ostream& operator<<(std::ostream& out, const KeyCase& c) {
    return out << c.name;
}

// One case per refusal of the decoding, beside encodings on either side of each.
const KeyCase kKeyCases[] = {
    {"Neutral", kNeutral, true},
    {"NeutralWithSignBit", kNeutralSignBitSet, false},
    {"OrderTwoPoint",  // y = p - 1, x = 0: the largest canonical y
     "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", true},
    {"OrderTwoPointWithSignBit", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
     false},
    {"YEqualsP", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false},
    {"NeutralAsPPlusOne", kNeutralAsPPlusOne, false},
    {"YAllOnes", "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
    {"YZero",  // x^2 = -1: the root found needs the factor sqrt(-1)
     kZero, true},
    {"YZeroWithSignBit", "0000000000000000000000000000000000000000000000000000000000000080", true},
    {"YTwoWithoutX", kYWithoutX, false},
    {"BasePoint", "5866666666666666666666666666666666666666666666666666666666666666", true},
    {"MinusBasePoint", kMinusBase, true},
};

class PublicKeyEncoding : public ::testing::TestWithParam<KeyCase> {};

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

}  // namespace

TEST_P(Rfc8032, DerivesThePublicKey) {
    Bytes seed = HexBytes(GetParam().seed);
    uint8_t publicKey[kEd25519PublicKeySize];
    Ed25519PublicKey(publicKey, seed.data());
    EXPECT_EQ(HexText(publicKey, sizeof(publicKey)), GetParam().publicKey);
}

TEST_P(Rfc8032, SignsAsPublished) {
    Bytes seed = HexBytes(GetParam().seed);
    Bytes message = HexBytes(GetParam().message);
    uint8_t signature[kEd25519SignatureSize];
    Ed25519Sign(signature, seed.data(), message.data(), message.size());
    EXPECT_EQ(HexText(signature, sizeof(signature)), GetParam().signature);
}

TEST_P(Rfc8032, VerifiesThePublishedSignature) {
    Bytes key = HexBytes(GetParam().publicKey);
    Bytes message = HexBytes(GetParam().message);
    Bytes signature = HexBytes(GetParam().signature);
    EXPECT_TRUE(Ed25519Verify(signature.data(), key.data(), message.data(), message.size()));
}

INSTANTIATE_TEST_SUITE_P(Vectors, Rfc8032, ::testing::ValuesIn(kRfc8032), CaseName<Rfc8032Case>);

TEST_P(PublicKeyEncoding, DecodesOnlyCanonicalCurvePoints) {
    EXPECT_EQ(Ed25519IsValidPublicKey(HexBytes(GetParam().encoding).data()), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Ed25519,
                         PublicKeyEncoding,
                         ::testing::ValuesIn(kKeyCases),
                         CaseName<KeyCase>);

TEST_P(Verification, AcceptsOrRefuses) {
    EXPECT_EQ(Verify(GetParam().make()), GetParam().verifies);
}

INSTANTIATE_TEST_SUITE_P(Ed25519,
                         Verification,
                         ::testing::ValuesIn(kVerifyCases),
                         CaseName<VerifyCase>);
