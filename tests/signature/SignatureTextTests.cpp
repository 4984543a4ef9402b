#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

#include "HexBytes.h"
#include "signature/SignatureText.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

const std::string kDigits = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string WithCharAt(std::string text, size_t at, char c) {
    text[at] = c;
    return text;
}

struct TextCase {
    const char* name;
    std::string text;
    size_t bytes;  // 32: a public key, 64: a signature
    bool accepted;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) {
    return out << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<TextCase>& info) {
    return info.param.name;
}

const TextCase kTextCases[] = {
    {"KeyLowerCase", kDigits, 32, true},
    {"KeyUpperCase", Upper(kDigits), 32, true},
    {"SignatureMixedCase", kDigits + Upper(kDigits), 64, true},
    {"KeyEmpty", "", 32, false},
    {"KeyOneDigitShort", kDigits.substr(1), 32, false},
    {"KeyOneDigitLong", kDigits + "0", 32, false},
    {"KeyWithLineEnd", kDigits + "\n", 32, false},
    {"KeyLeadingSpace", WithCharAt(kDigits, 0, ' '), 32, false},
    {"KeyHexPrefix", "0x" + kDigits.substr(2), 32, false},
    {"KeyLetterG", WithCharAt(kDigits, 17, 'g'), 32, false},
    {"KeyEmbeddedNul", WithCharAt(kDigits, 40, '\0'), 32, false},
    {"KeyAnsiSuperscriptTwo", WithCharAt(kDigits, 63, '\xb2'), 32, false},
    {"KeySignatureLength", kDigits + kDigits, 32, false},
    {"SignatureKeyLength", kDigits, 64, false},
    {"SignatureOneDigitShort", (kDigits + kDigits).substr(1), 64, false},
    {"SignatureMinus", WithCharAt(kDigits + kDigits, 100, '-'), 64, false},
};

class TextParsing : public ::testing::TestWithParam<TextCase> {};

}  // namespace

// An accepted text gives its bytes (formatted back: the lowercase text); a refused one leaves the
// output as it was.
TEST_P(TextParsing, TakesOnlyExactDigits) {
    const TextCase& c = GetParam();
    uint8_t bytes[64];
    memset(bytes, 0xa5, sizeof(bytes));
    bool accepted = c.bytes == 32 ? ParsePublicKeyText(c.text.data(), c.text.size(), bytes)
                                  : ParseSignatureText(c.text.data(), c.text.size(), bytes);
    ASSERT_EQ(accepted, c.accepted);
    std::string expected;
    if (accepted) {
        expected = Lower(c.text);
    } else {
        for (size_t i = 0; i < c.bytes; ++i) {
            expected += "a5";
        }
    }
    EXPECT_EQ(HexText(bytes, c.bytes), expected);
}

INSTANTIATE_TEST_SUITE_P(SignatureText, TextParsing, ::testing::ValuesIn(kTextCases), CaseName);

TEST(SignatureText, FormatsLowercaseWithATerminator) {
    const uint8_t bytes[] = {0x00, 0x9f, 0xa0, 0xff};
    char text[10];
    memset(text, 'x', sizeof(text));
    FormatHexBytes(bytes, sizeof(bytes), text);
    EXPECT_STREQ(text, "009fa0ff");
    EXPECT_EQ(text[9], 'x');
}
