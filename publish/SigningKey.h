#pragma once
// The deployer's private key: a 32-byte Ed25519 seed from the system's random source, kept in a
// file of one line of 64 hexadecimal digits, and wiped from memory when the key goes.

#include <cstdint>
#include <string>

#include "signature/Ed25519.h"

namespace netrefit {

class SigningKey {
  public:
    SigningKey() = default;
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // A new seed from the system's random source; false, with why in problem, when it has none.
    bool Generate(std::string* problem);
    // A key file: exactly 64 hexadecimal digits, then CR LF, LF or nothing.
    bool Load(const std::string& path, std::string* problem);
    // Writes the key file as Load reads it; never over an existing file.
    bool Save(const std::string& path, std::string* problem) const;

    // 64 lowercase digits.
    std::string PublicKeyText() const;
    // The signature file's line for these bytes, without its line end.
    std::string SignatureLineOf(const std::string& bytes) const;

  private:
    uint8_t seed_[kEd25519SeedSize] = {};
};

}  // namespace netrefit
