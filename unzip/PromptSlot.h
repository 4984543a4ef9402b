#pragma once
// Where an open password prompt leaves its window, so that the owner's thread can end it. The
// prompt runs on the extraction worker's thread with no owner window; a cancel from the owner's
// thread posts it UM_END_PROMPT, since EndDialog must run on the dialog's own thread. Once
// cancelled, the slot turns away every prompt that opens later, so a cancel that comes while a
// prompt is still being made is not lost.

#include <windows.h>

#include "common/Sync.h"

namespace netrefit {

// Posted to an open prompt: end at once, as if nothing had been typed.
constexpr UINT UM_END_PROMPT = 0x700;

class PromptSlot {
  public:
    PromptSlot() = default;
    PromptSlot(const PromptSlot&) = delete;
    PromptSlot& operator=(const PromptSlot&) = delete;

    // On the prompt's thread, once its window exists. False when the slot is cancelled already:
    // the prompt then ends at once.
    bool Enter(HWND window);
    // On the prompt's thread, while its window still exists (so that no end is posted to a
    // handle that may already name another window).
    void Leave(HWND window);
    // From any thread: ends the open prompt, if there is one, and every prompt entered later.
    void Cancel();
    bool Cancelled();

  private:
    CriticalSection lock_;
    HWND window_ = nullptr;   // guarded by lock_
    bool cancelled_ = false;  // guarded by lock_
};

}  // namespace netrefit
