#include "download/ProgressDialog.h"

#include <shlwapi.h>

#include <vector>

#include "hashgate/VerifyFileDigest.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"
#include "unzip/PasswordDialog.h"

namespace netrefit {

namespace {

constexpr DWORD kHandOverPauseMs = 2000;
constexpr int kBarRange = 1000;
// The size texts are redrawn on every fifth progress report only; the count spans all dialogs
// of the process.
int g_progressReports = 0;
// One standby-refused message on screen at a time, however many queries arrive.
bool g_standbyMessageShowing = false;

std::string ByteSize(int64_t count) {
    char text[255] = {};
    ::StrFormatByteSizeA(static_cast<DWORD>(count < 0 ? 0 : count), text, sizeof(text));
    return text;
}

}  // namespace

int BarPosition(int64_t count, uint32_t whole) {
    uint32_t thousandth = whole / 1000;
    if (thousandth == 0) {
        return count >= static_cast<int64_t>(whole) ? kBarRange : 0;
    }
    double position = static_cast<double>(count) / static_cast<double>(thousandth);
    if (position < 0) {
        return 0;
    }
    return position > kBarRange ? kBarRange : static_cast<int>(position);
}

ProgressDialog::ProgressDialog(HWND parent) : Dialog(IDD_PROGRESS, parent) {
    SetCreateFailedResult(2);
    questionEvent_.reset(::CreateEventA(nullptr, TRUE, TRUE, "Event Object"));
    switchEvent_.reset(::CreateEventA(nullptr, TRUE, TRUE, "Event Object2"));
    standbyEvent_.reset(::CreateEventA(nullptr, TRUE, TRUE, "Event Object3"));
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
    HWND window = Window();
    overallBar_.Attach(window, IDC_PROGRESS_OVERALL_BAR);
    fileBar_.Attach(window, IDC_PROGRESS_FILE_BAR);
    phaseText_.Attach(window, IDC_PROGRESS_PHASE);
    overallLabel_.Attach(window, IDC_PROGRESS_OVERALL_LABEL);
    fileLabel_.Attach(window, IDC_PROGRESS_FILE_LABEL);
    overallSizes_.Attach(window, IDC_PROGRESS_OVERALL_SIZES);
    fileSizes_.Attach(window, IDC_PROGRESS_FILE_SIZES);
    cancelButton_.Attach(window, IDC_PROGRESS_CANCEL);
    SetCaption(kAppTitle);

    journal_ = std::make_unique<DownloadLog>();
    journal_->SetPath(downloadFolder_ + "Netrefit.log");
    journal_->Create();
    bool nothingToFetch = true;
    for (const DownloadEntry& entry : entries_) {
        if (entry.AlreadyDownloaded() != 0) {
            journal_->Append(entry);
        } else {
            nothingToFetch = false;
        }
    }
    overallLabel_.SetText(LoadResString(IDS_OVERALL_PROGRESS));
    fileLabel_.SetText("");
    ShowText(overallSizes_, overallShown_, "");
    ShowText(fileSizes_, fileShown_, "");
    cancelButton_.SetText(LoadResString(IDS_CANCEL));
    if (nothingToFetch) {
        phaseText_.SetText(LoadResString(IDS_EXTRACTING));
        StartExtraction();
    } else {
        phaseText_.SetText(LoadResString(IDS_DOWNLOADING));
        StartDownload();
    }
    return TRUE;
}

void ProgressDialog::ResetBars() {
    shownOverall_ = shownFile_ = -1;
    for (const ProgressBar* bar : {&overallBar_, &fileBar_}) {
        bar->SetRange(0, kBarRange);
        bar->SetPos(0);
    }
}

void ProgressDialog::StartDownload() {
    downloader_ = std::make_unique<Downloader>();
    phase_ = Downloading;
    ResetBars();
    downloader_->SetOwner(this);
    downloader_->SetFolder(downloadFolder_);
    downloader_->SetCallback(&ProgressDialog::DownloadReport);
    if (!downloader_->Start(entries_)) {
        // No worker will ever report: end now rather than wait forever.
        finished_ = true;
        ::PostMessageA(Window(), UM_PROGRESS_END, 2, 0);
    }
}

void ProgressDialog::StartExtraction() {
    extractor_ = std::make_unique<ZipExtractor>();
    phase_ = Extracting;
    ResetBars();
    std::vector<std::string> paths;
    std::vector<std::string> names;
    for (const DownloadEntry& entry : entries_) {
        paths.push_back(entry.LocalPath());
        names.push_back(entry.Name());
    }
    extractor_->SetOwner(this);
    extractor_->SetFolder(extractFolder_);
    extractor_->SetCallback(&ProgressDialog::ExtractReport);
    extractor_->SetPasswordPrompt(&PasswordDialog::Ask);
    extractor_->Start(paths, names);
}

void ProgressDialog::ShowSizes(const Static& text,
                               std::string& shown,
                               int64_t count,
                               uint32_t whole) {
    ShowText(text, shown, ByteSize(count) + " / " + ByteSize(whole));
}

// Each text reaches its control only when it changed: from the worker every update is a
// round trip to the window's thread, and most refreshes repeat what is already shown.
void ProgressDialog::ShowText(const Static& text, std::string& shown, const std::string& value) {
    if (value != shown) {
        text.SetText(value);
        shown = value;
    }
}

int32_t ProgressDialog::DownloadReport(void* owner,
                                       DownloadEntry* entry,
                                       DownloadStatus status,
                                       int32_t a,
                                       int32_t b) {
    auto* self = static_cast<ProgressDialog*>(owner);
    if (self->finished_) {
        // A file that arrived whole is kept for the next run even after the outcome is decided.
        return status == FileDone ? self->KeepIfVerified(*entry) : 0;
    }
    switch (status) {
        case FileStarted:
            return self->OnFileStarted(*entry, a);
        case Progress:
            return self->OnProgress(*entry, a, b);
        case FileDone:
            return self->OnFileDone(*entry, a, b);
        case Failed:
            return self->OnFailed(*entry);
        case AllDone:
            return self->OnAllDone();
        default:
            return 1;
    }
}

int32_t ProgressDialog::OnFileStarted(const DownloadEntry& entry, int32_t a) {
    fileBar_.SetPos(0);
    shownFile_ = 0;
    fileLabel_.SetText(entry.Name());
    ShowSizes(overallSizes_, overallShown_, a, total_);
    ShowSizes(fileSizes_, fileShown_, 0, static_cast<uint32_t>(entry.Size()));
    return 1;
}

int32_t ProgressDialog::OnProgress(const DownloadEntry& entry, int32_t a, int32_t b) {
    uint32_t size = static_cast<uint32_t>(entry.Size());
    int overall = BarPosition(a, total_);
    // Most reports move a bar; waiting for the window's thread each time would pace the
    // download by that thread's turns on the processor.
    if (overall != shownOverall_) {
        overallBar_.MovePos(overall);
        shownOverall_ = overall;
    }
    int file = BarPosition(b, size);
    if (file != shownFile_) {
        fileBar_.MovePos(file);
        shownFile_ = file;
    }
    if (g_progressReports > 4) {
        ShowSizes(overallSizes_, overallShown_, a, total_);
        ShowSizes(fileSizes_, fileShown_, b, size);
        g_progressReports = 0;
    }
    ++g_progressReports;
    return 1;
}

int32_t ProgressDialog::OnFileDone(const DownloadEntry& entry, int32_t a, int32_t b) {
    if (entry.AlreadyDownloaded() == 0) {
        ShowSizes(overallSizes_, overallShown_, a, total_);
        ShowSizes(fileSizes_, fileShown_, b, static_cast<uint32_t>(entry.Size()));
    }
    if (KeepIfVerified(entry) != 0) {
        return 1;
    }
    finished_ = true;
    // The worker passes over a marked entry whatever we answer; stop it ourselves. From its
    // own thread this only makes the request, and the dialog's end joins the thread.
    if (downloader_) {
        downloader_->Cancel();
    }
    ShowMessage(Window(), IDS_DOWNLOAD_FAILED, MB_ICONSTOP, {entry.Name()});
    ::PostMessageA(Window(), UM_PROGRESS_END, 2, 0);
    return 0;
}

int32_t ProgressDialog::KeepIfVerified(const DownloadEntry& entry) {
    if (!VerifyFileDigest(entry.LocalPath().c_str(), entry.Md5().c_str())) {
        return 0;
    }
    if (!journal_->Contains(entry)) {
        journal_->Append(entry);
    }
    return 1;
}

int32_t ProgressDialog::OnFailed(const DownloadEntry& entry) {
    finished_ = true;
    ShowMessage(Window(), IDS_DOWNLOAD_FAILED, MB_ICONSTOP, {entry.Name()});
    overallBar_.SetPos(0);
    fileBar_.SetPos(0);
    ::PostMessageA(Window(), UM_PROGRESS_END, 2, 0);
    return 1;
}

int32_t ProgressDialog::OnAllDone() {
    ::WaitForSingleObject(standbyEvent_.get(), INFINITE);
    ::SetEvent(questionEvent_.get());
    ::ResetEvent(switchEvent_.get());
    phase_ = BetweenPhases;
    ::Sleep(kHandOverPauseMs);
    ::SetEvent(switchEvent_.get());
    ::WaitForSingleObject(questionEvent_.get(), INFINITE);
    overallBar_.SetPos(0);
    fileBar_.SetPos(0);
    ::PostMessageA(Window(), UM_START_EXTRACTION, 0, 0);
    return 1;
}

int32_t ProgressDialog::ExtractReport(void* owner,
                                      std::string text,
                                      ExtractStatus status,
                                      int32_t a,
                                      int32_t b) {
    auto* self = static_cast<ProgressDialog*>(owner);
    if (!self->finished_) {
        self->OnExtractReport(text, status, a, b);
    }
    return 1;
}

void ProgressDialog::OnExtractReport(const std::string& text,
                                     ExtractStatus status,
                                     int32_t a,
                                     int32_t b) {
    switch (status) {
        case ExtractStarted:
            fileBar_.SetPos(0);
            phaseText_.SetText(LoadResString(IDS_EXTRACTING));
            overallLabel_.SetText(LoadResString(IDS_OVERALL_PROGRESS));
            fileLabel_.SetText(text);
            ShowText(overallSizes_, overallShown_, "");
            ShowText(fileSizes_, fileShown_, "");
            break;
        case ArchiveDone:
            overallBar_.SetPos(a);
            fileBar_.SetPos(b);
            break;
        case ExtractFailed:
            finished_ = true;
            ShowMessage(Window(), IDS_EXTRACT_FAILED, MB_ICONSTOP, {text});
            overallBar_.SetPos(0);
            fileBar_.SetPos(0);
            ::PostMessageA(Window(), UM_PROGRESS_END, 3, 0);
            break;
        case ExtractProgress:
            overallBar_.SetPos(a);
            fileBar_.SetPos(b);
            fileLabel_.SetText(text);
            break;
        case ExtractDone:
            OnExtractDone();
            break;
        default:
            break;
    }
}

void ProgressDialog::OnExtractDone() {
    ::SetEvent(questionEvent_.get());
    ::ResetEvent(switchEvent_.get());
    phase_ = BetweenPhases;
    ::Sleep(kHandOverPauseMs);
    ::SetEvent(switchEvent_.get());
    ::WaitForSingleObject(questionEvent_.get(), INFINITE);
    ::PostMessageA(Window(), UM_PROGRESS_END, 1, 0);
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
            ::ResetEvent(questionEvent_.get());
            bool yes = AskToCancel();
            ::SetEvent(questionEvent_.get());
            if (yes) {
                ::WaitForSingleObject(switchEvent_.get(), INFINITE);
                finished_ = true;
                EndWith(IDCANCEL);
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
        EndWith(IDCANCEL);
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

void ProgressDialog::OnStandbyRefused() {
    if (g_standbyMessageShowing) {
        return;
    }
    g_standbyMessageShowing = true;
    ShowMessage(Window(), IDS_STANDBY_REFUSED, MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    ::SetEvent(standbyEvent_.get());
    g_standbyMessageShowing = false;
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
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMQUERYSUSPEND && phase_ == Downloading) {
                ::ResetEvent(standbyEvent_.get());
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
