#pragma once
// Keys and signatures as hexadecimal text, read strictly so that the signature arithmetic only
// ever sees whole, well-formed values: exactly two digits per byte (0-9, a-f, A-F) and nothing
// else, no spaces, prefix or line end.

#include <cstddef>
#include <cstdint>

#include "signature/Ed25519.h"

namespace netrefit {

// True when text[0..length) is exactly 2 * count hex digits; bytes gets them only then.
bool ParseHexBytes(const char* text, size_t length, uint8_t* bytes, size_t count);

// 64 digits.
bool ParsePublicKeyText(const char* text, size_t length, uint8_t publicKey[kEd25519PublicKeySize]);
// 128 digits: R, then S.
bool ParseSignatureText(const char* text, size_t length, uint8_t signature[kEd25519SignatureSize]);

// Writes 2 * count lowercase digits and a NUL: text holds 2 * count + 1 characters.
void FormatHexBytes(const uint8_t* bytes, size_t count, char* text);

}  // namespace netrefit
