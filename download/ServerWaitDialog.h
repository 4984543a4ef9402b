#pragma once
// Fetches the server information file behind a small window with a Cancel button.

#include <memory>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "download/DownloadStatus.h"
#include "download/Downloader.h"
#include "download/RemoteFile.h"
#include "ui/Controls.h"
#include "ui/DialogBase.h"

namespace netrefit {

constexpr UINT UM_WAIT_END = 0x500;

// The window's modal result.
enum ServerWaitResult : INT_PTR {
    ServerFileFetched = 1,
    ServerWaitCancelled = IDCANCEL,  // by the user
    ServerFileFailed = 3,            // also when the window cannot be made
    // The server file came, its signature file did not (from some place, when every place
    // failed).
    SignatureFileFailed = 4,
};

class ServerWaitDialog : public Dialog {
  public:
    explicit ServerWaitDialog(HWND parent);
    ~ServerWaitDialog() override;

    void SetFolder(const std::string& folder) { folder_ = folder; }
    // The server file, then (for signed updates) its signature file.
    void SetEntries(const DownloadList& entries) { attempts_.assign(1, entries); }
    // The same files from one more place, fetched whole when every earlier place failed.
    void AddFallback(const DownloadList& entries) { attempts_.push_back(entries); }

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnCancel() override;

  private:
    void StartAttempt();
    // The result at the end of the current attempt: the next one is started instead of a
    // failure while places are left.
    void EndAttempt(INT_PTR result);
    static int32_t Report(void* owner,
                          DownloadEntry* entry,
                          DownloadStatus status,
                          int32_t overallCount,
                          int32_t fileCount);

    Button cancelButton_;
    Static message_;
    std::string folder_;
    std::vector<DownloadList> attempts_;
    // Changed only once the worker of the attempt before has ended.
    size_t attempt_ = 0;
    bool signatureFailed_ = false;
    bool asking_ = false;  // the cancel question is on screen
    KernelHandle questionEvent_;
    KernelHandle switchEvent_;
    bool ended_ = false;
    // Last: destroyed (and its thread joined) before the events it may wait on are closed.
    std::unique_ptr<Downloader> downloader_;
};

}  // namespace netrefit
