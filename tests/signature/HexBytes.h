#pragma once
// Test vectors' hex texts as bytes, and bytes as text for readable failures.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "signature/SignatureText.h"

namespace netrefit {
namespace test {

inline std::vector<uint8_t> HexBytes(const std::string& text) {
    std::vector<uint8_t> bytes(text.size() / 2);
    EXPECT_TRUE(ParseHexBytes(text.data(), text.size(), bytes.data(), bytes.size())) << text;
    return bytes;
}

inline std::string HexText(const uint8_t* bytes, size_t count) {
    std::string text(2 * count + 1, '\0');
    FormatHexBytes(bytes, count, &text[0]);
    text.pop_back();
    return text;
}

}  // namespace test
}  // namespace netrefit
