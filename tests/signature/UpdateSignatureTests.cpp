#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "HexBytes.h"
#include "signature/UpdateSignature.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

// RFC 8032 section 7.1, tests 1 and 2.
const std::string kKey1 = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
const std::string kSeed2 = "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb";
const std::string kKey2 = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
const std::string kSignature2 =
    "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f1"
    "1d8c387b2eaeb4302aeeb00d291612bb0c00";
const uint8_t kMessage2[] = {0x72};
// y = p: 64 digits, but no canonical encoding of a point.
const std::string kKeyNotAPoint =
    "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f";

struct KeyListCase {
    const char* name;
    std::string text;
    int keys;  // -1: refused
};

std::ostream& operator<<(std::ostream& out, const KeyListCase& c) {
    return out << c.name;
}

std::string Repeated(const std::string& item, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i ? "," : "") + item;
    }
    return text;
}

const KeyListCase kKeyLists[] = {
    {"Empty", "", 0},
    {"Blanks", " \t ", 0},
    {"One", kKey1, 1},
    {"TwoWithBlanks", " " + kKey1 + " ,\t" + kKey2 + " ", 2},
    {"UpperCase", "D75A980182B10AB7D54BFED3C964073A0EE172F3DAA62325AF021A68F707511A", 1},
    {"MostKeys", Repeated(kKey1, 8), 8},
    {"TooManyKeys", Repeated(kKey1, 9), -1},
    {"TrailingComma", kKey1 + ",", -1},
    {"EmptyItem", kKey1 + ",," + kKey2, -1},
    {"LoneComma", ",", -1},
    {"ShortKey", kKey1.substr(1), -1},
    {"SemicolonSeparated", kKey1 + ";" + kKey2, -1},
    {"BlankInsideKey", kKey1.substr(0, 30) + " " + kKey1.substr(30), -1},
    {"NotACurvePoint", kKeyNotAPoint, -1},
    {"GoodThenNotAPoint", kKey1 + "," + kKeyNotAPoint, -1},
    // Points of order 1, 2, 4 and 8 (anyone can sign for them), then non-canonical forms of them.
    {"SmallOrder1", "0100000000000000000000000000000000000000000000000000000000000000", -1},
    {"SmallOrder2", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", -1},
    {"SmallOrder4", "0000000000000000000000000000000000000000000000000000000000000000", -1},
    {"SmallOrder4Negated", "0000000000000000000000000000000000000000000000000000000000000080", -1},
    {"SmallOrder8A", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a", -1},
    {"SmallOrder8ANegated", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac03fa", -1},
    {"SmallOrder8B", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05", -1},
    {"SmallOrder8BNegated", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85", -1},
    {"SmallOrder1SignedZeroX", "0100000000000000000000000000000000000000000000000000000000000080",
     -1},
    {"SmallOrder2SignedZeroX", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
     -1},
    {"SmallOrder1YPlusP", "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", -1},
    {"SmallOrder1YPlusPSigned", "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
     -1},
    {"SmallOrder4YIsP", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", -1},
    {"SmallOrder4YIsPNegated", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
     -1},
    {"GoodThenSmallOrder",
     kKey1 + ",0100000000000000000000000000000000000000000000000000000000000000", -1},
};

class KeyLists : public ::testing::TestWithParam<KeyListCase> {};

struct DateCase {
    const char* text;
    bool valid;
};

const DateCase kDates[] = {
    {"2026-12-10", true},  {"2024-02-29", true},   {"1601-01-01", true},
    {"9999-12-31", true},  {"2023-02-29", false},  {"2100-02-29", false},
    {"2026-13-01", false}, {"2026-00-10", false},  {"2026-04-31", false},
    {"2026-1-10", false},  {" 2026-12-10", false}, {"2026-12-10 ", false},
    {"2026/12/10", false}, {"1600-12-31", false},  {"", false},
    {"20261210", false},
};

}  // namespace

TEST_P(KeyLists, TakesOnlyWholeListsOfCurvePoints) {
    const KeyListCase& c = GetParam();
    PublicKeyList keys(3);
    ASSERT_EQ(ParsePublicKeyList(c.text, &keys), c.keys >= 0);
    ASSERT_EQ(keys.size(), static_cast<size_t>(c.keys >= 0 ? c.keys : 0));
    if (c.keys > 0) {
        EXPECT_EQ(HexText(keys[0].bytes, 32), kKey1);
    }
}

// The first eight rows of small order above are canonical encodings: they decode, and only their
// order refuses them. A real key does not have it.
TEST(KeyLists, SmallOrderIsWhatRefusesTheCanonicalOnes) {
    int canonical = 0;
    for (const KeyListCase& c : kKeyLists) {
        std::string name = c.name;
        if (name.rfind("SmallOrder", 0) != 0 || c.text.size() != 64)
            continue;
        std::vector<uint8_t> key = HexBytes(c.text);
        if (Ed25519IsValidPublicKey(key.data())) {
            ++canonical;
            EXPECT_TRUE(Ed25519IsSmallOrderKey(key.data())) << name;
        }
    }
    EXPECT_EQ(8, canonical);
    EXPECT_FALSE(Ed25519IsSmallOrderKey(HexBytes(kKey1).data()));
    EXPECT_FALSE(Ed25519IsSmallOrderKey(HexBytes(kKey2).data()));
}

INSTANTIATE_TEST_SUITE_P(Settings,
                         KeyLists,
                         ::testing::ValuesIn(kKeyLists),
                         [](const ::testing::TestParamInfo<KeyListCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(SignatureFile, SomeLineMustVerifyWithSomeKey) {
    PublicKeyList one;
    PublicKeyList rotated;
    ASSERT_TRUE(ParsePublicKeyList(kKey2, &one));
    ASSERT_TRUE(ParsePublicKeyList(kKey1 + "," + kKey2, &rotated));
    PublicKeyList wrong;
    ASSERT_TRUE(ParsePublicKeyList(kKey1, &wrong));
    std::string other = kSignature2;
    other[10] = other[10] == '0' ? '1' : '0';

    struct {
        std::string text;
        const PublicKeyList& keys;
        bool verifies;
    } cases[] = {
        {kSignature2, one, true},
        {kSignature2 + "\r\n", one, true},
        {" " + kSignature2 + "\t\r\n", one, true},
        {kSignature2, rotated, true},
        {other + "\r\n\r\n" + kSignature2 + "\n", one, true},
        {"garbage\n" + kSignature2, rotated, true},
        {kSignature2, wrong, false},
        {other, one, false},
        {kSignature2.substr(0, 127), one, false},
        {kSignature2 + "0", one, false},
        {"", one, false},
        {kSignature2, PublicKeyList(), false},
        // Two signatures are tried per key, whatever else the file holds.
        {"garbage\n\n" + other + "\n" + kSignature2, one, true},
        {other + "\n" + other + "\n" + kSignature2, one, false},
        {other + "\n" + other + "\n" + other + "\n" + kSignature2, rotated, true},
        {other + "\n" + other + "\n" + other + "\n" + other + "\n" + kSignature2, rotated, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnySignatureVerifies(c.text, kMessage2, sizeof(kMessage2), c.keys), c.verifies)
            << c.text;
    }
    // A good line is looked for among the first lines only.
    std::string late;
    for (size_t i = 0; i < kMaxSignatureLines; ++i) {
        late += "not a signature\n";
    }
    EXPECT_FALSE(AnySignatureVerifies(late + kSignature2, kMessage2, 1, one));
    late.erase(0, late.find('\n') + 1);
    EXPECT_TRUE(AnySignatureVerifies(late + kSignature2, kMessage2, 1, one));
}

TEST(SignatureFile, LineIsTheSeedsSignature) {
    std::vector<uint8_t> seed = HexBytes(kSeed2);
    EXPECT_EQ(SignatureLine(seed.data(), kMessage2, sizeof(kMessage2)), kSignature2);
}

TEST(Sha256Text, OnlySixtyFourLowercaseDigits) {
    std::string digest(64, 'a');
    EXPECT_TRUE(IsSha256Text(digest));
    EXPECT_TRUE(IsSha256Text(std::string(64, '9')));
    EXPECT_FALSE(IsSha256Text(std::string(64, 'A')));
    EXPECT_FALSE(IsSha256Text(std::string(63, 'a')));
    EXPECT_FALSE(IsSha256Text(std::string(65, 'a')));
    EXPECT_FALSE(IsSha256Text(std::string(63, 'a') + "g"));
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 8 + 1);
    }
    EXPECT_EQ(Sha256Text(bytes), HexText(bytes, 32));
}

TEST(CalendarDates, ParsesOnlyRealDatesInOneForm) {
    for (const DateCase& c : kDates) {
        CalendarDate date;
        date.year = 1;
        ASSERT_EQ(ParseCalendarDate(c.text, &date), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(FormatCalendarDate(date), c.text);
        } else {
            EXPECT_EQ(date.year, 1) << c.text;
        }
    }
}

TEST(CalendarDates, AddsDaysAcrossMonthsYearsAndLeapDays) {
    struct {
        const char* from;
        int days;
        const char* to;
    } cases[] = {
        {"2026-12-10", 90, "2027-03-10"}, {"2024-02-28", 1, "2024-02-29"},
        {"2023-02-28", 1, "2023-03-01"},  {"2026-12-31", 1, "2027-01-01"},
        {"2000-03-01", -1, "2000-02-29"}, {"2100-02-28", 1, "2100-03-01"},
        {"2026-12-10", 0, "2026-12-10"},  {"1970-01-01", 36524, "2069-12-31"},
    };
    for (const auto& c : cases) {
        CalendarDate from;
        ASSERT_TRUE(ParseCalendarDate(c.from, &from));
        EXPECT_EQ(FormatCalendarDate(AddDays(from, c.days)), c.to) << c.from << " + " << c.days;
    }
    CalendarDate a;
    CalendarDate b;
    ASSERT_TRUE(ParseCalendarDate("2026-12-10", &a));
    ASSERT_TRUE(ParseCalendarDate("2026-12-11", &b));
    EXPECT_LT(CompareDates(a, b), 0);
    EXPECT_GT(CompareDates(b, a), 0);
    EXPECT_EQ(CompareDates(a, a), 0);
    ASSERT_TRUE(ParseCalendarDate("2027-01-01", &b));
    EXPECT_LT(CompareDates(a, b), 0);
}
