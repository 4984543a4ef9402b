#include "download/TransferControl.h"

namespace netrefit {

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
    if (requestAborted_) {
        request.release();  // closed already, and never to be closed twice
    } else {
        request.reset();
    }
    connection.reset();
    root.reset();
    request_ = connection_ = root_ = nullptr;
    requestAborted_ = false;
}

bool TransferControl::AbortRequest() {
    HINTERNET request = nullptr;
    {
        CriticalSectionLock lock(lock_);
        request = request_;
        request_ = nullptr;
        requestAborted_ = request != nullptr;
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
