#pragma once
// The transfer of one DownloadEntry: one HTTP or HTTPS GET over WinINet into a local file, with
// the reports, the pause gate and the cancel test of the download worker.

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/UniqueHandle.h"
#include "download/DownloadStatus.h"
#include "download/InternetHandle.h"
#include "download/RedirectChain.h"
#include "download/RemoteFile.h"
#include "unzip/DiskSpaceGuard.h"

namespace netrefit {

class TransferControl;

// Abandoned: the owner ended the run while the transfer waited in the network; nothing of the
// owner's (the entry, the folder, the host) may be touched any more.
enum class TransferOutcome { Completed, Failed, Cancelled, Refused, Abandoned };

// The side of the download worker that a transfer talks to.
class TransferHost {
  public:
    virtual ~TransferHost() = default;
    virtual int32_t Report(DownloadEntry* entry,
                           DownloadStatus status,
                           int32_t overallCount,
                           int32_t fileCount) = 0;
    // Shared: a transfer the owner abandoned still looks at it once its call returns.
    virtual std::shared_ptr<TransferControl> Control() = 0;
    // Signals the end of a cancelled run.
    virtual void SignalDone() = 0;
    // How the free space of the download folder's drive is asked; empty for the drive itself.
    virtual FreeSpaceQuery SpaceQuery() const { return FreeSpaceQuery(); }
    // How long a connect, an answer or the body may stay silent before the connection counts
    // as dropped.
    virtual DWORD StallLimitMs() const { return kDefaultStallLimitMs; }

    static constexpr DWORD kDefaultStallLimitMs = 30000;
};

class EntryTransfer {
  public:
    static constexpr DWORD kChunkSize = 16384;
    // A resumable entry's further attempts on one URL after a transient failure, and the wait
    // before the first of them (doubled for each next one).
    static constexpr int kMaxRetries = 3;
    static constexpr DWORD kFirstRetryWaitMs = 2000;

    // folder ends with a path separator; overall is the run's byte count, carried on.
    EntryTransfer(DownloadEntry& entry,
                  const std::string& folder,
                  TransferHost& host,
                  uint32_t& overall);
    EntryTransfer(const EntryTransfer&) = delete;
    EntryTransfer& operator=(const EntryTransfer&) = delete;

    TransferOutcome Run();

  private:
    // How one request for a resumable entry ended.
    enum class Attempt { Whole, Restart, Transient, Hopeless, LocalFault, Cancelled };
    // How the URLs of a resumable entry ended, one of them.
    enum class UrlEnd { Verified, NextUrl, LocalFault, Cancelled };
    enum class BodyEnd { Whole, Dropped, TooLong, LocalFault, Cancelled };

    TransferOutcome RunWhole();
    TransferOutcome RunResumable();
    UrlEnd FetchFrom(const RemoteFile& target);
    Attempt AttemptOnce(const RemoteFile& target);
    Attempt WeighAnswer(const RemoteFile& target, bool ranged);
    Attempt WeighRange();
    Attempt WeighBody(BodyEnd end);
    Attempt SendFailure() const;
    void AdoptPartial();
    bool OpenPartialFile();
    void StartOver();
    bool PartialVerifies();
    bool MovePartialIntoPlace();
    void ReportStart();
    TransferOutcome Complete();

    bool OpenRequest(const RemoteFile& first);
    void LogAnswer(const RemoteFile& first, const RemoteFile& last, RedirectStep step);
    bool SendRequest(const RemoteFile& target);
    bool NetworkCallStands();
    bool StatusIsOk();
    bool ReadDeclaredLength();
    bool CreateLocalFile();
    BodyEnd ReceiveBody();
    bool ReadChunk(DWORD* got);
    bool WriteChunk(DWORD size);
    bool PassPauseGate();
    bool BodyComplete();
    void CloseAll();
    void DeleteLocalCopy();
    TransferOutcome Fail();
    TransferOutcome CancelRun();

    DownloadEntry& entry_;
    const std::string& folder_;
    TransferHost& host_;
    std::shared_ptr<TransferControl> control_;
    uint32_t& overall_;
    uint64_t fileCount_ = 0;
    uint64_t bodyStart_ = 0;
    uint64_t declaredLength_ = 0;
    bool lengthDeclared_ = false;
    bool abandoned_ = false;
    // Resumable entries: the answer the partial file's bytes came from, whether bytes of two
    // answers were joined, and whether a joined file that failed its digests was fetched again.
    std::string validator_;
    std::string partialUrl_;
    bool spliced_ = false;
    bool refetched_ = false;
    bool started_ = false;
    bool hopelessSend_ = false;
    DWORD sendError_ = 0;
    std::string requestHeaders_;
    InternetHandle root_;
    InternetHandle connection_;
    InternetHandle request_;
    FileHandle file_;
    DiskSpaceGuard space_;
    char buffer_[kChunkSize] = {};
};

}  // namespace netrefit
