#pragma once
// SHA-256 (FIPS 180-4). Plain computation: no files, no windows, no heap.

#include <cstddef>
#include <cstdint>

namespace netrefit {

constexpr size_t kSha256DigestSize = 32;

struct Sha256Context {
    uint32_t state[8];
    uint64_t length;     // bytes hashed so far
    uint8_t buffer[64];  // partial input block
};

void Sha256Init(Sha256Context* context);
void Sha256Update(Sha256Context* context, const void* data, size_t length);
// Writes the digest and wipes the context.
void Sha256Final(uint8_t digest[kSha256DigestSize], Sha256Context* context);

// The digest of a buffer in one call.
void Sha256OfBuffer(const void* data, size_t length, uint8_t digest[kSha256DigestSize]);

}  // namespace netrefit
