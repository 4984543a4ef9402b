#pragma once
// MD5 message digest (RFC 1321). Plain computation: no files, no windows, no heap.

#include <cstddef>
#include <cstdint>

namespace netrefit {

struct Md5Context {
    uint32_t state[4];   // chaining words A, B, C, D
    uint32_t count[2];   // number of bits hashed, low word first
    uint8_t buffer[64];  // partial input block
};

void Md5Init(Md5Context* context);
void Md5Update(Md5Context* context, const void* data, size_t length);
// Writes the 16 digest bytes and wipes the context.
void Md5Final(uint8_t digest[16], Md5Context* context);

// Writes 32 lowercase hexadecimal digits and a terminating NUL into text[33].
void Md5DigestToText(const uint8_t digest[16], char text[33]);

// The digest text of a buffer in one call.
void Md5OfBuffer(const void* data, size_t length, char text[33]);

}  // namespace netrefit
