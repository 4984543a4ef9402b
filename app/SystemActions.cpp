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

}  // namespace netrefit
