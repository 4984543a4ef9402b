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
    bool Start(std::function<void()> body);

    // Waits up to timeoutMs for the thread to end; true when it has ended (or never ran).
    // Messages that other threads send to the caller's windows meanwhile are answered.
    // The handle is released only once the thread has really ended.
    bool Join(DWORD timeoutMs);

    // Last resort for a thread that ignores every request to end: ends it where it stands.
    // Whatever it owned stays open and any lock it held stays held; the caller cleans up.
    // True when the thread has ended (or never ran).
    bool Terminate();

    bool Running() const;
    DWORD Id() const { return id_; }

  private:
    static unsigned __stdcall Entry(void* self);

    std::function<void()> body_;
    KernelHandle thread_;
    DWORD id_ = 0;
};

}  // namespace netrefit
