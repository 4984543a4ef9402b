#pragma once
// SHA-512 (FIPS 180-4). Plain computation: no files, no windows, no heap.

#include <cstddef>
#include <cstdint>

namespace netrefit {

constexpr size_t kSha512DigestSize = 64;

struct Sha512Context {
    uint64_t state[8];
    uint64_t length;      // bytes hashed so far
    uint8_t buffer[128];  // partial input block
};

void Sha512Init(Sha512Context* context);
void Sha512Update(Sha512Context* context, const void* data, size_t length);
// Writes the digest and wipes the context.
void Sha512Final(uint8_t digest[kSha512DigestSize], Sha512Context* context);

// The digest of a buffer in one call.
void Sha512OfBuffer(const void* data, size_t length, uint8_t digest[kSha512DigestSize]);

}  // namespace netrefit
