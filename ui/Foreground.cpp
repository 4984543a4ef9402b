#include "ui/Foreground.h"

namespace netrefit {

void ForceForeground(HWND window, ForegroundLock lock) {
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    DWORD windowThread = ::GetWindowThreadProcessId(window, nullptr);
    bool attached = foregroundThread != 0 && foregroundThread != windowThread &&
                    ::AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    if (lock == ForegroundLock::Lift) {
        ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
        ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    }
    ::SetForegroundWindow(window);
    if (lock == ForegroundLock::Lift) {
        ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                                reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), 0);
    }
    if (attached) {
        ::AttachThreadInput(windowThread, foregroundThread, FALSE);
    }
}

}  // namespace netrefit
