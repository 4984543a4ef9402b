#include "ui/MessageRoute.h"

#include "common/SupportLog.h"
#include "common/Sync.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

// Messages come from the window thread and, for a refused password or a failed download, from
// inside the workers' reports: one lock for all of it.
struct RouteState {
    CriticalSection lock;
    bool quiet = false;
    int messages = 0;
    int lastMessage = 0;
    int decided = -1;
};

RouteState& State() {
    static RouteState state;
    return state;
}

}  // namespace

void SetQuietRun(bool quiet) {
    CriticalSectionLock guard(State().lock);
    State().quiet = quiet;
}

bool QuietRun() {
    CriticalSectionLock guard(State().lock);
    return State().quiet;
}

int DefaultButton(UINT type) {
    bool second = (type & MB_DEFMASK) == MB_DEFBUTTON2;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return second ? IDCANCEL : IDOK;
        case MB_YESNO:
            return second ? IDNO : IDYES;
        default:
            return IDOK;
    }
}

int RouteMessage(HWND owner,
                 UINT id,
                 UINT type,
                 const std::string& text,
                 const std::string& english) {
    LogLine("Message " + std::to_string(id) + ": " + english);
    bool quiet;
    {
        CriticalSectionLock guard(State().lock);
        ++State().messages;
        State().lastMessage = static_cast<int>(id);
        quiet = State().quiet;
    }
    if (quiet) {
        return DefaultButton(type);
    }
    return ::MessageBoxA(owner, text.c_str(), kAppTitle, type);
}

int RoutedMessages() {
    CriticalSectionLock guard(State().lock);
    return State().messages;
}

void SetRunExitCode(int code) {
    CriticalSectionLock guard(State().lock);
    State().decided = code;
}

int RunExitCode() {
    CriticalSectionLock guard(State().lock);
    if (State().decided >= 0) {
        return State().decided;
    }
    return State().lastMessage;
}

}  // namespace netrefit
