#include "app/SystemActions.h"

#include "common/UniqueHandle.h"

namespace netrefit {

bool EnablePrivilege(const char* privilege, const char* computer, bool enable) {
    KernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put())) {
        return false;
    }
    if (computer != nullptr && *computer == '\0') {
        computer = nullptr;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!::LookupPrivilegeValueA(computer, privilege, &privileges.Privileges[0].Luid)) {
        return false;
    }
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    ::SetLastError(ERROR_SUCCESS);
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    return ::GetLastError() == ERROR_SUCCESS;
}

void ForceForeground(HWND window) {
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    DWORD windowThread = ::GetWindowThreadProcessId(window, nullptr);
    bool attached = foregroundThread != 0 && foregroundThread != windowThread &&
                    ::AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    ::SetForegroundWindow(window);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                            reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), 0);
    if (attached) {
        ::AttachThreadInput(windowThread, foregroundThread, FALSE);
    }
}

}  // namespace netrefit
