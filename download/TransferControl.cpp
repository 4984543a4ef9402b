#include "download/TransferControl.h"

namespace netrefit {

namespace {

constexpr DWORD kCancelNapMs = 50;

void CloseInternetHandles(HINTERNET request, HINTERNET connection, HINTERNET root) {
    for (HINTERNET handle : {request, connection, root}) {
        if (handle != nullptr) {
            ::InternetCloseHandle(handle);
        }
    }
}

}  // namespace

TransferControl::TransferControl() : cancelEvent_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

void TransferControl::SetPause(bool pause) {
    CriticalSectionLock lock(lock_);
    pause_ = pause;
}

void TransferControl::RequestCancel() {
    CriticalSectionLock lock(lock_);
    cancel_ = true;
    ::SetEvent(cancelEvent_.get());
}

bool TransferControl::PauseRequested() {
    CriticalSectionLock lock(lock_);
    return pause_;
}

bool TransferControl::CancelRequested() {
    CriticalSectionLock lock(lock_);
    return cancel_;
}

void TransferControl::ClearRequests() {
    CriticalSectionLock lock(lock_);
    pause_ = false;
    cancel_ = false;
    reportsStopped_ = false;
    ::ResetEvent(cancelEvent_.get());
}

bool TransferControl::WaitForCancel(DWORD ms) {
    if (!cancelEvent_) {  // no event to wait on: short naps instead
        for (DWORD slept = 0; slept < ms && !CancelRequested(); slept += kCancelNapMs) {
            ::Sleep(kCancelNapMs);
        }
        return CancelRequested();
    }
    return ::WaitForSingleObject(cancelEvent_.get(), ms) == WAIT_OBJECT_0 || CancelRequested();
}

void TransferControl::StopReports() {
    CriticalSectionLock lock(lock_);
    reportsStopped_ = true;
}

bool TransferControl::ReportsStopped() {
    CriticalSectionLock lock(lock_);
    return reportsStopped_;
}

void TransferControl::TrackFile(HANDLE file) {
    CriticalSectionLock lock(lock_);
    file_ = file;
}

void TransferControl::TrackInternet(HINTERNET root, HINTERNET connection, HINTERNET request) {
    CriticalSectionLock lock(lock_);
    root_ = root;
    connection_ = connection;
    request_ = request;
}

void TransferControl::CloseFile(FileHandle& file) {
    bool mine = true;
    {
        CriticalSectionLock lock(lock_);
        if (file_ == file.get()) {
            file_ = INVALID_HANDLE_VALUE;
        } else {
            mine = !abandoned_;  // taken with the run
        }
    }
    if (mine) {
        file.reset();
    } else {
        file.release();
    }
}

void TransferControl::CloseInternet(InternetHandle& root,
                                    InternetHandle& connection,
                                    InternetHandle& request) {
    bool mine = true;
    {
        CriticalSectionLock lock(lock_);
        mine = !internetTaken_;
        internetTaken_ = false;
        request_ = connection_ = root_ = nullptr;
    }
    for (InternetHandle* handle : {&request, &connection, &root}) {
        if (mine) {
            handle->reset();
        } else {
            handle->release();  // closed by the owner, and never to be closed twice
        }
    }
}

bool TransferControl::EnterNetworkCall(uint32_t overallCount, uint32_t fileCount) {
    CriticalSectionLock lock(lock_);
    if (cancel_) {
        return false;
    }
    inCall_ = true;
    overallCount_ = overallCount;
    fileCount_ = fileCount;
    return true;
}

TransferControl::CallEnd TransferControl::LeaveNetworkCall() {
    CriticalSectionLock lock(lock_);
    inCall_ = false;
    if (abandoned_) {
        return CallEnd::Abandoned;
    }
    return internetTaken_ ? CallEnd::Unblocked : CallEnd::Normal;
}

bool TransferControl::Unblock() {
    HINTERNET root = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    {
        CriticalSectionLock lock(lock_);
        if (!inCall_ || internetTaken_) {
            return false;
        }
        internetTaken_ = true;
        root = root_;
        connection = connection_;
        request = request_;
        request_ = connection_ = root_ = nullptr;
    }
    // A close that lands before the worker's call has really begun makes that call fail on an
    // invalid handle: the value cannot have been given out again, since only the worker opens
    // internet handles and it is on its way into the call.
    CloseInternetHandles(request, connection, root);
    return true;
}

bool TransferControl::Abandon(Takeover* takeover) {
    CriticalSectionLock lock(lock_);
    if (!inCall_ || abandoned_) {
        return false;
    }
    abandoned_ = true;
    takeover->file = file_;
    takeover->overallCount = overallCount_;
    takeover->fileCount = fileCount_;
    file_ = INVALID_HANDLE_VALUE;
    return true;
}

void TransferControl::CloseAbandoned() {
    HANDLE file = INVALID_HANDLE_VALUE;
    HINTERNET root = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    {
        CriticalSectionLock lock(lock_);
        file = file_;
        root = root_;
        connection = connection_;
        request = request_;
        file_ = INVALID_HANDLE_VALUE;
        request_ = connection_ = root_ = nullptr;
    }
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
    CloseInternetHandles(request, connection, root);
}

}  // namespace netrefit
