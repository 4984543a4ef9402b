#include "download/Downloader.h"

#include "common/NamedObjects.h"
#include "download/PartialRecord.h"

namespace netrefit {

namespace {

DownloadStatus FinalStatus(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::Failed:
            return Failed;
        case TransferOutcome::Refused:
            return FileDone;
        default:
            return Cancelled;
    }
}

}  // namespace

Downloader::Downloader() {
    doneEvent_ = CreateNamedEvent(kDownloadDoneEventName, EventReset::Manual, true).handle;
    Reset();
}

Downloader::~Downloader() {
    // An owner may go away right after a final report while the worker still closes its
    // handles, or (by mistake) with a run still going; either way the run ends first.
    if (thread_.Running()) {
        control_->StopReports();
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
    stallLimitMs_ = kDefaultStallLimitMs;
    entries_.clear();
    control_->ClearRequests();
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
    if (!thread_.Start([this] { return Run(); })) {
        started_ = false;
    }
    return started_;
}

void Downloader::Pause(bool pause) {
    if (started_) {
        control_->SetPause(pause);
    }
}

void Downloader::Cancel() {
    if (!started_ || !thread_.Running()) {
        return;  // nothing started, or the run is over whichever way it ended
    }
    control_->RequestCancel();
    if (::GetCurrentThreadId() == workerId_) {
        return;  // waiting here would wait on ourselves
    }
    const DWORD start = ::GetTickCount();
    // A worker between two calls sees the request by itself; one waiting in the network
    // returns once its handles are closed, and then ends its run as cancelled.
    control_->Unblock();
    if (thread_.Join(kUnblockWaitMs) || TakeOverBlockedRun()) {
        return;
    }
    const DWORD spent = ::GetTickCount() - start;
    const DWORD forceAt = kCancelWaitMs - kForcedEndWaitMs;
    if (spent < forceAt && thread_.Join(forceAt - spent)) {
        return;
    }
    EndWorkerByForce();
}

// Some systems' WinINet (Wine's) lets a waiting call go on after its handles were closed. The
// run is then ended here as the worker would end it, and the worker is left to end by itself
// once the network gives the call up.
bool Downloader::TakeOverBlockedRun() {
    TransferControl::Takeover takeover;
    if (!control_->Abandon(&takeover)) {
        return false;  // the call returned meanwhile: the worker ends the run itself
    }
    FileHandle(takeover.file).reset();
    DeleteCurrentCopy();
    Report(current_, Cancelled, static_cast<int32_t>(takeover.overallCount),
           static_cast<int32_t>(takeover.fileCount));
    SignalDone();
    thread_.Detach();
    return true;
}

void Downloader::EndWorkerByForce() {
    control_->StopReports();
    if (!thread_.Terminate(kForcedEndWaitMs)) {
        return;
    }
    control_->CloseAbandoned();
    DeleteCurrentCopy();
}

// A cancelled entry leaves nothing behind, its partial file included.
void Downloader::DeleteCurrentCopy() {
    if (current_ != nullptr && !current_->LocalPath().empty()) {
        ::DeleteFileA(current_->LocalPath().c_str());
        DeletePartial(*current_);
    }
}

unsigned Downloader::Run() {
    workerId_ = ::GetCurrentThreadId();
    uint32_t overall = 0;
    for (DownloadEntry& entry : entries_) {
        if (entry.AlreadyDownloaded() != 0) {
            // The owner checks an earlier run's file again; a refusal ends the run as a
            // mismatch of a new download does, before anything of the next entry is asked for.
            if (Report(&entry, FileDone, 0, 0) == kReportReject) {
                return FileDone;
            }
            continue;
        }
        current_ = &entry;
        TransferOutcome outcome = EntryTransfer(entry, folder_, *this, overall).Run();
        if (outcome == TransferOutcome::Abandoned) {
            return Cancelled;  // reported in our place, and we may be gone already
        }
        current_ = nullptr;
        if (outcome != TransferOutcome::Completed) {
            return FinalStatus(outcome);
        }
    }
    // An empty list has no last entry to name.
    Report(entries_.empty() ? nullptr : &entries_.back(), AllDone, 0, 0);
    SignalDone();
    return AllDone;
}

int32_t Downloader::Report(DownloadEntry* entry,
                           DownloadStatus status,
                           int32_t overallCount,
                           int32_t fileCount) {
    if (callback_ == nullptr || control_->ReportsStopped()) {
        return kReportAccept;
    }
    return callback_(owner_, entry, status, overallCount, fileCount);
}

void Downloader::SignalDone() {
    ::SetEvent(doneEvent_.get());
}

}  // namespace netrefit
