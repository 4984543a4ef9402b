#include "download/Downloader.h"

#include "common/NamedObjects.h"

namespace netrefit {

Downloader::Downloader() {
    doneEvent_ = CreateNamedEvent(kDownloadDoneEventName, EventReset::Manual, true).handle;
    Reset();
}

Downloader::~Downloader() {
    // An owner may go away right after a final report while the worker still closes its
    // handles, or (by mistake) with a run still going; either way the worker ends first.
    if (thread_.Running()) {
        control_.StopReports();
        Cancel();
    }
    thread_.Join(INFINITE);
}

bool Downloader::Reset() {
    if (started_) {
        return false;
    }
    folder_.clear();
    owner_ = nullptr;
    callback_ = nullptr;
    spaceQuery_ = nullptr;
    entries_.clear();
    control_.ClearRequests();
    if (doneEvent_) {
        ::ResetEvent(doneEvent_.get());
    }
    return true;
}

bool Downloader::Start(const DownloadList& list) {
    if (started_) {
        return false;
    }
    entries_ = list;
    // Set first: the worker's first report may already ask for a cancel.
    started_ = true;
    if (!thread_.Start([this] {
            Run();
            return 0u;
        })) {
        started_ = false;
    }
    return started_;
}

void Downloader::Pause(bool pause) {
    if (started_) {
        control_.SetPause(pause);
    }
}

void Downloader::Cancel() {
    if (!started_ || !thread_.Running()) {
        return;  // nothing started, or the run is over whichever way it ended
    }
    control_.RequestCancel();
    if (::GetCurrentThreadId() == workerId_) {
        return;  // waiting here would wait on ourselves
    }
    if (thread_.Join(kCancelWaitMs)) {
        return;
    }
    // Most likely blocked in the network: closing its request makes the call return, and the
    // worker then ends its run as cancelled.
    control_.AbortRequest();
    if (thread_.Join(kAbortWaitMs)) {
        return;
    }
    EndAbandonedWorker();
}

void Downloader::EndAbandonedWorker() {
    control_.StopReports();
    if (!thread_.Terminate()) {
        return;
    }
    control_.CloseAbandoned();
    if (current_ != nullptr && !current_->LocalPath().empty()) {
        ::DeleteFileA(current_->LocalPath().c_str());
    }
}

void Downloader::Run() {
    workerId_ = ::GetCurrentThreadId();
    uint32_t overall = 0;
    for (DownloadEntry& entry : entries_) {
        if (entry.AlreadyDownloaded() != 0) {
            // The owner checks an earlier run's file again; a refusal ends the run as a
            // mismatch of a new download does, before anything of the next entry is asked for.
            if (Report(&entry, FileDone, 0, 0) == kReportReject) {
                return;
            }
            continue;
        }
        current_ = &entry;
        EntryTransfer transfer(entry, folder_, *this, overall);
        TransferOutcome outcome = transfer.Run();
        current_ = nullptr;
        if (outcome != TransferOutcome::Completed) {
            return;
        }
    }
    // An empty list has no last entry to name.
    Report(entries_.empty() ? nullptr : &entries_.back(), AllDone, 0, 0);
    SignalDone();
}

int32_t Downloader::Report(DownloadEntry* entry,
                           DownloadStatus status,
                           int32_t overallCount,
                           int32_t fileCount) {
    if (callback_ == nullptr || control_.ReportsStopped()) {
        return kReportAccept;
    }
    return callback_(owner_, entry, status, overallCount, fileCount);
}

void Downloader::SignalDone() {
    ::SetEvent(doneEvent_.get());
}

}  // namespace netrefit
