#pragma once
// "verify": fetches a live site's server information file and every module it names as the
// client does, and checks each one.

#include <string>

#include "signature/UpdateSignature.h"

namespace netrefit {

struct VerifyOptions {
    std::string url;                   // base URL of the site
    std::string language = "English";  // of the server information file
    std::string password;              // of encrypted archives, to walk them
    PublicKeyList keys;  // when not empty: the signature file, expiry and every SHA256 required
};

// Prints a row for the server file (and its signature file, with keys), one per module and a
// last line with how many passed; 0 when all is well.
int RunVerify(const VerifyOptions& options);

}  // namespace netrefit
