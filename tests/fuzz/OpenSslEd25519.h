#pragma once
// OpenSSL's Ed25519 (libcrypto's EVP interface): the other side of the native comparisons.

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace netrefit::fuzz {

struct EvpKeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct EvpContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using EvpKey = std::unique_ptr<EVP_PKEY, EvpKeyFree>;
using EvpContext = std::unique_ptr<EVP_MD_CTX, EvpContextFree>;

// An empty message may come as a null pointer, which OpenSSL is not asked to take.
inline const uint8_t* NonNull(const uint8_t* message) {
    static const uint8_t kNothing = 0;
    return message != nullptr ? message : &kNothing;
}

inline bool OpenSslPublicKey(uint8_t publicKey[32], const uint8_t seed[32]) {
    EvpKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32));
    size_t size = 32;
    return key && EVP_PKEY_get_raw_public_key(key.get(), publicKey, &size) == 1 && size == 32;
}

inline bool OpenSslSign(uint8_t signature[64],
                        const uint8_t seed[32],
                        const uint8_t* message,
                        size_t length) {
    EvpKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32));
    EvpContext context(EVP_MD_CTX_new());
    size_t size = 64;
    return key && context &&
           EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestSign(context.get(), signature, &size, NonNull(message), length) == 1 &&
           size == 64;
}

// A key OpenSSL does not take counts as a refusal.
inline bool OpenSslVerify(const uint8_t signature[64],
                          const uint8_t publicKey[32],
                          const uint8_t* message,
                          size_t length) {
    EvpKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey, 32));
    EvpContext context(EVP_MD_CTX_new());
    return key && context &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), signature, 64, NonNull(message), length) == 1;
}

}  // namespace netrefit::fuzz
