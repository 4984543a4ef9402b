#include "download/ProxyLogin.h"

#include <cstring>
#include <string>

#include "common/Sync.h"
#include "download/HttpRequest.h"

namespace netrefit {
namespace {

constexpr int kProxyLoginRequired = 407;

// What the run's one prompt gave; guarded by its lock, as every worker may send.
struct RunLogin {
    CriticalSection lock;
    bool asked = false;
    std::string user;
    std::string password;
};

RunLogin& Login() {
    static RunLogin login;
    return login;
}

// The login typed earlier in the run goes with every request, so that its proxy never asks again.
void ApplyLogin(HINTERNET request) {
    RunLogin& login = Login();
    CriticalSectionLock lock(login.lock);
    if (login.user.empty()) {
        return;
    }
    ::InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME, &login.user[0],
                         static_cast<DWORD>(login.user.size()));
    ::InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD, &login.password[0],
                         static_cast<DWORD>(login.password.size()));
}

// True for the one caller that may ask in this run.
bool TakeTheQuestion() {
    RunLogin& login = Login();
    CriticalSectionLock lock(login.lock);
    bool first = !login.asked;
    login.asked = true;
    return first;
}

std::string QueryText(HINTERNET handle, DWORD option) {
    char text[256] = "";
    DWORD length = sizeof(text);
    if (!::InternetQueryOptionA(handle, option, text, &length) || length >= sizeof(text)) {
        return std::string();
    }
    return std::string(text, std::strlen(text));
}

void KeepLogin(HINTERNET request) {
    RunLogin& login = Login();
    std::string user = QueryText(request, INTERNET_OPTION_PROXY_USERNAME);
    std::string password = QueryText(request, INTERNET_OPTION_PROXY_PASSWORD);
    CriticalSectionLock lock(login.lock);
    login.user = user;
    login.password = password;
}

// The 407 answer's body is read to its end before the same request is sent again.
void DrainAnswer(HINTERNET request) {
    char buffer[4096];
    DWORD read = 0;
    while (::InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) {
    }
}

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK TakeVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == search->process && ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The prompt belongs above the window the user sees (the wait or progress window), which runs
// on another thread than the request; the desktop when there is none.
HWND PromptOwner() {
    WindowSearch search = {::GetCurrentProcessId(), nullptr};
    HWND foreground = ::GetForegroundWindow();
    DWORD process = 0;
    ::GetWindowThreadProcessId(foreground, &process);
    if (foreground != nullptr && process == search.process) {
        return foreground;
    }
    ::EnumWindows(&TakeVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr ? search.found : ::GetDesktopWindow();
}

}  // namespace

BOOL SendWithProxyLogin(HINTERNET request, const std::string& headers) {
    ApplyLogin(request);
    BOOL sent = ::HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(),
                                   static_cast<DWORD>(headers.size()), nullptr, 0);
    if (!sent || QueryStatusCode(request) != kProxyLoginRequired || !TakeTheQuestion()) {
        return sent;
    }
    DrainAnswer(request);
    DWORD answer =
        ::InternetErrorDlg(PromptOwner(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                           FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                               FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                           nullptr);
    if (answer != ERROR_INTERNET_FORCE_RETRY) {
        return sent;  // cancelled: the 407 stands
    }
    KeepLogin(request);
    return ::HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0);
}

}  // namespace netrefit
