#pragma once
// The requests an owner makes of a running download (pause, cancel) and the handles of the
// transfer at hand, shared by the owner's thread and the worker under one lock. The lock is
// held only for a test or a store: never across a wait, a read, a write, a report or the
// closing of a handle. A handle is taken out under the lock by the side that will close it and
// closed outside it, so each is closed exactly once whichever side closes it.

#include <windows.h>
#include <wininet.h>

#include <cstdint>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "download/InternetHandle.h"

namespace netrefit {

class TransferControl {
  public:
    TransferControl();

    void SetPause(bool pause);
    void RequestCancel();
    bool PauseRequested();
    bool CancelRequested();
    void ClearRequests();
    // Worker, between two attempts: waits up to ms, returning at once (true) on a cancel request.
    bool WaitForCancel(DWORD ms);

    // Once the owner has stopped listening, reports are no longer delivered.
    void StopReports();
    bool ReportsStopped();

    // The worker registers each handle as it opens it and closes it through these: what the
    // owner took meanwhile is only let go.
    void TrackFile(HANDLE file);
    void TrackInternet(HINTERNET root, HINTERNET connection, HINTERNET request);
    void CloseFile(FileHandle& file);
    void CloseInternet(InternetHandle& root, InternetHandle& connection, InternetHandle& request);

    // How a call that may wait on the network ended, as far as the owner is concerned.
    enum class CallEnd {
        Normal,
        // The owner closed the internet handles under the call: they are gone.
        Unblocked,
        // The owner ended the run while the call was still waiting: the file is gone too, and
        // the worker may touch nothing of its owner's any more.
        Abandoned,
    };
    // Worker, around a send or a read. Enter is false when a cancel came first (no call is
    // made); the counts are what the run has received so far, for a Cancelled report made on
    // the worker's behalf.
    bool EnterNetworkCall(uint32_t overallCount, uint32_t fileCount);
    CallEnd LeaveNetworkCall();

    // Owner, after a cancel request: closes the internet handles of a network call in
    // progress, which makes a blocked send or read return where the system allows it. True
    // when there was one. No call starts after the request, so nothing is closed under a
    // worker that is not inside one.
    bool Unblock();

    // What the owner needs to end a run in place of a worker that still waits in the network.
    struct Takeover {
        HANDLE file = INVALID_HANDLE_VALUE;
        uint32_t overallCount = 0;
        uint32_t fileCount = 0;
    };
    // Owner: when the worker is still inside its network call, marks the run abandoned and
    // takes its file; false when the call has returned meanwhile (the worker ends the run).
    bool Abandon(Takeover* takeover);

    // After the worker has been ended by force: closes whatever it left open.
    void CloseAbandoned();

  private:
    CriticalSection lock_;
    // Set with cancel_, so that a wait between attempts ends with the request.
    KernelHandle cancelEvent_;
    bool pause_ = false;
    bool cancel_ = false;
    bool reportsStopped_ = false;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HINTERNET root_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
    bool inCall_ = false;
    bool internetTaken_ = false;
    bool abandoned_ = false;
    uint32_t overallCount_ = 0;
    uint32_t fileCount_ = 0;
};

}  // namespace netrefit
