#pragma once
// Downloads, verifies and journals the upgrade's files, then unpacks them, in one window with an
// overall bar and a per-file bar. Results: 1 all done, 2 download failure, digest mismatch or
// cancel (also when the window cannot be made), 3 extraction failure.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/UniqueHandle.h"
#include "download/DownloadLog.h"
#include "download/DownloadStatus.h"
#include "download/Downloader.h"
#include "download/RemoteFile.h"
#include "ui/Controls.h"
#include "ui/DialogBase.h"
#include "unzip/ExtractStatus.h"
#include "unzip/ZipExtractor.h"

namespace netrefit {

constexpr UINT UM_PROGRESS_END = 0x600;
constexpr UINT UM_START_EXTRACTION = 0x601;
constexpr UINT UM_STANDBY_REFUSED = 0x602;

// Position on a 0..1000 bar of count out of whole. A whole below 1000 bytes has no thousandth to
// divide by: the bar then stays at 0 until the count reaches the whole.
int BarPosition(int64_t count, uint32_t whole);

class ProgressDialog : public Dialog {
  public:
    enum Phase : int32_t { Downloading = 1, Extracting = 2, BetweenPhases = 3 };

    explicit ProgressDialog(HWND parent);
    ~ProgressDialog() override;

    void SetList(const DownloadList& list);
    void SetDownloadFolder(const std::string& folder) { downloadFolder_ = folder; }
    void SetExtractFolder(const std::string& folder) { extractFolder_ = folder; }

    uint32_t Total() const { return total_; }
    int32_t CurrentPhase() const { return phase_; }

    // The workers' report functions; owner is the dialog.
    static int32_t DownloadReport(void* owner,
                                  DownloadEntry* entry,
                                  DownloadStatus status,
                                  int32_t a,
                                  int32_t b);
    static int32_t ExtractReport(void* owner,
                                 std::string text,
                                 ExtractStatus status,
                                 int32_t a,
                                 int32_t b);

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnCancel() override;

    virtual void StartDownload();
    virtual void StartExtraction();

  private:
    int32_t OnFileStarted(const DownloadEntry& entry, int32_t a);
    int32_t OnProgress(const DownloadEntry& entry, int32_t a, int32_t b);
    int32_t OnFileDone(const DownloadEntry& entry, int32_t a, int32_t b);
    int32_t OnFailed(const DownloadEntry& entry);
    int32_t OnAllDone();
    int32_t KeepIfVerified(const DownloadEntry& entry);
    void OnExtractReport(const std::string& text, ExtractStatus status, int32_t a, int32_t b);
    void OnExtractDone();
    void OnStandbyRefused();
    void ShowSizes(const Static& text, std::string& shown, int64_t count, uint32_t whole);
    void ShowText(const Static& text, std::string& shown, const std::string& value);
    void ResetBars();
    void EndWith(INT_PTR result);
    bool AskToCancel();
    void ReplayDeferred();
    template <typename Worker>
    void CancelWorker(Worker* worker);

    ProgressBar overallBar_;
    ProgressBar fileBar_;
    Static phaseText_;
    Static overallLabel_;
    Static fileLabel_;
    Static overallSizes_;
    Static fileSizes_;
    std::string overallShown_;
    std::string fileShown_;
    Button cancelButton_;

    DownloadList entries_;
    std::string downloadFolder_;
    std::string extractFolder_;
    uint32_t total_ = 0;
    // Bar positions the download reports last set: a chunk that moves no bar sends nothing to
    // the window, which keeps a fast transfer from waiting on the window thread for each chunk.
    int shownOverall_ = -1;
    int shownFile_ = -1;
    std::atomic<int32_t> phase_{BetweenPhases};
    // Set once the outcome is decided: later reports of a worker still winding down are ignored.
    std::atomic<bool> finished_{false};
    bool ended_ = false;
    // The cancel question is on screen. Meanwhile the phase stays where it is: an end or the
    // start of the extraction waits for the answer, so no worker goes away under the question.
    bool asking_ = false;
    std::vector<std::pair<UINT, WPARAM>> deferred_;

    KernelHandle questionEvent_;
    KernelHandle switchEvent_;
    KernelHandle standbyEvent_;
    std::unique_ptr<DownloadLog> journal_;
    // Last, so that their threads are joined before anything they use goes away.
    std::unique_ptr<Downloader> downloader_;
    std::unique_ptr<ZipExtractor> extractor_;
};

}  // namespace netrefit
