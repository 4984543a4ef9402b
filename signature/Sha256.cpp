#include "signature/Sha256.h"

#include <cstring>

#include "signature/SecureWipe.h"

namespace netrefit {
namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The same of the square roots of the first 8 primes.
const uint32_t kInitial[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

inline uint32_t RotateRight(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreBigEndian(uint8_t* p, uint32_t x) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(x >> (24 - 8 * i));
    }
}

// w: the caller's message schedule, wiped by the caller.
void Transform(uint32_t state[8], const uint8_t block[64], uint32_t w[64]) {
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadBigEndian(block + 4 * t);
    }
    for (int t = 16; t < 64; ++t) {
        uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
        uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
        uint32_t t1 = h + sum1 + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
        uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
        uint32_t t2 = sum0 + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

// The blocks of length bytes (a multiple of the block size), with one schedule that is wiped
// after the last: it holds words of the message, which may be a secret key.
void TransformBlocks(uint32_t state[8], const uint8_t* blocks, size_t length) {
    uint32_t schedule[64];
    for (size_t offset = 0; offset < length; offset += 64) {
        Transform(state, blocks + offset, schedule);
    }
    SecureWipe(schedule, sizeof(schedule));
}

}  // namespace

void Sha256Init(Sha256Context* context) {
    memcpy(context->state, kInitial, sizeof(kInitial));
    context->length = 0;
}

void Sha256Update(Sha256Context* context, const void* data, size_t length) {
    if (length == 0) {
        return;  // data may then be null, which memcpy does not take
    }
    const uint8_t* input = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(context->length % 64);
    context->length += length;
    if (used != 0) {
        size_t room = 64 - used;
        if (length < room) {
            memcpy(context->buffer + used, input, length);
            return;
        }
        memcpy(context->buffer + used, input, room);
        input += room;
        length -= room;
        TransformBlocks(context->state, context->buffer, 64);
    }
    size_t whole = length - length % 64;
    TransformBlocks(context->state, input, whole);
    memcpy(context->buffer, input + whole, length - whole);
}

void Sha256Final(uint8_t digest[kSha256DigestSize], Sha256Context* context) {
    uint8_t bitCount[8];
    uint64_t bits = context->length << 3;
    for (int i = 0; i < 8; ++i) {
        bitCount[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    }
    static const uint8_t kPadding[64] = {0x80};
    size_t used = static_cast<size_t>(context->length % 64);
    Sha256Update(context, kPadding, used < 56 ? 56 - used : 120 - used);
    Sha256Update(context, bitCount, sizeof(bitCount));
    for (int i = 0; i < 8; ++i) {
        StoreBigEndian(digest + 4 * i, context->state[i]);
    }
    SecureWipe(context, sizeof(*context));
}

void Sha256OfBuffer(const void* data, size_t length, uint8_t digest[kSha256DigestSize]) {
    Sha256Context context{};
    Sha256Init(&context);
    Sha256Update(&context, data, length);
    Sha256Final(digest, &context);
}

}  // namespace netrefit
