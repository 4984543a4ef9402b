#include "unzip/PromptSlot.h"

namespace netrefit {

bool PromptSlot::Enter(HWND window) {
    CriticalSectionLock lock(lock_);
    if (cancelled_) {
        return false;
    }
    window_ = window;
    return true;
}

void PromptSlot::Leave(HWND window) {
    CriticalSectionLock lock(lock_);
    if (window_ == window) {
        window_ = nullptr;
    }
}

void PromptSlot::Cancel() {
    CriticalSectionLock lock(lock_);
    cancelled_ = true;
    // Posted under the lock: Leave waits for it, so the window cannot be gone meanwhile.
    if (window_ != nullptr) {
        ::PostMessageA(window_, UM_END_PROMPT, 0, 0);
    }
}

bool PromptSlot::Cancelled() {
    CriticalSectionLock lock(lock_);
    return cancelled_;
}

}  // namespace netrefit
