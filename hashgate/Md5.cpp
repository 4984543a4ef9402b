#include "hashgate/Md5.h"

#include <cstring>

namespace netrefit {
namespace {

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLittleEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The round functions in the forms that need the fewest operations; F is algebraically
// equal to RFC 1321's (x & y) | (~x & z).
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP(f, a, b, c, d, x, s, t) \
    (a) += f((b), (c), (d)) + (x) + (t); \
    (a) = RotateLeft((a), (s)) + (b);

// G's two terms never share a set bit, so they can be added separately: the first sum does
// not wait for b, which shortens the dependency chain of the second round.
#define MD5_STEP_G(a, b, c, d, x, s, t) \
    (a) += ((c) & ~(d)) + (x) + (t);    \
    (a) += (b) & (d);                   \
    (a) = RotateLeft((a), (s)) + (b);

// Fully unrolled compression of one 64-byte block.
void Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = LoadLittleEndian(block + 4 * i);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    MD5_STEP(MD5_F, a, b, c, d, x[0], 7, 0xd76aa478)
    MD5_STEP(MD5_F, d, a, b, c, x[1], 12, 0xe8c7b756)
    MD5_STEP(MD5_F, c, d, a, b, x[2], 17, 0x242070db)
    MD5_STEP(MD5_F, b, c, d, a, x[3], 22, 0xc1bdceee)
    MD5_STEP(MD5_F, a, b, c, d, x[4], 7, 0xf57c0faf)
    MD5_STEP(MD5_F, d, a, b, c, x[5], 12, 0x4787c62a)
    MD5_STEP(MD5_F, c, d, a, b, x[6], 17, 0xa8304613)
    MD5_STEP(MD5_F, b, c, d, a, x[7], 22, 0xfd469501)
    MD5_STEP(MD5_F, a, b, c, d, x[8], 7, 0x698098d8)
    MD5_STEP(MD5_F, d, a, b, c, x[9], 12, 0x8b44f7af)
    MD5_STEP(MD5_F, c, d, a, b, x[10], 17, 0xffff5bb1)
    MD5_STEP(MD5_F, b, c, d, a, x[11], 22, 0x895cd7be)
    MD5_STEP(MD5_F, a, b, c, d, x[12], 7, 0x6b901122)
    MD5_STEP(MD5_F, d, a, b, c, x[13], 12, 0xfd987193)
    MD5_STEP(MD5_F, c, d, a, b, x[14], 17, 0xa679438e)
    MD5_STEP(MD5_F, b, c, d, a, x[15], 22, 0x49b40821)

    MD5_STEP_G(a, b, c, d, x[1], 5, 0xf61e2562)
    MD5_STEP_G(d, a, b, c, x[6], 9, 0xc040b340)
    MD5_STEP_G(c, d, a, b, x[11], 14, 0x265e5a51)
    MD5_STEP_G(b, c, d, a, x[0], 20, 0xe9b6c7aa)
    MD5_STEP_G(a, b, c, d, x[5], 5, 0xd62f105d)
    MD5_STEP_G(d, a, b, c, x[10], 9, 0x02441453)
    MD5_STEP_G(c, d, a, b, x[15], 14, 0xd8a1e681)
    MD5_STEP_G(b, c, d, a, x[4], 20, 0xe7d3fbc8)
    MD5_STEP_G(a, b, c, d, x[9], 5, 0x21e1cde6)
    MD5_STEP_G(d, a, b, c, x[14], 9, 0xc33707d6)
    MD5_STEP_G(c, d, a, b, x[3], 14, 0xf4d50d87)
    MD5_STEP_G(b, c, d, a, x[8], 20, 0x455a14ed)
    MD5_STEP_G(a, b, c, d, x[13], 5, 0xa9e3e905)
    MD5_STEP_G(d, a, b, c, x[2], 9, 0xfcefa3f8)
    MD5_STEP_G(c, d, a, b, x[7], 14, 0x676f02d9)
    MD5_STEP_G(b, c, d, a, x[12], 20, 0x8d2a4c8a)

    MD5_STEP(MD5_H, a, b, c, d, x[5], 4, 0xfffa3942)
    MD5_STEP(MD5_H, d, a, b, c, x[8], 11, 0x8771f681)
    MD5_STEP(MD5_H, c, d, a, b, x[11], 16, 0x6d9d6122)
    MD5_STEP(MD5_H, b, c, d, a, x[14], 23, 0xfde5380c)
    MD5_STEP(MD5_H, a, b, c, d, x[1], 4, 0xa4beea44)
    MD5_STEP(MD5_H, d, a, b, c, x[4], 11, 0x4bdecfa9)
    MD5_STEP(MD5_H, c, d, a, b, x[7], 16, 0xf6bb4b60)
    MD5_STEP(MD5_H, b, c, d, a, x[10], 23, 0xbebfbc70)
    MD5_STEP(MD5_H, a, b, c, d, x[13], 4, 0x289b7ec6)
    MD5_STEP(MD5_H, d, a, b, c, x[0], 11, 0xeaa127fa)
    MD5_STEP(MD5_H, c, d, a, b, x[3], 16, 0xd4ef3085)
    MD5_STEP(MD5_H, b, c, d, a, x[6], 23, 0x04881d05)
    MD5_STEP(MD5_H, a, b, c, d, x[9], 4, 0xd9d4d039)
    MD5_STEP(MD5_H, d, a, b, c, x[12], 11, 0xe6db99e5)
    MD5_STEP(MD5_H, c, d, a, b, x[15], 16, 0x1fa27cf8)
    MD5_STEP(MD5_H, b, c, d, a, x[2], 23, 0xc4ac5665)

    MD5_STEP(MD5_I, a, b, c, d, x[0], 6, 0xf4292244)
    MD5_STEP(MD5_I, d, a, b, c, x[7], 10, 0x432aff97)
    MD5_STEP(MD5_I, c, d, a, b, x[14], 15, 0xab9423a7)
    MD5_STEP(MD5_I, b, c, d, a, x[5], 21, 0xfc93a039)
    MD5_STEP(MD5_I, a, b, c, d, x[12], 6, 0x655b59c3)
    MD5_STEP(MD5_I, d, a, b, c, x[3], 10, 0x8f0ccc92)
    MD5_STEP(MD5_I, c, d, a, b, x[10], 15, 0xffeff47d)
    MD5_STEP(MD5_I, b, c, d, a, x[1], 21, 0x85845dd1)
    MD5_STEP(MD5_I, a, b, c, d, x[8], 6, 0x6fa87e4f)
    MD5_STEP(MD5_I, d, a, b, c, x[15], 10, 0xfe2ce6e0)
    MD5_STEP(MD5_I, c, d, a, b, x[6], 15, 0xa3014314)
    MD5_STEP(MD5_I, b, c, d, a, x[13], 21, 0x4e0811a1)
    MD5_STEP(MD5_I, a, b, c, d, x[4], 6, 0xf7537e82)
    MD5_STEP(MD5_I, d, a, b, c, x[11], 10, 0xbd3af235)
    MD5_STEP(MD5_I, c, d, a, b, x[2], 15, 0x2ad7d2bb)
    MD5_STEP(MD5_I, b, c, d, a, x[9], 21, 0xeb86d391)

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef MD5_STEP
#undef MD5_STEP_G
#undef MD5_F
#undef MD5_H
#undef MD5_I

// Plain memset may be dropped by the optimiser for a dead object; this may not.
void Wipe(void* p, size_t n) {
    volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
    while (n--) {
        *v++ = 0;
    }
}

}  // namespace

void Md5Init(Md5Context* context) {
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
}

void Md5Update(Md5Context* context, const void* data, size_t length) {
    const uint8_t* input = static_cast<const uint8_t*>(data);
    size_t used = (context->count[0] >> 3) & 0x3F;

    uint64_t bits = (static_cast<uint64_t>(context->count[1]) << 32) | context->count[0];
    bits += static_cast<uint64_t>(length) << 3;
    context->count[0] = static_cast<uint32_t>(bits);
    context->count[1] = static_cast<uint32_t>(bits >> 32);

    if (used != 0) {
        size_t room = 64 - used;
        if (length < room) {
            memcpy(context->buffer + used, input, length);
            return;
        }
        memcpy(context->buffer + used, input, room);
        Transform(context->state, context->buffer);
        input += room;
        length -= room;
    }
    // Whole blocks straight from the caller's data: no copy.
    for (; length >= 64; input += 64, length -= 64) {
        Transform(context->state, input);
    }
    memcpy(context->buffer, input, length);
}

void Md5Final(uint8_t digest[16], Md5Context* context) {
    uint8_t bitCount[8];
    for (int i = 0; i < 4; ++i) {
        bitCount[i] = static_cast<uint8_t>(context->count[0] >> (8 * i));
        bitCount[4 + i] = static_cast<uint8_t>(context->count[1] >> (8 * i));
    }
    static const uint8_t kPadding[64] = {0x80};
    size_t used = (context->count[0] >> 3) & 0x3F;
    size_t padLength = (used < 56) ? (56 - used) : (120 - used);
    Md5Update(context, kPadding, padLength);
    Md5Update(context, bitCount, 8);

    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<uint8_t>(context->state[i] >> (8 * j));
        }
    }
    Wipe(context, sizeof(*context));
}

void Md5DigestToText(const uint8_t digest[16], char text[33]) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    text[32] = '\0';
}

void Md5OfBuffer(const void* data, size_t length, char text[33]) {
    Md5Context context{};
    Md5Init(&context);
    Md5Update(&context, data, length);
    uint8_t digest[16];
    Md5Final(digest, &context);
    Md5DigestToText(digest, text);
}

}  // namespace netrefit
