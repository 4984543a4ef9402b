#pragma once
// "keygen" and "check-signature": the deployer's key pair, and one signature held against a file.

#include <cstdint>
#include <string>

#include "signature/UpdateSignature.h"

namespace netrefit {

// "--public-key HEX[,HEX...]" as the settings' PublicKey= takes it, at least one key; false,
// with why in problem, for anything else.
bool ParseKeyOption(const std::string& text, PublicKeyList* keys, std::string* problem);

// Writes a new private key to path (never over an existing file) and prints its
// "PublicKey=<64 hex>" line for the settings. 0 when written, 1 when not.
int RunKeygen(const std::string& path);

struct CheckSignatureOptions {
    PublicKeyList keys;
    std::string signature;  // 128 hexadecimal digits
    std::string file;
};

// "--signature HEX": 128 hexadecimal digits; false, with why in problem, for anything else.
bool ParseSignatureOption(const std::string& text, std::string* problem);

// 0 when the signature is one of the keys' over the file's bytes, 1 when not or when the file
// cannot be read.
int RunCheckSignature(const CheckSignatureOptions& options);

}  // namespace netrefit
