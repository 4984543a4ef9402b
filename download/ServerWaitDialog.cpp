#include "download/ServerWaitDialog.h"

#include "common/NamedObjects.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {

namespace {
constexpr DWORD kFinalPauseMs = 2000;
}

ServerWaitDialog::ServerWaitDialog(HWND parent) : Dialog(IDD_SERVER_WAIT, parent) {
    SetCreateFailedResult(ServerFileFailed);
    questionEvent_ = CreateNamedEvent(kQuestionEventName, EventReset::Automatic, true).handle;
    switchEvent_ = CreateNamedEvent(kSwitchEventName, EventReset::Automatic, true).handle;
}

ServerWaitDialog::~ServerWaitDialog() {
    // The worker may still be inside a report that waits on our events: end it first.
    downloader_.reset();
}

BOOL ServerWaitDialog::OnInitDialog() {
    cancelButton_.Attach(Window(), IDC_WAIT_CANCEL);
    message_.Attach(Window(), IDC_WAIT_MESSAGE);
    SetCaption(kAppTitle);
    ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    StartAttempt();
    message_.SetText(LoadResString(IDS_RETRIEVING));
    cancelButton_.SetText(LoadResString(IDS_CANCEL));
    return TRUE;
}

void ServerWaitDialog::StartAttempt() {
    downloader_ = std::make_unique<Downloader>();
    downloader_->SetOwner(this);
    downloader_->SetFolder(folder_);
    downloader_->SetCallback(&ServerWaitDialog::Report);
    if (attempts_.empty() || !downloader_->Start(attempts_[attempt_])) {
        ::PostMessageA(Window(), UM_WAIT_END, ServerFileFailed, 0);
    } else if (asking_) {
        downloader_->Pause(true);
    }
}

void ServerWaitDialog::EndAttempt(INT_PTR result) {
    signatureFailed_ = signatureFailed_ || result == SignatureFileFailed;
    if (result != ServerFileFetched && attempt_ + 1 < attempts_.size()) {
        // Its worker has reported its failure; it ends before the next place is read.
        downloader_.reset();
        ++attempt_;
        StartAttempt();
        return;
    }
    // A place that served the file but no signature says more than a place that was down.
    if (result == ServerFileFailed && signatureFailed_) {
        result = SignatureFileFailed;
    }
    ended_ = true;
    End(result);
}

int32_t ServerWaitDialog::Report(void* owner,
                                 DownloadEntry* entry,
                                 DownloadStatus status,
                                 int32_t,
                                 int32_t) {
    auto* self = static_cast<ServerWaitDialog*>(owner);
    if (status == Failed) {
        if (entry != nullptr && !entry->LocalPath().empty()) {
            ::DeleteFileA(entry->LocalPath().c_str());
        }
        const DownloadList& files = self->attempts_[self->attempt_];
        bool first = entry == nullptr || files.empty() || entry->Url() == files.front().Url();
        ::PostMessageA(self->Window(), UM_WAIT_END, first ? ServerFileFailed : SignatureFileFailed,
                       0);
    } else if (status == AllDone) {
        // A cancel question on screen is answered before we end, and a confirmed cancel waits
        // until this pause is over.
        ::ResetEvent(self->switchEvent_.get());
        ::Sleep(kFinalPauseMs);
        ::WaitForSingleObject(self->questionEvent_.get(), INFINITE);
        ::SetEvent(self->switchEvent_.get());
        ::PostMessageA(self->Window(), UM_WAIT_END, ServerFileFetched, 0);
    }
    return kReportAccept;
}

bool ServerWaitDialog::OnCommand(int id, int code, HWND) {
    if (id == IDC_WAIT_CANCEL && code == BN_CLICKED) {
        OnCancel();
        return true;
    }
    return false;
}

void ServerWaitDialog::OnCancel() {
    if (ended_) {
        return;
    }
    ::ResetEvent(questionEvent_.get());
    downloader_->Pause(true);
    // The next place may be tried while the question is on screen: its worker starts paused.
    asking_ = true;
    int answer = ShowMessage(Window(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2);
    asking_ = false;
    ::SetEvent(questionEvent_.get());
    if (answer == IDYES) {
        downloader_->Cancel();
        ::WaitForSingleObject(switchEvent_.get(), INFINITE);
        ended_ = true;
        End(ServerWaitCancelled);
    } else {
        downloader_->Pause(false);
    }
}

INT_PTR ServerWaitDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == UM_WAIT_END) {
        // After a confirmed cancel the worker's own end is no longer news.
        if (!ended_) {
            EndAttempt(static_cast<INT_PTR>(wParam));
        }
        return TRUE;
    }
    return Dialog::WindowProc(message, wParam, lParam);
}

}  // namespace netrefit
