#pragma once
// A wait on the user-interface thread that still answers the messages other threads and
// processes send to its windows, so that none of them is held stuck in SendMessage meanwhile.
// Posted messages stay queued for the thread's own loop.

#include <windows.h>

namespace netrefit {

// Waits up to timeoutMs for object to be signalled; true when it was. A null object only lets
// the time pass (the result is then false).
bool WaitAnsweringSentMessages(HANDLE object, DWORD timeoutMs);

}  // namespace netrefit
