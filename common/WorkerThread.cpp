#include "common/WorkerThread.h"

#include <process.h>

#include "common/MessageWait.h"

namespace netrefit {

bool WorkerThread::Start(std::function<unsigned()> body) {
    if (!Join(0)) {
        return false;
    }
    body_ = std::move(body);
    unsigned id = 0;
    // Suspended until the handle and id are stored: a body that cancels itself at once (from
    // its first report) must find its thread running.
    uintptr_t handle =
        _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        body_ = nullptr;
        return false;
    }
    thread_.reset(reinterpret_cast<HANDLE>(handle));
    id_ = id;
    if (::ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) {
        // Never ran: end it so that the handle can be released.
        ::TerminateThread(thread_.get(), 0);
        Join(INFINITE);
        return false;
    }
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
    if (!::GetExitCodeThread(thread_.get(), &exitCode_)) {
        exitCode_ = STILL_ACTIVE;
    }
    thread_.reset();
    id_ = 0;
    body_ = nullptr;
    return true;
}

bool WorkerThread::Terminate(DWORD waitMs) {
    if (!thread_) {
        return true;
    }
    if (Running() && !::TerminateThread(thread_.get(), 0)) {
        return false;
    }
    // TerminateThread only starts the ending; the handle is signalled once it is done.
    return Join(waitMs);
}

void WorkerThread::Detach() {
    thread_.reset();
    id_ = 0;
}

bool WorkerThread::Running() const {
    return thread_ && ::WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

unsigned __stdcall WorkerThread::Entry(void* self) {
    // The thread's own copy: a detached thread may outlive this object.
    std::function<unsigned()> body = static_cast<WorkerThread*>(self)->body_;
    return body();
}

}  // namespace netrefit
