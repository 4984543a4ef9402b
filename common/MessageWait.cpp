#include "common/MessageWait.h"

namespace netrefit {

bool WaitAnsweringSentMessages(HANDLE object, DWORD timeoutMs) {
    DWORD count = object != nullptr ? 1 : 0;
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        DWORD left =
            timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD woke = ::MsgWaitForMultipleObjects(count, &object, FALSE, left, QS_SENDMESSAGE);
        if (count == 1 && woke == WAIT_OBJECT_0) {
            return true;
        }
        if (woke != WAIT_OBJECT_0 + count) {
            return false;
        }
        // Any peek answers the messages sent to the thread; PM_QS_SENDMESSAGE, which would limit
        // it to them, is unknown to Windows 95 and NT 4.0. Posted ones are only looked at.
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
}

}  // namespace netrefit
