#pragma once
// Fetches the server information file behind a small window with a Cancel button.

#include <memory>
#include <string>

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
    SignatureFileFailed = 4,         // the server file came, its signature file did not
};

class ServerWaitDialog : public Dialog {
  public:
    explicit ServerWaitDialog(HWND parent);
    ~ServerWaitDialog() override;

    void SetFolder(const std::string& folder) { folder_ = folder; }
    // The server file, then (for signed updates) its signature file.
    void SetEntries(const DownloadList& entries) { entries_ = entries; }

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnCancel() override;

  private:
    static int32_t Report(void* owner,
                          DownloadEntry* entry,
                          DownloadStatus status,
                          int32_t overallCount,
                          int32_t fileCount);

    Button cancelButton_;
    Static message_;
    std::string folder_;
    DownloadList entries_;
    KernelHandle questionEvent_;
    KernelHandle switchEvent_;
    bool ended_ = false;
    // Last: destroyed (and its thread joined) before the events it may wait on are closed.
    std::unique_ptr<Downloader> downloader_;
};

}  // namespace netrefit
