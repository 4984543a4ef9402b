#pragma once
// What the download worker tells its owner, and the function it tells it through.

#include <cstdint>

namespace netrefit {

class DownloadEntry;

enum DownloadStatus : int32_t {
    FileStarted = 1,  // (overall count, 0): the server answered 200, the local file exists
    FileDone = 2,     // (overall count, size) after a fetch; (0, 0) for an entry passed over
    Failed = 3,       // (overall count, file count): the run has ended
    Progress = 4,     // (overall count, file count); last of an entry: (overall count, size)
    AllDone = 5,      // (0, 0) with the last entry of the list
    Cancelled = 6,    // (overall count, file count): the run has ended
};

// A report function's answer. It matters for FileDone only: a rejected file is deleted and the
// run ends.
constexpr int32_t kReportReject = 0;
constexpr int32_t kReportAccept = 1;

// Called synchronously on the worker thread. The entry belongs to the worker's own list and is
// valid for the call only. The two counts are what the status's comment above names.
using DownloadCallback = int32_t (*)(void* owner,
                                     DownloadEntry* entry,
                                     DownloadStatus status,
                                     int32_t overallCount,
                                     int32_t fileCount);

}  // namespace netrefit
