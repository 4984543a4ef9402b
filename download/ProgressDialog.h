#pragma once
// Downloads, verifies and journals the upgrade's files, then unpacks them, in one window with an
// overall bar and a per-file bar.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "download/DownloadStatus.h"
#include "download/Downloader.h"
#include "download/PhaseHandOver.h"
#include "download/ProgressView.h"
#include "download/RemoteFile.h"
#include "download/VerifiedJournal.h"
#include "ui/DialogBase.h"
#include "unzip/ExtractStatus.h"
#include "unzip/ZipExtractor.h"

namespace netrefit {

constexpr UINT UM_PROGRESS_END = 0x600;
constexpr UINT UM_START_EXTRACTION = 0x601;
constexpr UINT UM_STANDBY_REFUSED = 0x602;

// The window's modal result.
enum ProgressResult : INT_PTR {
    ProgressDone = 1,            // everything downloaded, verified and unpacked
    ProgressStopped = IDCANCEL,  // a download failed, a digest did not match, or the user cancelled
                                 // (also when the window cannot be made)
    ProgressExtractFailed = 3,
};

class ProgressDialog : public Dialog {
  public:
    explicit ProgressDialog(HWND parent);
    ~ProgressDialog() override;

    void SetList(const DownloadList& list);
    void SetDownloadFolder(const std::string& folder) { downloadFolder_ = folder; }
    void SetExtractFolder(const std::string& folder) { extractFolder_ = folder; }
    // The password dialog unless another answer is given (an unattended run's).
    void SetPasswordPrompt(PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }

    uint32_t Total() const { return total_; }
    int32_t CurrentPhase() const { return phase_; }

    // The workers' report functions; owner is the dialog.
    static int32_t DownloadReport(void* owner,
                                  DownloadEntry* entry,
                                  DownloadStatus status,
                                  int32_t overallCount,
                                  int32_t fileCount);
    static int32_t ExtractReport(void* owner,
                                 std::string text,
                                 ExtractStatus status,
                                 int32_t overallPerMille,
                                 int32_t filePerMille);

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnTimer(UINT_PTR timerId) override;
    void OnCancel() override;

    virtual void StartDownload();
    virtual void StartExtraction();

  private:
    int32_t OnFileDone(const DownloadEntry& entry, uint32_t overallCount, uint32_t fileCount);
    int32_t OnAllDone();
    void OnExtractReport(const std::string& text,
                         ExtractStatus status,
                         int32_t overallPerMille,
                         int32_t filePerMille);
    void OnExtractDone();
    void LogFile(const DownloadEntry& entry, const char* verdict) const;
    void OnStandbyRefused();
    // The outcome is decided by a failure: its message naming the file, then the end.
    void Fail(UINT messageId, const std::string& name, ProgressResult result, bool clearBars);
    void EndWith(INT_PTR result);
    bool AskToCancel();
    void ReplayDeferred();
    template <typename Worker>
    void CancelWorker(Worker* worker);

    ProgressView view_;
    DownloadList entries_;
    std::string downloadFolder_;
    std::string extractFolder_;
    PasswordPrompt passwordPrompt_;
    DWORD fileStartTick_ = 0;
    size_t archivesDone_ = 0;
    uint32_t total_ = 0;
    std::atomic<int32_t> phase_{BetweenPhases};
    // Set once the outcome is decided: later reports of a worker still winding down are ignored.
    std::atomic<bool> finished_{false};
    bool ended_ = false;
    // The cancel question is on screen. Meanwhile the phase stays where it is: an end or the
    // start of the extraction waits for the answer, so no worker goes away under the question.
    bool asking_ = false;
    std::vector<std::pair<UINT, WPARAM>> deferred_;
    // One standby-refused message on screen at a time, however many queries arrive, in every
    // window of the process.
    static bool standbyMessageShowing_;

    PhaseHandOver handOver_;
    VerifiedJournal journal_;
    // Last, so that their threads are joined before anything they use goes away.
    std::unique_ptr<Downloader> downloader_;
    std::unique_ptr<ZipExtractor> extractor_;
};

}  // namespace netrefit
