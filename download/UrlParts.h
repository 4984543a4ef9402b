#pragma once
// The parts of an absolute URL that a request needs, and the URL a redirect's Location names.
// Free of Windows headers: the text comes from the settings, the server file or a server.

#include <cstdint>
#include <string>

namespace netrefit {

enum class UrlScheme { Other, Http, Https };

enum class UrlSplit {
    Ok,
    NotAUrl,      // no "scheme://" at its start
    OtherScheme,  // well formed, but neither http nor https
    BadHost,      // empty, or longer than a host name can be
    BadPort,      // not a decimal number from 1 to 65535
};

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;
constexpr size_t kMaxHostChars = 255;

struct UrlParts {
    UrlScheme scheme = UrlScheme::Other;
    std::string host;   // an IPv6 literal without its brackets
    uint16_t port = 0;  // the scheme's own when the URL names none
    std::string userName;
    std::string password;
    std::string object;  // path and query, "/" for none; the fragment is never sent
};

// Splits url (scheme case-insensitive). Whatever splits is filled in even when the result is
// not Ok, so that a URL of another scheme still names its file.
UrlSplit SplitUrl(const std::string& url, UrlParts* parts);

// The absolute URL that a redirect's location names, seen from the absolute URL base: location
// itself when it has a scheme, else resolved as a network-path, absolute-path, query or
// relative-path reference (dot segments are left to the canonicaliser). Empty for an empty
// location or a base that is no URL.
std::string ResolveLocation(const std::string& base, const std::string& location);

}  // namespace netrefit
