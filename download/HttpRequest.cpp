#include "download/HttpRequest.h"

#include <cstdlib>

namespace netrefit {
namespace {

const char kUserAgent[] = "HTTP session";

}  // namespace

HINTERNET OpenInternetSession() {
    return ::InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

void SetStallTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionA(handle, option, &ms, sizeof(ms));
    }
}

HINTERNET ConnectToServer(HINTERNET session, const RemoteFile& target) {
    return ::InternetConnectA(session, target.Server().c_str(), target.Port(),
                              target.UserName().c_str(), target.Password().c_str(),
                              INTERNET_SERVICE_HTTP, 0, 0);
}

HINTERNET OpenGetRequest(HINTERNET connection, const RemoteFile& target) {
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (target.Secure()) {
        flags |= INTERNET_FLAG_SECURE;
    }
    if (target.PastCaches()) {
        flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE;
    }
    return ::HttpOpenRequestA(connection, "GET", target.Object().c_str(), "HTTP/1.0", nullptr,
                              nullptr, flags, 0);
}

int QueryStatusCode(HINTERNET request) {
    char text[80] = {};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr) ||
        length >= sizeof(text)) {
        return 0;
    }
    return std::atoi(text);
}

std::string QueryLocation(HINTERNET request) {
    return QueryHeader(request, HTTP_QUERY_LOCATION);
}

std::string QueryHeader(HINTERNET request, DWORD query) {
    char text[INTERNET_MAX_URL_LENGTH] = {};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoA(request, query, text, &length, nullptr) || length >= sizeof(text)) {
        return std::string();
    }
    return std::string(text, length);
}

std::string QueryValidator(HINTERNET request) {
    std::string tag = QueryHeader(request, HTTP_QUERY_ETAG);
    // A weak tag may not stand in If-Range.
    if (!tag.empty() && tag.compare(0, 2, "W/") != 0) {
        return tag;
    }
    return QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
}

bool IsCertificateError(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return true;
        default:
            return false;
    }
}

}  // namespace netrefit
