#pragma once

#include <windows.h>

namespace netrefit {

enum class ForegroundLock {
    Keep,  // the system's foreground lock time-out stays as it is
    Lift,  // set to 0 for the call, so that even a long idle foreground owner gives way
};

// Brings a window to the foreground although another thread, of this process or another, owns
// the foreground: the window's thread shares that thread's input for the call.
void ForceForeground(HWND window, ForegroundLock lock = ForegroundLock::Lift);

}  // namespace netrefit
