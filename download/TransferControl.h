#pragma once
// The requests an owner makes of a running download (pause, cancel) and the handles of the
// transfer at hand, shared by the owner's thread and the worker under one lock. The lock is
// held only for a test, a store or the closing of a handle: never across a wait, a read, a
// write or a report.

#include <windows.h>
#include <wininet.h>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "download/InternetHandle.h"

namespace netrefit {

class TransferControl {
  public:
    void SetPause(bool pause);
    void RequestCancel();
    bool PauseRequested();
    bool CancelRequested();
    void ClearRequests();

    // Once the owner has stopped listening, reports are no longer delivered.
    void StopReports();
    bool ReportsStopped();

    // The worker registers each handle as it opens it and closes it through these, so that
    // a handle closed from outside (below) is never closed twice.
    void TrackFile(HANDLE file);
    void TrackInternet(HINTERNET root, HINTERNET connection, HINTERNET request);
    void CloseFile(FileHandle& file);
    void CloseInternet(InternetHandle& root, InternetHandle& connection, InternetHandle& request);

    // From the owner's thread: closes the request handle of the transfer at hand, which makes
    // a send or read blocked in the network return with an error. True when there was one.
    bool AbortRequest();
    // After the worker has been ended by force: closes whatever it left open.
    void CloseAbandoned();

  private:
    CriticalSection lock_;
    bool pause_ = false;
    bool cancel_ = false;
    bool reportsStopped_ = false;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HINTERNET root_ = nullptr;
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
    bool requestAborted_ = false;
};

}  // namespace netrefit
