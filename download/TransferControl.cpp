#include "download/TransferControl.h"

namespace netrefit {
namespace {

// Closes an internet handle the worker owns unless someone else has closed it already.
void CloseOwned(HINTERNET& tracked, InternetHandle& owned) {
    if (!owned) {
        return;
    }
    if (tracked == owned.get()) {
        tracked = nullptr;
        owned.reset();
    } else {
        owned.release();
    }
}

}  // namespace

void TransferControl::SetPause(bool pause) {
    CriticalSectionLock lock(lock_);
    pause_ = pause;
}

void TransferControl::RequestCancel() {
    CriticalSectionLock lock(lock_);
    cancel_ = true;
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
    CriticalSectionLock lock(lock_);
    if (file_ == file.get()) {
        file_ = INVALID_HANDLE_VALUE;
    }
    file.reset();
}

void TransferControl::CloseInternet(InternetHandle& root,
                                    InternetHandle& connection,
                                    InternetHandle& request) {
    CriticalSectionLock lock(lock_);
    CloseOwned(request_, request);
    CloseOwned(connection_, connection);
    CloseOwned(root_, root);
}

bool TransferControl::AbortRequest() {
    HINTERNET request = nullptr;
    {
        CriticalSectionLock lock(lock_);
        request = request_;
        request_ = nullptr;
    }
    // Outside the lock: the close may have to wait for the blocked call to give up.
    return request != nullptr && ::InternetCloseHandle(request);
}

void TransferControl::CloseAbandoned() {
    CriticalSectionLock lock(lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    for (HINTERNET* handle : {&request_, &connection_, &root_}) {
        if (*handle != nullptr) {
            ::InternetCloseHandle(*handle);
            *handle = nullptr;
        }
    }
}

}  // namespace netrefit
