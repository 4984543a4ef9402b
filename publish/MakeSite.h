#pragma once
// "make": the server information files and the site's modules from a description and a folder
// of archives.

#include <string>
#include <vector>

#include "signature/UpdateSignature.h"

namespace netrefit {

// Signed server files last this long unless --expires says otherwise.
constexpr int kDefaultSignedDays = 90;
// A signed file stays good to its expiry date; one good for longer than this could be replayed
// for too long after its site moved on.
constexpr int kMaxSignedDays = 400;

struct MakeOptions {
    std::string description;           // the description INI file
    std::string modules;               // the folder of archives
    std::string url;                   // base URL the site is served under
    std::vector<std::string> mirrors;  // further base URLs serving the same modules
    std::string out;                   // the site's folder
    std::string password;              // of encrypted archives, to walk them
    std::string keyFile;               // the private key; empty for unsigned server files
    CalendarDate expires;              // [Signature] Expires of signed server files
};

// The file beside a key file that keeps the last signing time made with it.
std::string SigningTimeFileOf(const std::string& keyFile);

// "--expires YYYY-MM-DD": a real date from today (UTC) to kMaxSignedDays ahead; "" gives today
// plus kDefaultSignedDays. False, with why in problem, for anything else.
bool ParseExpiresOption(const std::string& text, CalendarDate* expires, std::string* problem);

// Each module's Mirrors= names it under every mirror base, in order.
// 0 when the site was written, 1 when problems were found (each one a line on standard
// error, nothing written). With a key file every module gets its SHA256, the server files a
// [Signature] section and each one its signature file beside it.
int RunMake(const MakeOptions& options);

}  // namespace netrefit
