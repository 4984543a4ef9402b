#include "common/WindowsVersion.h"

#include <cstring>

namespace netrefit {

namespace {

WindowsVersion AskWindows() {
    WindowsVersion version;
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExA(&info)) {
        return version;
    }
    version.known = true;
    version.platform = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    static_assert(sizeof(version.servicePack) == sizeof(info.szCSDVersion), "same field");
    std::memcpy(version.servicePack, info.szCSDVersion, sizeof(version.servicePack));
    version.servicePack[sizeof(version.servicePack) - 1] = '\0';
    return version;
}

}  // namespace

const WindowsVersion& RunningWindows() {
    static const WindowsVersion version = AskWindows();
    return version;
}

bool IsNtAtLeast(const WindowsVersion& version, DWORD major, DWORD minor) {
    if (!version.known || version.platform != VER_PLATFORM_WIN32_NT) {
        return false;
    }
    return version.major > major || (version.major == major && version.minor >= minor);
}

}  // namespace netrefit
