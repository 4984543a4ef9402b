#include "download/UrlParts.h"

#include <cctype>

namespace netrefit {
namespace {

// ASCII only, whatever the locale: scheme names are.
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of a scheme name at the start of text (RFC 3986: a letter, then letters, digits,
// "+", "-", "."), followed by ':'; 0 when there is none.
size_t SchemeLength(const std::string& text) {
    if (text.empty() || !IsAlpha(text[0])) {
        return 0;
    }
    size_t at = 1;
    while (at < text.size() && (IsAlpha(text[at]) || IsDigit(text[at]) || text[at] == '+' ||
                                text[at] == '-' || text[at] == '.')) {
        ++at;
    }
    return at < text.size() && text[at] == ':' ? at : 0;
}

UrlScheme SchemeOf(const std::string& name) {
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower == "http") {
        return UrlScheme::Http;
    }
    return lower == "https" ? UrlScheme::Https : UrlScheme::Other;
}

// An empty text keeps the scheme's port (RFC 3986 allows "host:").
bool ParsePort(const std::string& text, uint16_t* port) {
    if (text.empty()) {
        return true;
    }
    if (text.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

void SplitUserInfo(const std::string& info, UrlParts* parts) {
    size_t colon = info.find(':');
    parts->userName = info.substr(0, colon);
    parts->password = colon == std::string::npos ? std::string() : info.substr(colon + 1);
}

// host[:port] or [v6]:port into the parts; false for a port that is not one.
bool SplitHostPort(const std::string& text, UrlParts* parts) {
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) {
            return true;  // no host: told apart by the caller
        }
        parts->host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            return false;
        }
        portText = rest.empty() ? rest : rest.substr(1);
    } else {
        size_t colon = text.rfind(':');
        parts->host = text.substr(0, colon);
        portText = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    }
    return ParsePort(portText, &parts->port);
}

// The end of the authority that starts at from: the first "/", "?" or "#", else the end.
size_t AuthorityEnd(const std::string& url, size_t from) {
    size_t end = url.find_first_of("/?#", from);
    return end == std::string::npos ? url.size() : end;
}

}  // namespace

UrlSplit SplitUrl(const std::string& url, UrlParts* parts) {
    *parts = UrlParts();
    size_t schemeLength = SchemeLength(url);
    if (schemeLength == 0 || url.compare(schemeLength, 3, "://") != 0) {
        return UrlSplit::NotAUrl;
    }
    parts->scheme = SchemeOf(url.substr(0, schemeLength));
    parts->port = parts->scheme == UrlScheme::Https  ? kHttpsPort
                  : parts->scheme == UrlScheme::Http ? kHttpPort
                                                     : 0;
    size_t start = schemeLength + 3;
    size_t end = AuthorityEnd(url, start);
    std::string authority = url.substr(start, end - start);
    std::string tail = url.substr(end);
    tail = tail.substr(0, tail.find('#'));
    parts->object = !tail.empty() && tail[0] == '/' ? tail : "/" + tail;

    size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        SplitUserInfo(authority.substr(0, at), parts);
        authority = authority.substr(at + 1);
    }
    bool portOk = SplitHostPort(authority, parts);
    if (parts->host.empty() || parts->host.size() > kMaxHostChars) {
        return UrlSplit::BadHost;
    }
    if (!portOk) {
        return UrlSplit::BadPort;
    }
    return parts->scheme == UrlScheme::Other ? UrlSplit::OtherScheme : UrlSplit::Ok;
}

std::string ResolveLocation(const std::string& base, const std::string& location) {
    if (location.empty()) {
        return std::string();
    }
    if (SchemeLength(location) != 0) {
        return location;
    }
    size_t schemeLength = SchemeLength(base);
    if (schemeLength == 0 || base.compare(schemeLength, 3, "://") != 0) {
        return std::string();
    }
    if (location.compare(0, 2, "//") == 0) {
        return base.substr(0, schemeLength + 1) + location;
    }
    size_t originEnd = AuthorityEnd(base, schemeLength + 3);
    std::string origin = base.substr(0, originEnd);
    if (location[0] == '/') {
        return origin + location;
    }
    std::string path = base.substr(originEnd);
    path = path.substr(0, path.find_first_of("?#"));
    if (location[0] == '?') {
        return origin + (path.empty() ? "/" : path) + location;
    }
    size_t slash = path.rfind('/');
    return origin + (slash == std::string::npos ? "/" : path.substr(0, slash + 1)) + location;
}

}  // namespace netrefit
