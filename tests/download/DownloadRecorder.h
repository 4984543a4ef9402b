#pragma once
// Records what a Downloader reports, and lets a test act on the worker thread at a chosen report.

#include <windows.h>

#include <functional>
#include <mutex>

#include <string>
#include <vector>
#include "support/TestThreads.h"

#include "common/UniqueHandle.h"
#include "download/Downloader.h"

namespace netrefit::test {

struct Report {
    DownloadStatus status;
    int32_t a;
    int32_t b;
    bool hasEntry;
    std::string entryName;  // the entry's display name, copied during the call
};

class DownloadRecorder {
  public:
    // Runs on the worker thread during a report, after it was recorded; its result is the
    // report's result (FileDone: 0 rejects the file).
    using Hook = std::function<int32_t(const Report& report, DownloadEntry* entry)>;

    DownloadRecorder() : ended_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

    void Attach(Downloader& downloader) {
        downloader.SetOwner(this);
        downloader.SetCallback(&DownloadRecorder::Callback);
    }
    void SetHook(Hook hook) { hook_ = std::move(hook); }
    // Forgets the reports, for a second run.
    void Clear() {
        std::lock_guard<test::Mutex> lock(mutex_);
        reports_.clear();
        ::ResetEvent(ended_.get());
    }

    // Waits for the report that ends a run (AllDone, Failed, Cancelled or a rejected FileDone).
    // The limit only keeps a broken worker from hanging the test binary.
    bool WaitEnded() { return ::WaitForSingleObject(ended_.get(), 60000) == WAIT_OBJECT_0; }
    bool Ended() { return ::WaitForSingleObject(ended_.get(), 0) == WAIT_OBJECT_0; }

    std::vector<Report> Reports() {
        std::lock_guard<test::Mutex> lock(mutex_);
        return reports_;
    }
    size_t Count(DownloadStatus status) {
        std::lock_guard<test::Mutex> lock(mutex_);
        size_t n = 0;
        for (const Report& r : reports_) {
            n += r.status == status ? 1 : 0;
        }
        return n;
    }
    // Statuses only, in order, e.g. {FileStarted, Progress, Progress, FileDone, AllDone}.
    std::vector<DownloadStatus> Statuses() {
        std::vector<DownloadStatus> statuses;
        for (const Report& r : Reports()) {
            statuses.push_back(r.status);
        }
        return statuses;
    }

  private:
    static int32_t Callback(void* owner,
                            DownloadEntry* entry,
                            DownloadStatus status,
                            int32_t a,
                            int32_t b) {
        return static_cast<DownloadRecorder*>(owner)->OnReport(entry, status, a, b);
    }

    int32_t OnReport(DownloadEntry* entry, DownloadStatus status, int32_t a, int32_t b) {
        Report report{status, a, b, entry != nullptr, entry ? entry->Name() : std::string()};
        {
            std::lock_guard<test::Mutex> lock(mutex_);
            reports_.push_back(report);
        }
        int32_t result = hook_ ? hook_(report, entry) : 1;
        if (status == AllDone || status == Failed || status == Cancelled ||
            (status == FileDone && result == 0 && (a != 0 || b != 0))) {
            ::SetEvent(ended_.get());
        }
        return result;
    }

    test::Mutex mutex_;
    std::vector<Report> reports_;
    Hook hook_;
    KernelHandle ended_;
};

}  // namespace netrefit::test
