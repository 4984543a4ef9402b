#include "download/SigningRecord.h"

#include <windows.h>

#include "signature/Sha256.h"
#include "signature/UpdateSignature.h"

namespace netrefit {
namespace {

const char kSection[] = "Signed";
constexpr DWORD kTimeChars = 20;

bool IsDigits(const std::string& text, size_t at, size_t count) {
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// URLs hold characters the profile functions take for syntax: each server is filed under the
// SHA-256 of its URL.
std::string KeyOf(const std::string& url) {
    uint8_t digest[kSha256DigestSize];
    Sha256OfBuffer(url.data(), url.size(), digest);
    return Sha256Text(digest);
}

}  // namespace

bool IsSigningTime(const std::string& text) {
    CalendarDate date;
    return text.size() == kTimeChars && ParseCalendarDate(text.substr(0, 10), &date) &&
           text[10] == 'T' && IsDigits(text, 11, 2) && text[13] == ':' && IsDigits(text, 14, 2) &&
           text[16] == ':' && IsDigits(text, 17, 2) && text[19] == 'Z' &&
           text.substr(11, 2) < "24" && text.substr(14, 2) < "60" && text.substr(17, 2) < "60";
}

std::string SigningRecord::Latest(const std::string& url) const {
    if (path_.empty()) {
        return std::string();
    }
    char text[kTimeChars + 2] = "";
    DWORD got = ::GetPrivateProfileStringA(kSection, KeyOf(url).c_str(), "", text, sizeof(text),
                                           path_.c_str());
    std::string latest(text, got);
    return IsSigningTime(latest) ? latest : std::string();
}

bool SigningRecord::Accept(const std::string& url, const std::string& signedAt) {
    std::string latest = Latest(url);
    std::string time = IsSigningTime(signedAt) ? signedAt : std::string();
    if (time < latest) {
        return false;
    }
    if (!path_.empty() && time > latest) {
        // A record that cannot be written costs the next run its protection, not this run.
        ::WritePrivateProfileStringA(kSection, KeyOf(url).c_str(), time.c_str(), path_.c_str());
    }
    return true;
}

}  // namespace netrefit
