#include "signature/Sha512.h"

#include <cstring>

#include "signature/SecureWipe.h"

namespace netrefit {
namespace {

// The first 64 bits of the fractional parts of the cube roots of the first 80 primes.
const uint64_t kRound[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

// The same of the square roots of the first 8 primes.
const uint64_t kInitial[8] = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
};

inline uint64_t RotateRight(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

inline uint64_t LoadBigEndian(const uint8_t* p) {
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i) {
        x = (x << 8) | p[i];
    }
    return x;
}

inline void StoreBigEndian(uint8_t* p, uint64_t x) {
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(x >> (56 - 8 * i));
    }
}

// w: the caller's message schedule, wiped by the caller.
void Transform(uint64_t state[8], const uint8_t block[128], uint64_t w[80]) {
    for (int t = 0; t < 16; ++t) {
        w[t] = LoadBigEndian(block + 8 * t);
    }
    for (int t = 16; t < 80; ++t) {
        uint64_t s0 = RotateRight(w[t - 15], 1) ^ RotateRight(w[t - 15], 8) ^ (w[t - 15] >> 7);
        uint64_t s1 = RotateRight(w[t - 2], 19) ^ RotateRight(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 80; ++t) {
        uint64_t sum1 = RotateRight(e, 14) ^ RotateRight(e, 18) ^ RotateRight(e, 41);
        uint64_t t1 = h + sum1 + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
        uint64_t sum0 = RotateRight(a, 28) ^ RotateRight(a, 34) ^ RotateRight(a, 39);
        uint64_t t2 = sum0 + ((a & b) ^ (a & c) ^ (b & c));
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
void TransformBlocks(uint64_t state[8], const uint8_t* blocks, size_t length) {
    uint64_t schedule[80];
    for (size_t offset = 0; offset < length; offset += 128) {
        Transform(state, blocks + offset, schedule);
    }
    SecureWipe(schedule, sizeof(schedule));
}

}  // namespace

void Sha512Init(Sha512Context* context) {
    memcpy(context->state, kInitial, sizeof(kInitial));
    context->length = 0;
}

void Sha512Update(Sha512Context* context, const void* data, size_t length) {
    if (length == 0) {
        return;  // data may then be null, which memcpy does not take
    }
    const uint8_t* input = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(context->length % 128);
    context->length += length;
    if (used != 0) {
        size_t room = 128 - used;
        if (length < room) {
            memcpy(context->buffer + used, input, length);
            return;
        }
        memcpy(context->buffer + used, input, room);
        input += room;
        length -= room;
        TransformBlocks(context->state, context->buffer, 128);
    }
    size_t whole = length - length % 128;
    TransformBlocks(context->state, input, whole);
    memcpy(context->buffer, input + whole, length - whole);
}

void Sha512Final(uint8_t digest[kSha512DigestSize], Sha512Context* context) {
    // The bit count is 128 bits wide; a byte count of 64 bits fills its low 67.
    uint8_t bitCount[16] = {};
    uint64_t low = context->length << 3;
    bitCount[7] = static_cast<uint8_t>(context->length >> 61);
    StoreBigEndian(bitCount + 8, low);
    static const uint8_t kPadding[128] = {0x80};
    size_t used = static_cast<size_t>(context->length % 128);
    Sha512Update(context, kPadding, used < 112 ? 112 - used : 240 - used);
    Sha512Update(context, bitCount, sizeof(bitCount));
    for (int i = 0; i < 8; ++i) {
        StoreBigEndian(digest + 8 * i, context->state[i]);
    }
    SecureWipe(context, sizeof(*context));
}

void Sha512OfBuffer(const void* data, size_t length, uint8_t digest[kSha512DigestSize]) {
    Sha512Context context{};
    Sha512Init(&context);
    Sha512Update(&context, data, length);
    Sha512Final(digest, &context);
}

}  // namespace netrefit
