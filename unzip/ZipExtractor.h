#pragma once
// Extraction worker: unpacks a list of zip archives into one folder on a thread of its own,
// reporting to its owner, with pause and cancel requests from the owner's thread.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "common/WorkerThread.h"
#include "unzip/DiskSpaceGuard.h"
#include "unzip/ExtractStatus.h"
#include "unzip/PromptSlot.h"
#include "unzip/ZipReader.h"

namespace netrefit {

// Asks the user for a password and returns the text typed. Runs on the worker thread. A prompt
// that shows a window enters it in the slot while it is open, so that Cancel and the destructor
// can end it.
using PasswordPrompt = std::function<std::string(PromptSlot& slot)>;

// Where the worker gets each archive's file: opened (and checked) by the owner, who keeps it open
// so that nobody can change it meanwhile. acquire gives null for a file that may not be used;
// release comes once the archive's extraction has ended, however it ended. Both run on the
// worker thread.
struct ArchiveFiles {
    std::function<HANDLE(size_t index)> acquire;
    std::function<void(size_t index)> release;
};

class ZipExtractor {
  public:
    static constexpr DWORD kCancelWaitMs = 10000;
    static constexpr size_t kPasswordCapacity = 127;

    ZipExtractor();
    // Asks a running worker to end, ending an open password prompt, and waits until it has.
    ~ZipExtractor();
    ZipExtractor(const ZipExtractor&) = delete;
    ZipExtractor& operator=(const ZipExtractor&) = delete;

    void SetOwner(void* owner) { owner_ = owner; }
    void SetFolder(const std::string& folder) { folder_ = folder; }
    void SetCallback(ExtractCallback callback) { callback_ = callback; }
    // The password dialog plugs in here; without one, the process-wide default is used.
    void SetPasswordPrompt(PasswordPrompt prompt) { prompt_ = std::move(prompt); }
    static void SetDefaultPasswordPrompt(PasswordPrompt prompt);
    // Without it, the worker opens each archive by its path itself, shared for reading only.
    void SetArchiveFiles(ArchiveFiles files) { files_ = std::move(files); }

    void Start(const std::vector<std::string>& archivePaths,
               const std::vector<std::string>& displayNames);
    void Pause(bool pause);
    // Ends an open password prompt; returns once the worker has ended, or after the cancel wait
    // at the latest.
    void Cancel();
    // Empty, without asking, once a cancel has been requested.
    std::string AskPassword();

    // The bound of Cancel's wait; only tests shorten it.
    void SetCancelWait(DWORD milliseconds) { cancelWaitMs_ = milliseconds; }
    // The free space of the destination's drive; only tests replace the drive's own figure.
    void SetFreeSpaceQuery(FreeSpaceQuery query) { space_.SetQuery(std::move(query)); }
    bool WorkerRunning() const { return worker_.Running(); }

  private:
    enum class Outcome { Done, Failed, Cancelled };

    // The thread's exit code: 0 when every archive was extracted, 1 when failed or cancelled.
    unsigned WorkerMain();
    Outcome ExtractArchive(size_t index);
    Outcome ExtractOpenArchive(HANDLE file);
    Outcome ExtractMember(ZipEntryHeader& header);
    bool UnlockMember(ZipEntryHeader& header);
    bool PauseGate();
    bool CancelRequested();
    void Report(ExtractStatus status,
                const std::string& text,
                int32_t overallPerMille,
                int32_t filePerMille);
    int32_t OverallPerMille() const;
    int32_t ArchivePerMille() const;

    void* owner_ = nullptr;
    std::string folder_;
    std::vector<std::string> archivePaths_;
    std::vector<std::string> displayNames_;
    ExtractCallback callback_ = nullptr;
    PasswordPrompt prompt_;
    ArchiveFiles files_;
    bool started_ = false;
    bool pauseRequest_ = false;   // guarded by lock_
    bool cancelRequest_ = false;  // guarded by lock_
    CriticalSection lock_;
    PromptSlot promptSlot_;
    KernelHandle doneEvent_;
    uint64_t totalSize_ = 0;
    DWORD cancelWaitMs_ = kCancelWaitMs;
    std::string passwordText_;

    // Worker-only state.
    ZipReader reader_;
    DiskSpaceGuard space_;
    std::string archivePassword_;
    std::string cancelText_;
    uint64_t overallBytes_ = 0;
    uint64_t archiveBytes_ = 0;
    uint64_t archiveSize_ = 0;

    // Last, so that it is joined before anything the worker uses goes away.
    WorkerThread worker_;
};

}  // namespace netrefit
