#include "download/RemoteFile.h"

#include <shlwapi.h>
#include <windows.h>
#include <wininet.h>

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

    char host[INTERNET_MAX_HOST_NAME_LENGTH];
    char user[INTERNET_MAX_USER_NAME_LENGTH];
    char pass[INTERNET_MAX_PASSWORD_LENGTH];
    char path[INTERNET_MAX_PATH_LENGTH];
    char extra[INTERNET_MAX_PATH_LENGTH];
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUserName = user;
    parts.dwUserNameLength = sizeof(user);
    parts.lpszPassword = pass;
    parts.dwPasswordLength = sizeof(pass);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    if (!::InternetCrackUrlA(canonical, 0, 0, &parts)) {
        return false;
    }
    server_.assign(host, parts.dwHostNameLength);
    userName_.assign(user, parts.dwUserNameLength);
    password_.assign(pass, parts.dwPasswordLength);
    object_.assign(path, parts.dwUrlPathLength);
    object_.append(extra, parts.dwExtraInfoLength);
    fileName_ = ::PathFindFileNameA(object_.c_str());
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
}

}  // namespace netrefit
