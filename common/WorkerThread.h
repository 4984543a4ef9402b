#pragma once
// One worker thread started with _beginthreadex and always joined before its owner goes away.

#include <windows.h>

#include <functional>

#include "common/UniqueHandle.h"

namespace netrefit {

class WorkerThread {
  public:
    WorkerThread() = default;
    ~WorkerThread() { Join(INFINITE); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts body on a new thread; false when a thread is still running or creation failed.
    // The thread's exit code is body's result. Running() and Id() already describe the thread
    // when body begins, so body may ask about itself.
    bool Start(std::function<unsigned()> body);

    // Waits up to timeoutMs for the thread to end; true when it has ended (or never ran).
    // Messages that other threads send to the caller's windows meanwhile are answered.
    // The handle is released only once the thread has really ended.
    bool Join(DWORD timeoutMs);

    // Last resort for a thread that ignores every request to end: ends it where it stands and
    // waits up to waitMs for the end. Whatever it owned stays open and any lock it held stays
    // held; the caller cleans up. True when the thread has ended (or never ran).
    bool Terminate(DWORD waitMs);

    // Lets the thread end by itself without being waited for; from then on this object
    // describes no thread. The body must touch nothing of its owner's any more.
    void Detach();

    bool Running() const;
    DWORD Id() const { return id_; }
    // The exit code of the last thread that was joined (STILL_ACTIVE before any).
    DWORD ExitCode() const { return exitCode_; }

  private:
    static unsigned __stdcall Entry(void* self);

    std::function<unsigned()> body_;
    KernelHandle thread_;
    DWORD id_ = 0;
    DWORD exitCode_ = STILL_ACTIVE;
};

}  // namespace netrefit
