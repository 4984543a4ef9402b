#include "signature/Ed25519.h"

#include <cstring>

#include "signature/SecureWipe.h"
#include "signature/Sha512.h"

namespace netrefit {
namespace {

// ---- The field of integers mod p = 2^255 - 19 ----

// Ten limbs of 26 and 25 bits in turn, limb i weighing 2^ceil(25.5 i). Limbs are unsigned and
// kept under 2^26, so a product of two fits 52 bits and the sums of a whole product fit 64 bits
// with room to spare, in 32-bit code too.
struct Fe {
    uint32_t limb[10] = {};
};

constexpr int LimbBits(int i) {
    return 26 - (i & 1);
}

constexpr uint64_t LimbMask(int i) {
    return (uint64_t{1} << LimbBits(i)) - 1;
}

// Reads the low 255 bits, little-endian: the top bit is the encoding's sign of x.
constexpr Fe FeFromBytes(const uint8_t bytes[32]) {
    Fe out{};
    uint64_t window = 0;
    int bits = 0;
    int next = 0;
    for (int i = 0; i < 10; ++i) {
        while (bits < LimbBits(i)) {
            window |= uint64_t{bytes[next++]} << bits;
            bits += 8;
        }
        out.limb[i] = static_cast<uint32_t>(window & LimbMask(i));
        window >>= LimbBits(i);
        bits -= LimbBits(i);
    }
    return out;
}

constexpr uint8_t kDBytes[32] = {  // d = -121665/121666
    0xa3, 0x78, 0x59, 0x13, 0xca, 0x4d, 0xeb, 0x75, 0xab, 0xd8, 0x41, 0x41, 0x4d, 0x0a, 0x70, 0x00,
    0x98, 0xe8, 0x79, 0x77, 0x79, 0x40, 0xc7, 0x8c, 0x73, 0xfe, 0x6f, 0x2b, 0xee, 0x6c, 0x03, 0x52};
constexpr uint8_t kTwoDBytes[32] = {
    0x59, 0xf1, 0xb2, 0x26, 0x94, 0x9b, 0xd6, 0xeb, 0x56, 0xb1, 0x83, 0x82, 0x9a, 0x14, 0xe0, 0x00,
    0x30, 0xd1, 0xf3, 0xee, 0xf2, 0x80, 0x8e, 0x19, 0xe7, 0xfc, 0xdf, 0x56, 0xdc, 0xd9, 0x06, 0x24};
constexpr uint8_t kSqrtMinusOneBytes[32] = {  // 2^((p-1)/4)
    0xb0, 0xa0, 0x0e, 0x4a, 0x27, 0x1b, 0xee, 0xc4, 0x78, 0xe4, 0x2f, 0xad, 0x06, 0x18, 0x43, 0x2f,
    0xa7, 0xd7, 0xfb, 0x3d, 0x99, 0x00, 0x4d, 0x2b, 0x0b, 0xdf, 0xc1, 0x4f, 0x80, 0x24, 0x83, 0x2b};
// The base point B: y = 4/5 and the even x.
constexpr uint8_t kBaseXBytes[32] = {
    0x1a, 0xd5, 0x25, 0x8f, 0x60, 0x2d, 0x56, 0xc9, 0xb2, 0xa7, 0x25, 0x95, 0x60, 0xc7, 0x2c, 0x69,
    0x5c, 0xdc, 0xd6, 0xfd, 0x31, 0xe2, 0xa4, 0xc0, 0xfe, 0x53, 0x6e, 0xcd, 0xd3, 0x36, 0x69, 0x21};
constexpr uint8_t kBaseYBytes[32] = {
    0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
    0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};
// Exponents: p - 2 (inversion) and (p - 5) / 8 (square root).
constexpr uint8_t kInvertExponent[32] = {
    0xeb, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
constexpr uint8_t kRootExponent[32] = {
    0xfd, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x0f};

constexpr Fe kZero = {{0}};
constexpr Fe kOne = {{1}};
constexpr Fe kD = FeFromBytes(kDBytes);
constexpr Fe kTwoD = FeFromBytes(kTwoDBytes);
constexpr Fe kSqrtMinusOne = FeFromBytes(kSqrtMinusOneBytes);

// Brings every limb back under its width; the carry out of the top limb comes back in at the
// bottom times 19, as 2^255 = 19 (mod p). Limb 1 may end over its width by that last carry.
void FeCarry(Fe* out, uint64_t h[10]) {
    for (int i = 0; i < 10; ++i) {
        uint64_t carry = h[i] >> LimbBits(i);
        h[i] &= LimbMask(i);
        h[i < 9 ? i + 1 : 0] += i < 9 ? carry : 19 * carry;
    }
    h[1] += h[0] >> LimbBits(0);
    h[0] &= LimbMask(0);
    for (int i = 0; i < 10; ++i) {
        out->limb[i] = static_cast<uint32_t>(h[i]);
    }
}

void FeAdd(Fe* out, const Fe& a, const Fe& b) {
    uint64_t h[10];
    for (int i = 0; i < 10; ++i) {
        h[i] = uint64_t{a.limb[i]} + b.limb[i];
    }
    FeCarry(out, h);
}

// a + 2p - b: every limb of 2p is above the matching limb of any b, so no limb goes negative.
void FeSub(Fe* out, const Fe& a, const Fe& b) {
    static constexpr uint32_t kTwoP[10] = {0x7ffffda, 0x3fffffe, 0x7fffffe, 0x3fffffe, 0x7fffffe,
                                           0x3fffffe, 0x7fffffe, 0x3fffffe, 0x7fffffe, 0x3fffffe};
    uint64_t h[10];
    for (int i = 0; i < 10; ++i) {
        h[i] = uint64_t{a.limb[i]} + kTwoP[i] - b.limb[i];
    }
    FeCarry(out, h);
}

// Limb i times limb j lands in limb i + j, doubled when both are odd (the roundings of their
// weights add up to one bit more) and folded back times 19 past limb 9. Every factor stays under
// 2^32, so each product is one 32 x 32-bit multiplication in 32-bit code too.
void FeMul(Fe* out, const Fe& a, const Fe& b) {
    uint32_t b19[10];
    for (int j = 0; j < 10; ++j) {
        b19[j] = 19 * b.limb[j];
    }
    uint64_t h[10] = {};
#pragma GCC unroll 10
    for (int i = 0; i < 10; ++i) {
        uint32_t even = a.limb[i];
        uint32_t odd = (i & 1) != 0 ? 2 * even : even;  // the factor for odd j
#pragma GCC unroll 10
        for (int j = 0; j < 10; ++j) {
            uint32_t left = (j & 1) != 0 ? odd : even;
            uint32_t right = i + j < 10 ? b.limb[j] : b19[j];
            h[i + j < 10 ? i + j : i + j - 10] += uint64_t{left} * right;
        }
    }
    FeCarry(out, h);
}

// The products of a square come in equal pairs: each is made once and doubled. The factors
// reach 76 only with an odd, 25-bit limb i, and 38 with a 26-bit one, so scaled stays under 2^32.
void FeSquare(Fe* out, const Fe& a) {
    uint64_t h[10] = {};
#pragma GCC unroll 10
    for (int i = 0; i < 10; ++i) {
#pragma GCC unroll 10
        for (int j = i; j < 10; ++j) {
            uint32_t factor = (i == j ? 1 : 2) * ((i & j & 1) != 0 ? 2 : 1) * (i + j < 10 ? 1 : 19);
            uint32_t scaled = factor * a.limb[i];
            h[i + j < 10 ? i + j : i + j - 10] += uint64_t{scaled} * a.limb[j];
        }
    }
    FeCarry(out, h);
}

// The canonical encoding. The value is below 2p, so it is reduced by one subtraction of p when
// the value plus 19 reaches 2^255; no branch depends on it.
void FeToBytes(uint8_t bytes[32], const Fe& a) {
    uint64_t h[10];
    uint64_t q = 19;
    for (int i = 0; i < 10; ++i) {
        h[i] = a.limb[i];
        q = (h[i] + q) >> LimbBits(i);
    }
    h[0] += 19 * q;
    for (int i = 0; i < 9; ++i) {
        h[i + 1] += h[i] >> LimbBits(i);
        h[i] &= LimbMask(i);
    }
    h[9] &= LimbMask(9);  // takes the 2^255 of q p away
    uint64_t window = 0;
    int bits = 0;
    int next = 0;
    for (int i = 0; i < 10; ++i) {
        window |= h[i] << bits;
        bits += LimbBits(i);
        for (; bits >= 8; bits -= 8) {
            bytes[next++] = static_cast<uint8_t>(window);
            window >>= 8;
        }
    }
    bytes[next] = static_cast<uint8_t>(window);
}

bool FeIsZero(const Fe& a) {
    uint8_t bytes[32];
    FeToBytes(bytes, a);
    uint8_t any = 0;
    for (uint8_t b : bytes) {
        any |= b;
    }
    return any == 0;
}

// "Negative" as RFC 8032 has it: odd.
bool FeIsNegative(const Fe& a) {
    uint8_t bytes[32];
    FeToBytes(bytes, a);
    return (bytes[0] & 1) != 0;
}

bool FeEqual(const Fe& a, const Fe& b) {
    Fe difference;
    FeSub(&difference, a, b);
    return FeIsZero(difference);
}

// base^exponent for a fixed, public exponent below 2^255: the branches follow its bits only.
void FePow(Fe* out, const Fe& base, const uint8_t exponent[32]) {
    Fe result = kOne;
    for (int bit = 254; bit >= 0; --bit) {
        FeSquare(&result, result);
        if (((exponent[bit / 8] >> (bit % 8)) & 1) != 0) {
            FeMul(&result, result, base);
        }
    }
    *out = result;
}

// out = in where mask is all ones, unchanged where it is zero, with no branch.
void FeSelect(Fe* out, const Fe& in, uint32_t mask) {
    for (int i = 0; i < 10; ++i) {
        out->limb[i] ^= mask & (out->limb[i] ^ in.limb[i]);
    }
}

// ---- Points of the curve -x^2 + y^2 = 1 + d x^2 y^2 ----

// Extended coordinates: x = X/Z, y = Y/Z, x y = T/Z.
struct Point {
    Fe x, y, z, t;
};

constexpr Point kNeutral = {kZero, kOne, kOne, kZero};

Point BasePoint() {
    Point b = {FeFromBytes(kBaseXBytes), FeFromBytes(kBaseYBytes), kOne, kZero};
    FeMul(&b.t, b.x, b.y);
    return b;
}

// RFC 8032 5.1.4's addition. It is complete on this curve (d is no square): it takes the neutral
// point, and a point added to itself, with no special case.
void PointAdd(Point* out, const Point& p, const Point& q) {
    Fe a, b, c, d, e, f, g, h;
    FeSub(&a, p.y, p.x);
    FeSub(&e, q.y, q.x);
    FeMul(&a, a, e);
    FeAdd(&b, p.y, p.x);
    FeAdd(&e, q.y, q.x);
    FeMul(&b, b, e);
    FeMul(&c, p.t, q.t);
    FeMul(&c, c, kTwoD);
    FeMul(&d, p.z, q.z);
    FeAdd(&d, d, d);
    FeSub(&e, b, a);
    FeSub(&f, d, c);
    FeAdd(&g, d, c);
    FeAdd(&h, b, a);
    FeMul(&out->x, e, f);
    FeMul(&out->y, g, h);
    FeMul(&out->t, e, h);
    FeMul(&out->z, f, g);
}

// RFC 8032 5.1.4's doubling: four squares and four products instead of the addition's nine
// products. It does not read T.
void PointDouble(Point* out, const Point& p) {
    Fe a, b, c, e, f, g, h;
    FeSquare(&a, p.x);
    FeSquare(&b, p.y);
    FeSquare(&c, p.z);
    FeAdd(&c, c, c);
    FeAdd(&h, a, b);
    FeAdd(&e, p.x, p.y);
    FeSquare(&e, e);
    FeSub(&e, h, e);
    FeSub(&g, a, b);
    FeAdd(&f, c, g);
    FeMul(&out->x, e, f);
    FeMul(&out->y, g, h);
    FeMul(&out->t, e, h);
    FeMul(&out->z, f, g);
}

void PointNegate(Point* p) {
    FeSub(&p->x, kZero, p->x);
    FeSub(&p->t, kZero, p->t);
}

bool PointEqual(const Point& p, const Point& q) {
    Fe left, right;
    FeMul(&left, p.x, q.z);
    FeMul(&right, q.x, p.z);
    if (!FeEqual(left, right)) {
        return false;
    }
    FeMul(&left, p.y, q.z);
    FeMul(&right, q.y, p.z);
    return FeEqual(left, right);
}

// Whether y (the sign bit aside) is below p: only the 19 values from 2^255 - 19 to 2^255 - 1 are
// not.
bool IsCanonicalY(const uint8_t encoding[32]) {
    if ((encoding[31] & 0x7f) != 0x7f) {
        return true;
    }
    for (int i = 30; i > 0; --i) {
        if (encoding[i] != 0xff) {
            return true;
        }
    }
    return encoding[0] < 0xed;
}

// RFC 8032 5.1.3, each refusal a branch of its own. Public data only: it branches on values.
bool PointDecode(Point* out, const uint8_t encoding[32]) {
    if (!IsCanonicalY(encoding)) {
        return false;
    }
    Fe y = FeFromBytes(encoding);
    Fe u, v, v3, x, vxx;
    FeSquare(&u, y);
    FeMul(&v, u, kD);
    FeSub(&u, u, kOne);  // u = y^2 - 1
    FeAdd(&v, v, kOne);  // v = d y^2 + 1
    // x = u v^3 (u v^7)^((p-5)/8) is a square root of u/v, or of -u/v.
    FeSquare(&v3, v);
    FeMul(&v3, v3, v);
    FeSquare(&x, v3);
    FeMul(&x, x, v);
    FeMul(&x, x, u);
    FePow(&x, x, kRootExponent);
    FeMul(&x, x, v3);
    FeMul(&x, x, u);
    FeSquare(&vxx, x);
    FeMul(&vxx, vxx, v);
    if (!FeEqual(vxx, u)) {
        Fe minusU;
        FeSub(&minusU, kZero, u);
        if (!FeEqual(vxx, minusU)) {
            return false;  // u/v is no square: no point has this y
        }
        FeMul(&x, x, kSqrtMinusOne);
    }
    bool negative = (encoding[31] >> 7) != 0;
    if (negative && FeIsZero(x)) {
        return false;  // zero has no negative twin
    }
    if (FeIsNegative(x) != negative) {
        FeSub(&x, kZero, x);
    }
    out->x = x;
    out->y = y;
    out->z = kOne;
    FeMul(&out->t, x, y);
    return true;
}

void PointEncode(uint8_t encoding[32], const Point& p) {
    Fe zInverse, x, y;
    FePow(&zInverse, p.z, kInvertExponent);
    FeMul(&x, p.x, zInverse);
    FeMul(&y, p.y, zInverse);
    FeToBytes(encoding, y);
    encoding[31] |= static_cast<uint8_t>(FeIsNegative(x) ? 0x80 : 0);
    SecureWipe(&zInverse, sizeof(zInverse));
    SecureWipe(&x, sizeof(x));
    SecureWipe(&y, sizeof(y));
}

// ---- Scalar multiplication, in 4-bit windows ----

// table[i] = [i]p for i from 0 to 15.
void MultiplesTable(Point table[16], const Point& p) {
    table[0] = kNeutral;
    for (int i = 1; i < 16; ++i) {
        PointAdd(&table[i], table[i - 1], p);
    }
}

uint32_t Window(const uint8_t scalar[32], int i) {
    return (scalar[i / 2] >> (4 * (i & 1))) & 15;
}

// All ones when a == b, else zero, with no branch.
uint32_t EqualMask(uint32_t a, uint32_t b) {
    return static_cast<uint32_t>((uint64_t{a ^ b} - 1) >> 32);
}

// Reads every entry, so the memory touched does not depend on the index.
void SelectMultiple(Point* out, const Point table[16], uint32_t index) {
    *out = table[0];
    for (uint32_t i = 1; i < 16; ++i) {
        uint32_t mask = EqualMask(i, index);
        FeSelect(&out->x, table[i].x, mask);
        FeSelect(&out->y, table[i].y, mask);
        FeSelect(&out->z, table[i].z, mask);
        FeSelect(&out->t, table[i].t, mask);
    }
}

// [scalar]p for a secret scalar: every window costs four doublings, a scan of the whole table
// and one addition (of the neutral point for a zero window), whatever the scalar's bits.
void ScalarMulSecret(Point* out, const Point& p, const uint8_t scalar[32]) {
    Point table[16];
    MultiplesTable(table, p);
    Point sum = kNeutral;
    Point multiple;
    for (int i = 63; i >= 0; --i) {
        for (int k = 0; k < 4; ++k) {
            PointDouble(&sum, sum);
        }
        SelectMultiple(&multiple, table, Window(scalar, i));
        PointAdd(&sum, sum, multiple);
    }
    *out = sum;
    SecureWipe(&sum, sizeof(sum));
    SecureWipe(&multiple, sizeof(multiple));
}

// [s]B + [k]q for public scalars: the two share their doublings, and zero windows add nothing.
void DoubleScalarMulPublic(Point* out, const uint8_t s[32], const uint8_t k[32], const Point& q) {
    Point baseTable[16], qTable[16];
    MultiplesTable(baseTable, BasePoint());
    MultiplesTable(qTable, q);
    Point sum = kNeutral;
    for (int i = 63; i >= 0; --i) {
        for (int n = 0; n < 4; ++n) {
            PointDouble(&sum, sum);
        }
        if (Window(s, i) != 0) {
            PointAdd(&sum, sum, baseTable[Window(s, i)]);
        }
        if (Window(k, i) != 0) {
            PointAdd(&sum, sum, qTable[Window(k, i)]);
        }
    }
    *out = sum;
}

// ---- Scalars mod L = 2^252 + 27742317777372353535851937790883648493 ----

constexpr uint8_t kOrder[32] = {  // little-endian, as scalars are
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

// S < L, from the top byte down. S is public.
bool IsCanonicalScalar(const uint8_t s[32]) {
    for (int i = 31; i >= 0; --i) {
        if (s[i] != kOrder[i]) {
            return s[i] < kOrder[i];
        }
    }
    return false;
}

void LoadWords(uint32_t* words, const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        words[i] = 0;
        for (int b = 3; b >= 0; --b) {
            words[i] = (words[i] << 8) | bytes[4 * i + b];
        }
    }
}

void StoreWords(uint8_t* bytes, const uint32_t* words, int count) {
    for (int i = 0; i < 4 * count; ++i) {
        bytes[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
    }
}

// A little-endian number of up to 64 bytes mod L, one bit at a time from the top: r = 2r + bit,
// less L when that is at least L. r < L keeps 2r + 1 below 2L, so one subtraction is enough; it
// is always made and its result kept by a mask, so nothing branches on the number.
void ScalarReduce(uint8_t out[32], const uint8_t* number, int length) {
    uint32_t order[8], r[8] = {}, less[8];
    LoadWords(order, kOrder, 8);
    for (int bit = 8 * length - 1; bit >= 0; --bit) {
        for (int i = 7; i > 0; --i) {
            r[i] = (r[i] << 1) | (r[i - 1] >> 31);
        }
        r[0] = (r[0] << 1) | ((number[bit / 8] >> (bit % 8)) & 1);
        uint32_t borrow = 0;
        for (int i = 0; i < 8; ++i) {
            uint64_t difference = uint64_t{r[i]} - order[i] - borrow;
            less[i] = static_cast<uint32_t>(difference);
            borrow = static_cast<uint32_t>(difference >> 63);
        }
        uint32_t keep = 0u - borrow;  // all ones when r < L
        for (int i = 0; i < 8; ++i) {
            r[i] = (r[i] & keep) | (less[i] & ~keep);
        }
    }
    StoreWords(out, r, 8);
    SecureWipe(r, sizeof(r));
    SecureWipe(less, sizeof(less));
}

// (a + b c) mod L: the whole 512-bit value, then its reduction. No branch on the values.
void ScalarMulAdd(uint8_t out[32], const uint8_t a[32], const uint8_t b[32], const uint8_t c[32]) {
    uint32_t x[8], y[8], sum[16] = {};
    LoadWords(sum, a, 8);
    LoadWords(x, b, 8);
    LoadWords(y, c, 8);
    for (int i = 0; i < 8; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 8; ++j) {
            uint64_t t = uint64_t{x[i]} * y[j] + sum[i + j] + carry;
            sum[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        sum[i + 8] = static_cast<uint32_t>(carry);
    }
    uint8_t wide[64];
    StoreWords(wide, sum, 16);
    ScalarReduce(out, wide, 64);
    SecureWipe(x, sizeof(x));
    SecureWipe(y, sizeof(y));
    SecureWipe(sum, sizeof(sum));
    SecureWipe(wide, sizeof(wide));
}

// SHA-512(head || message) mod L.
void HashToScalar(uint8_t out[32],
                  const uint8_t* head,
                  size_t headLength,
                  const uint8_t* message,
                  size_t length) {
    Sha512Context context{};
    Sha512Init(&context);
    Sha512Update(&context, head, headLength);
    Sha512Update(&context, message, length);
    uint8_t digest[kSha512DigestSize];
    Sha512Final(digest, &context);
    ScalarReduce(out, digest, sizeof(digest));
    SecureWipe(digest, sizeof(digest));
}

// The secret scalar a (clamped: a multiple of 8 between 2^254 and 2^255) in the first half, the
// nonce prefix in the second.
void ExpandSeed(uint8_t expanded[64], const uint8_t seed[32]) {
    Sha512OfBuffer(seed, kEd25519SeedSize, expanded);
    expanded[0] &= 248;
    expanded[31] &= 127;
    expanded[31] |= 64;
}

void EncodeSecretMultiple(uint8_t encoding[32], const uint8_t scalar[32]) {
    Point point;
    ScalarMulSecret(&point, BasePoint(), scalar);
    PointEncode(encoding, point);
    SecureWipe(&point, sizeof(point));
}

// The field and point temporaries of a multiplication by a secret scalar lie in the frames of
// the functions it calls, below the caller's own: this overwrites that stretch of the stack.
__attribute__((noinline)) void WipeStackBelow() {
    uint8_t area[32768];
    SecureWipe(area, sizeof(area));
}

}  // namespace

void Ed25519PublicKey(uint8_t publicKey[kEd25519PublicKeySize],
                      const uint8_t seed[kEd25519SeedSize]) {
    uint8_t expanded[64];
    ExpandSeed(expanded, seed);
    EncodeSecretMultiple(publicKey, expanded);
    SecureWipe(expanded, sizeof(expanded));
    WipeStackBelow();
}

void Ed25519Sign(uint8_t signature[kEd25519SignatureSize],
                 const uint8_t seed[kEd25519SeedSize],
                 const uint8_t* message,
                 size_t length) {
    uint8_t expanded[64], nonce[32], head[64], challenge[32], s[32];
    ExpandSeed(expanded, seed);
    HashToScalar(nonce, expanded + 32, 32, message, length);
    EncodeSecretMultiple(head, nonce);          // R
    EncodeSecretMultiple(head + 32, expanded);  // A
    HashToScalar(challenge, head, sizeof(head), message, length);
    ScalarMulAdd(s, nonce, challenge, expanded);  // S = r + k a
    memcpy(signature, head, 32);
    memcpy(signature + 32, s, 32);
    SecureWipe(expanded, sizeof(expanded));
    SecureWipe(nonce, sizeof(nonce));
    WipeStackBelow();
}

bool Ed25519IsValidPublicKey(const uint8_t publicKey[kEd25519PublicKeySize]) {
    Point a;
    return PointDecode(&a, publicKey);
}

bool Ed25519IsSmallOrderKey(const uint8_t publicKey[kEd25519PublicKeySize]) {
    Point a;
    if (!PointDecode(&a, publicKey)) {
        return false;
    }
    // The cofactor is 8: [8]A is the neutral point exactly when A's order divides 8.
    for (int i = 0; i < 3; ++i) {
        PointDouble(&a, a);
    }
    return PointEqual(a, kNeutral);
}

// The cofactorless equation [S]B = R + [k]A, as OpenSSL checks it, so that both accept the same
// signatures; the cofactored one would also take some whose R or A has a small-order part.
bool Ed25519Verify(const uint8_t signature[kEd25519SignatureSize],
                   const uint8_t publicKey[kEd25519PublicKeySize],
                   const uint8_t* message,
                   size_t length) {
    const uint8_t* s = signature + 32;
    if (!IsCanonicalScalar(s)) {
        return false;
    }
    Point a, r;
    if (!PointDecode(&a, publicKey) || !PointDecode(&r, signature)) {
        return false;
    }
    uint8_t head[64], challenge[32];
    memcpy(head, signature, 32);
    memcpy(head + 32, publicKey, 32);
    HashToScalar(challenge, head, sizeof(head), message, length);
    PointNegate(&a);
    Point check;  // [S]B - [k]A
    DoubleScalarMulPublic(&check, s, challenge, a);
    return PointEqual(check, r);
}

}  // namespace netrefit
