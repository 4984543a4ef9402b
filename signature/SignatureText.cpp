#include "signature/SignatureText.h"

namespace netrefit {
namespace {

// Not isxdigit: that one follows the locale, and takes no negative char of the ANSI code pages.
int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool ParseHexBytes(const char* text, size_t length, uint8_t* bytes, size_t count) {
    if (length != 2 * count) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (DigitValue(text[i]) < 0) {
            return false;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(DigitValue(text[2 * i]) * 16 + DigitValue(text[2 * i + 1]));
    }
    return true;
}

bool ParsePublicKeyText(const char* text, size_t length, uint8_t publicKey[kEd25519PublicKeySize]) {
    return ParseHexBytes(text, length, publicKey, kEd25519PublicKeySize);
}

bool ParseSignatureText(const char* text, size_t length, uint8_t signature[kEd25519SignatureSize]) {
    return ParseHexBytes(text, length, signature, kEd25519SignatureSize);
}

void FormatHexBytes(const uint8_t* bytes, size_t count, char* text) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    text[2 * count] = '\0';
}

}  // namespace netrefit
