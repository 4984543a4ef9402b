// Ed25519 verification on fuzzed bytes: a public key (32 bytes), a signature (64) and the message
// (the rest). OpenSSL is the oracle: ours never accepts what it refuses, and refuses what it
// accepts only for the key encodings RFC 8032 forbids and OpenSSL lets through. The same bytes
// as text go through the readers of key lists and signature files.

#include <cstdint>

#include <string>

#include "OpenSslEd25519.h"
#include "signature/Ed25519.h"
#include "signature/UpdateSignature.h"

using namespace netrefit;
using namespace netrefit::fuzz;

namespace {

// y at or beyond p, or x = 0 (y = 1 or p - 1) with the sign bit set.
bool IsNonCanonicalKey(const uint8_t key[32]) {
    bool middleOnes = true;
    bool middleZeros = true;
    for (int i = 1; i < 31; ++i) {
        middleOnes = middleOnes && key[i] == 0xff;
        middleZeros = middleZeros && key[i] == 0;
    }
    bool top = (key[31] & 0x7f) == 0x7f;
    bool signBit = (key[31] & 0x80) != 0;
    bool beyondP = middleOnes && top && key[0] >= 0xed;
    bool yOne = middleZeros && key[0] == 1 && (key[31] & 0x7f) == 0;
    bool yMinusOne = middleOnes && top && key[0] == 0xec;
    return beyondP || (signBit && (yOne || yMinusOne));
}

// A key list is taken whole or not at all, and only of keys a verification accepts.
void ReadAsText(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    PublicKeyList keys;
    if (ParsePublicKeyList(text, &keys)) {
        if (keys.size() > kMaxPublicKeys) {
            __builtin_trap();
        }
        for (const PublicKeyBytes& key : keys) {
            if (!Ed25519IsValidPublicKey(key.bytes)) {
                __builtin_trap();
            }
        }
    } else if (!keys.empty()) {
        __builtin_trap();
    }
    if (size >= 32) {
        PublicKeyList one(1);
        for (int i = 0; i < 32; ++i) {
            one[0].bytes[i] = data[i];
        }
        AnySignatureVerifies(text, data, size, one);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadAsText(data, size);
    if (size < 96) {
        return 0;
    }
    const uint8_t* key = data;
    const uint8_t* signature = data + 32;
    const uint8_t* message = data + 96;
    size_t length = size - 96;
    bool ours = Ed25519Verify(signature, key, message, length);
    bool openSsl = OpenSslVerify(signature, key, message, length);
    if (ours && !openSsl) {
        __builtin_trap();
    }
    if (!ours && openSsl && !IsNonCanonicalKey(key)) {
        __builtin_trap();
    }
    if (IsNonCanonicalKey(key) && Ed25519IsValidPublicKey(key)) {
        __builtin_trap();
    }
    return 0;
}
