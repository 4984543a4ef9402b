#pragma once
// Ed25519 signatures (RFC 8032, pure Ed25519: no context, no prehash). Plain computation: no
// files, no windows, no heap, no state between calls.

#include <cstddef>
#include <cstdint>

namespace netrefit {

constexpr size_t kEd25519SeedSize = 32;
constexpr size_t kEd25519PublicKeySize = 32;
constexpr size_t kEd25519SignatureSize = 64;

// The public key of a 32-byte secret seed (the RFC's "private key"). Signing and this take the
// same time and touch the same memory whatever the seed.
void Ed25519PublicKey(uint8_t publicKey[kEd25519PublicKeySize],
                      const uint8_t seed[kEd25519SeedSize]);

// Signs a message. The public key is derived again here rather than taken from the caller: a
// signature made with a key that is not the seed's would give the secret scalar away.
void Ed25519Sign(uint8_t signature[kEd25519SignatureSize],
                 const uint8_t seed[kEd25519SeedSize],
                 const uint8_t* message,
                 size_t length);

// True when the key is the canonical encoding of a curve point, as Ed25519Verify requires: y
// below p, x found for y, and no sign bit on x = 0.
bool Ed25519IsValidPublicKey(const uint8_t publicKey[kEd25519PublicKeySize]);

// True when the key is a point of order 1, 2, 4 or 8: a signature under such a key can be made
// without any secret, so it must never be trusted. False for a key that does not decode.
bool Ed25519IsSmallOrderKey(const uint8_t publicKey[kEd25519PublicKeySize]);

// True when the signature is the key's over the message. Refuses S >= L, and an R or a public
// key that is no canonical encoding of a curve point. Its inputs are public: it branches on them.
bool Ed25519Verify(const uint8_t signature[kEd25519SignatureSize],
                   const uint8_t publicKey[kEd25519PublicKeySize],
                   const uint8_t* message,
                   size_t length);

}  // namespace netrefit
