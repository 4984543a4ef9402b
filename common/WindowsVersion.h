#pragma once
// The running system's version, asked once per process: every decision by version reads it here.

#include <windows.h>

namespace netrefit {

struct WindowsVersion {
    bool known = false;  // false when the system would not tell
    DWORD platform = 0;  // VER_PLATFORM_WIN32_WINDOWS for 95, 98 and Me; _NT for the NT line
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    char servicePack[128] = {};  // szCSDVersion: " A " on 98 SE, "Service Pack 6" on NT 4.0
};

const WindowsVersion& RunningWindows();

// The NT line from this major.minor on.
bool IsNtAtLeast(const WindowsVersion& version, DWORD major, DWORD minor = 0);

}  // namespace netrefit
