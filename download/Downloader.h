#pragma once
// Fetches an ordered list of DownloadEntry values into a folder on a worker thread of its own,
// reporting every step to its owner and obeying the owner's pause and cancel requests.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/UniqueHandle.h"
#include "common/WorkerThread.h"
#include "download/DownloadStatus.h"
#include "download/EntryTransfer.h"
#include "download/RemoteFile.h"
#include "download/TransferControl.h"

namespace netrefit {

class Downloader : private TransferHost {
  public:
    // The longest Cancel takes, whatever the server or the owner's report handler does.
    static constexpr DWORD kCancelWaitMs = 10000;
    // How long it waits for a worker to end by itself once its network call has been closed.
    static constexpr DWORD kUnblockWaitMs = 2000;
    // What is kept of kCancelWaitMs for a worker's end by force.
    static constexpr DWORD kForcedEndWaitMs = 1000;

    Downloader();
    // A run still going is cancelled first. Returns once the worker has ended, or, left waiting
    // in the network by Cancel, can touch nothing of ours any more.
    virtual ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Back to the constructed state; refused (false) once a worker has been started.
    bool Reset();
    void SetOwner(void* owner) { owner_ = owner; }
    void SetFolder(const std::string& folder) { folder_ = folder; }
    void SetCallback(DownloadCallback callback) { callback_ = callback; }
    // Replaces the question for the download drive's free space (for tests of a full drive).
    void SetFreeSpaceQuery(FreeSpaceQuery query) { spaceQuery_ = std::move(query); }
    // Replaces the silence after which a connection counts as dropped (for tests of a stall).
    void SetStallLimit(DWORD ms) { stallLimitMs_ = ms; }

    // Copies the list and starts the worker. One run per Downloader: false when a worker was
    // already started or cannot be created.
    bool Start(const DownloadList& list);
    void Pause(bool pause);
    // Asks the worker to stop and returns within kCancelWaitMs once the run has ended. A run
    // that already ended returns at once. A send or read waiting in the network is unblocked by
    // closing its handles; where that does not make it return, the run is ended here (reported
    // Cancelled, its file closed and removed, the done event signalled) and the worker ends by
    // itself when the call returns, touching nothing of ours. Only a worker held elsewhere (in
    // a report handler) is ended by force, as a last resort. Called from a report handler (on
    // the worker itself) it only makes the request, which the worker then honours.
    void Cancel();

    // Waits up to timeoutMs for the worker to end on its own; true when it has, never ran, or
    // was left by Cancel to end by itself.
    bool Join(DWORD timeoutMs) { return thread_.Join(timeoutMs); }

    // The event signalled at the end of a run that reached AllDone or Cancelled.
    HANDLE DoneEvent() const { return doneEvent_.get(); }

  private:
    // The worker's body; its exit code is the status of the run's final report.
    unsigned Run();
    bool TakeOverBlockedRun();
    void EndWorkerByForce();
    int32_t Report(DownloadEntry* entry,
                   DownloadStatus status,
                   int32_t overallCount,
                   int32_t fileCount) override;
    std::shared_ptr<TransferControl> Control() override { return control_; }
    void SignalDone() override;
    FreeSpaceQuery SpaceQuery() const override { return spaceQuery_; }
    DWORD StallLimitMs() const override { return stallLimitMs_; }
    void DeleteCurrentCopy();

    void* owner_ = nullptr;
    std::string folder_;
    DownloadList entries_;
    DownloadCallback callback_ = nullptr;
    FreeSpaceQuery spaceQuery_;
    DWORD stallLimitMs_ = kDefaultStallLimitMs;
    KernelHandle doneEvent_;
    std::shared_ptr<TransferControl> control_ = std::make_shared<TransferControl>();
    WorkerThread thread_;
    bool started_ = false;
    std::atomic<DWORD> workerId_{0};
    // Entry being fetched, so that a run ended in the worker's place leaves no copy behind.
    // Written by the worker; read once it has ended, or under the control's lock while it
    // waits in the network.
    DownloadEntry* current_ = nullptr;
};

}  // namespace netrefit
