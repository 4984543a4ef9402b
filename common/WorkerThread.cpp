#include "common/WorkerThread.h"

#include <process.h>

#include "common/MessageWait.h"

namespace netrefit {

bool WorkerThread::Start(std::function<void()> body) {
    if (!Join(0)) {
        return false;
    }
    body_ = std::move(body);
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, 0, &id);
    if (handle == 0) {
        body_ = nullptr;
        return false;
    }
    thread_.reset(reinterpret_cast<HANDLE>(handle));
    id_ = id;
    return true;
}

bool WorkerThread::Join(DWORD timeoutMs) {
    if (!thread_) {
        return true;
    }
    // Workers report by sending messages to their owner's windows; an owner that waited for
    // them without answering would hold a worker stuck in its report until the wait gave up.
    if (!WaitAnsweringSentMessages(thread_.get(), timeoutMs)) {
        return false;
    }
    thread_.reset();
    id_ = 0;
    body_ = nullptr;
    return true;
}

bool WorkerThread::Terminate() {
    if (!thread_) {
        return true;
    }
    if (Running() && !::TerminateThread(thread_.get(), 0)) {
        return false;
    }
    // TerminateThread only starts the ending; the handle is signalled once it is done.
    return Join(5000);
}

bool WorkerThread::Running() const {
    return thread_ && ::WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

unsigned __stdcall WorkerThread::Entry(void* self) {
    static_cast<WorkerThread*>(self)->body_();
    return 0;
}

}  // namespace netrefit
