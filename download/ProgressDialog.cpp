#include "download/ProgressDialog.h"

#include <vector>

#include "common/SupportLog.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"
#include "unzip/PasswordDialog.h"

namespace netrefit {

bool ProgressDialog::standbyMessageShowing_ = false;

ProgressDialog::ProgressDialog(HWND parent) : Dialog(IDD_PROGRESS, parent) {
    SetCreateFailedResult(ProgressStopped);
}

ProgressDialog::~ProgressDialog() {
    // Join the workers before the events and the journal they use are closed.
    finished_ = true;
    downloader_.reset();
    extractor_.reset();
}

void ProgressDialog::SetList(const DownloadList& list) {
    entries_ = list;
    total_ = 0;
    for (const DownloadEntry& entry : entries_) {
        if (entry.AlreadyDownloaded() == 0) {
            total_ += static_cast<uint32_t>(entry.Size());
        }
    }
}

BOOL ProgressDialog::OnInitDialog() {
    view_.Attach(Window());
    SetCaption(kAppTitle);
    bool somethingToFetch = journal_.Start(downloadFolder_, entries_);
    view_.ShowOpening();
    if (somethingToFetch) {
        view_.ShowPhase(IDS_DOWNLOADING);
        StartDownload();
    } else {
        view_.ShowPhase(IDS_EXTRACTING);
        StartExtraction();
    }
    return TRUE;
}

void ProgressDialog::StartDownload() {
    downloader_ = std::make_unique<Downloader>();
    phase_ = Downloading;
    view_.ResetBars();
    view_.DeferPainting(true);
    downloader_->SetOwner(this);
    downloader_->SetFolder(downloadFolder_);
    downloader_->SetCallback(&ProgressDialog::DownloadReport);
    if (!downloader_->Start(entries_)) {
        // No worker will ever report: end now rather than wait forever.
        finished_ = true;
        ::PostMessageA(Window(), UM_PROGRESS_END, ProgressStopped, 0);
    }
}

void ProgressDialog::StartExtraction() {
    extractor_ = std::make_unique<ZipExtractor>();
    phase_ = Extracting;
    view_.DeferPainting(false);
    view_.ResetBars();
    std::vector<std::string> paths;
    std::vector<std::string> names;
    for (const DownloadEntry& entry : entries_) {
        paths.push_back(entry.LocalPath());
        names.push_back(entry.Name());
    }
    extractor_->SetOwner(this);
    extractor_->SetFolder(extractFolder_);
    extractor_->SetCallback(&ProgressDialog::ExtractReport);
    extractor_->SetPasswordPrompt(passwordPrompt_ ? passwordPrompt_ : &PasswordDialog::Ask);
    // Each archive is read through the handle its check was made on (an earlier run's file is
    // checked now, the same way), and let go once it is unpacked.
    HeldModules& held = journal_.Held();
    extractor_->SetArchiveFiles(
        {[this, &held](size_t index) { return held.Acquire(entries_[index]); },
         [this, &held](size_t index) { held.Release(entries_[index].LocalPath()); }});
    extractor_->Start(paths, names);
}

int32_t ProgressDialog::DownloadReport(void* owner,
                                       DownloadEntry* entry,
                                       DownloadStatus status,
                                       int32_t overallCount,
                                       int32_t fileCount) {
    auto* self = static_cast<ProgressDialog*>(owner);
    if (self->finished_) {
        // A file that arrived whole is kept for the next run even after the outcome is decided.
        bool keep = status == FileDone && self->journal_.Keep(*entry);
        return keep ? kReportAccept : kReportReject;
    }
    uint32_t size = entry != nullptr ? static_cast<uint32_t>(entry->Size()) : 0;
    // The counts are byte counts of up to 4 GiB - 1 in a 32-bit report: unsigned.
    uint32_t overall = static_cast<uint32_t>(overallCount);
    uint32_t file = static_cast<uint32_t>(fileCount);
    switch (status) {
        case FileStarted:
            self->fileStartTick_ = ::GetTickCount();
            self->view_.FileStarted(entry->Name(), overall, self->total_, size);
            return kReportAccept;
        case Progress:
            self->view_.Progress(overall, self->total_, file, size);
            return kReportAccept;
        case FileDone:
            return self->OnFileDone(*entry, overall, file);
        case Failed:
            self->LogFile(*entry, "download failed");
            self->Fail(IDS_DOWNLOAD_FAILED, entry->Name(), ProgressStopped, true);
            return kReportAccept;
        case AllDone:
            return self->OnAllDone();
        default:
            return kReportAccept;
    }
}

int32_t ProgressDialog::OnFileDone(const DownloadEntry& entry,
                                   uint32_t overallCount,
                                   uint32_t fileCount) {
    if (entry.AlreadyDownloaded() == 0) {
        view_.ShowSizes(overallCount, total_, fileCount, static_cast<uint32_t>(entry.Size()));
    }
    if (journal_.Keep(entry)) {
        LogFile(entry, entry.AlreadyDownloaded() != 0 ? "downloaded before, digest matches"
                                                      : "downloaded, digest matches");
        return kReportAccept;
    }
    LogFile(entry, "digest does not match");
    // The refusal ends the worker's run; an earlier run's file that no longer matches goes, as
    // a new download that does not match does.
    finished_ = true;
    if (entry.AlreadyDownloaded() != 0 && !entry.LocalPath().empty()) {
        ::DeleteFileA(entry.LocalPath().c_str());
    }
    Fail(IDS_DOWNLOAD_FAILED, entry.Name(), ProgressStopped, false);
    return kReportReject;
}

int32_t ProgressDialog::OnAllDone() {
    handOver_.WaitForStandbyAnswer();
    handOver_.Pause(phase_);
    view_.ClearBars();
    ::PostMessageA(Window(), UM_START_EXTRACTION, 0, 0);
    return kReportAccept;
}

void ProgressDialog::Fail(UINT messageId,
                          const std::string& name,
                          ProgressResult result,
                          bool clearBars) {
    finished_ = true;
    ShowMessage(Window(), messageId, MB_ICONSTOP, {name});
    if (clearBars) {
        view_.ClearBars();
    }
    ::PostMessageA(Window(), UM_PROGRESS_END, result, 0);
}

int32_t ProgressDialog::ExtractReport(void* owner,
                                      std::string text,
                                      ExtractStatus status,
                                      int32_t overallPerMille,
                                      int32_t filePerMille) {
    auto* self = static_cast<ProgressDialog*>(owner);
    if (!self->finished_) {
        self->OnExtractReport(text, status, overallPerMille, filePerMille);
    }
    return 1;  // not looked at
}

void ProgressDialog::OnExtractReport(const std::string& text,
                                     ExtractStatus status,
                                     int32_t overallPerMille,
                                     int32_t filePerMille) {
    switch (status) {
        case ExtractStarted:
            LogLine("Extraction started");
            view_.ExtractStarted(text);
            break;
        case ArchiveDone:
            if (archivesDone_ < entries_.size()) {
                LogLine("Unpacked " + entries_[archivesDone_++].Name());
            }
            view_.SetBars(overallPerMille, filePerMille);
            break;
        case ExtractFailed:
            LogLine("Extraction failed: " + text);
            Fail(IDS_EXTRACT_FAILED, text, ProgressExtractFailed, true);
            break;
        case ExtractProgress:
            view_.SetBars(overallPerMille, filePerMille);
            view_.SetFileLabel(text);
            break;
        case ExtractDone:
            OnExtractDone();
            break;
        default:
            break;
    }
}

// One line per file, never per read: the log must not slow the transfer.
void ProgressDialog::LogFile(const DownloadEntry& entry, const char* verdict) const {
    if (SupportLogEnabled()) {
        LogLine("Module " + entry.Name() + " from " + entry.Url() + ": " + verdict + ", " +
                std::to_string(entry.Size()) + " bytes declared, " +
                std::to_string(::GetTickCount() - fileStartTick_) + " ms");
    }
}

void ProgressDialog::OnExtractDone() {
    handOver_.Pause(phase_);
    ::PostMessageA(Window(), UM_PROGRESS_END, ProgressDone, 0);
}

bool ProgressDialog::AskToCancel() {
    asking_ = true;
    bool yes = ShowMessage(Window(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2) == IDYES;
    asking_ = false;
    if (yes) {
        deferred_.clear();  // the user's answer decides the outcome
    }
    return yes;
}

// What arrived while the question was open, in its order, after a No.
void ProgressDialog::ReplayDeferred() {
    for (const auto& [message, wParam] : deferred_) {
        ::PostMessageA(Window(), message, wParam, 0);
    }
    deferred_.clear();
}

void ProgressDialog::OnCancel() {
    if (ended_ || asking_) {
        return;
    }
    switch (phase_) {
        case Downloading:
            CancelWorker(downloader_.get());
            break;
        case Extracting:
            CancelWorker(extractor_.get());
            break;
        case BetweenPhases: {
            handOver_.QuestionAsked();
            bool yes = AskToCancel();
            handOver_.QuestionAnswered();
            if (yes) {
                handOver_.WaitForPauseEnd();
                finished_ = true;
                EndWith(ProgressStopped);
            } else {
                ReplayDeferred();
            }
            break;
        }
        default:
            break;
    }
}

// The worker waits paused while the user is asked; No lets it go on where it stopped.
template <typename Worker>
void ProgressDialog::CancelWorker(Worker* worker) {
    if (worker == nullptr) {
        return;
    }
    worker->Pause(true);
    if (AskToCancel()) {
        finished_ = true;
        worker->Cancel();
        EndWith(ProgressStopped);
    } else {
        worker->Pause(false);
        ReplayDeferred();
    }
}

void ProgressDialog::EndWith(INT_PTR result) {
    if (!ended_) {
        ended_ = true;
        End(result);
    }
}

bool ProgressDialog::OnCommand(int id, int code, HWND) {
    if (id == IDC_PROGRESS_CANCEL && code == BN_CLICKED) {
        OnCancel();
        return true;
    }
    return false;
}

bool ProgressDialog::OnTimer(UINT_PTR timerId) {
    if (timerId != ProgressView::kPaintTimer) {
        return false;
    }
    view_.PaintDeferred();
    return true;
}

void ProgressDialog::OnStandbyRefused() {
    if (standbyMessageShowing_) {
        return;
    }
    standbyMessageShowing_ = true;
    ShowMessage(Window(), IDS_STANDBY_REFUSED, MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    handOver_.StandbyAnswered();
    standbyMessageShowing_ = false;
}

INT_PTR ProgressDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (asking_ && (message == UM_PROGRESS_END || message == UM_START_EXTRACTION)) {
        deferred_.emplace_back(message, wParam);
        return TRUE;
    }
    switch (message) {
        case UM_PROGRESS_END:
            EndWith(static_cast<INT_PTR>(wParam));
            return TRUE;
        case UM_START_EXTRACTION:
            if (!ended_) {
                // The download worker has said its last word; let its thread end first.
                downloader_.reset();
                StartExtraction();
            }
            return TRUE;
        case UM_STANDBY_REFUSED:
            OnStandbyRefused();
            return TRUE;
        case UM_SHOW_SIZES:
            view_.ApplySizes();
            return TRUE;
        case WM_PAINT:
            return view_.PaintWindow() ? TRUE : Dialog::WindowProc(message, wParam, lParam);
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMQUERYSUSPEND && phase_ == Downloading) {
                handOver_.StandbyRefused();
                ::PostMessageA(Window(), UM_STANDBY_REFUSED, 0, 0);
                return SetMessageResult(BROADCAST_QUERY_DENY);
            }
            if (wParam == PBT_APMQUERYSTANDBY) {
                OnCancel();
            }
            return FALSE;
        default:
            return Dialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace netrefit
