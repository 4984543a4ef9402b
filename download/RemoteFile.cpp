#include "download/RemoteFile.h"

#include <shlwapi.h>
#include <windows.h>
#include <wininet.h>

#include "download/UrlParts.h"

namespace netrefit {

bool RemoteFile::SetUrl(const std::string& url) {
    url_ = url;
    ClearCracked();
    if (url.size() >= INTERNET_MAX_URL_LENGTH) {
        return false;
    }
    char canonical[INTERNET_MAX_URL_LENGTH];
    DWORD canonicalLength = sizeof(canonical);
    if (!::InternetCanonicalizeUrlA(url.c_str(), canonical, &canonicalLength, 0)) {
        return false;  // includes a result that would not fit the buffer
    }
    UrlParts parts;
    UrlSplit split = SplitUrl(canonical, &parts);
    if (split == UrlSplit::NotAUrl || parts.host.size() > kMaxHostChars ||
        parts.userName.size() >= INTERNET_MAX_USER_NAME_LENGTH ||
        parts.password.size() >= INTERNET_MAX_PASSWORD_LENGTH) {
        return false;
    }
    server_ = parts.host;
    userName_ = parts.userName;
    password_ = parts.password;
    object_ = parts.object;
    fileName_ = ::PathFindFileNameA(object_.c_str());
    port_ = parts.port;
    secure_ = parts.scheme == UrlScheme::Https;
    reachable_ = split == UrlSplit::Ok;
    return true;
}

void RemoteFile::SetCredentials(const std::string& userName, const std::string& password) {
    userName_ = userName;
    password_ = password;
}

void RemoteFile::ClearCracked() {
    server_.clear();
    object_.clear();
    userName_.clear();
    password_.clear();
    fileName_.clear();
    port_ = 0;
    secure_ = false;
    reachable_ = false;
}

}  // namespace netrefit
