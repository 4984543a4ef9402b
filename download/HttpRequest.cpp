#include "download/HttpRequest.h"

#include <cstdlib>

namespace netrefit {
namespace {

const char kUserAgent[] = "HTTP session";

}  // namespace

HINTERNET OpenInternetSession() {
    return ::InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
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
    char text[INTERNET_MAX_URL_LENGTH] = {};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoA(request, HTTP_QUERY_LOCATION, text, &length, nullptr) ||
        length >= sizeof(text)) {
        return std::string();
    }
    return std::string(text, length);
}

}  // namespace netrefit
