#pragma once
// Fetches one file as the client does: its download worker, its request, its checks.

#include <cstdint>
#include <functional>
#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

struct FetchResult {
    bool fetched = false;
    std::string localPath;  // where the file now is
    std::string problem;    // why not, for people
};

// Bytes received so far of the entry's declared size.
using FetchProgress = std::function<void(uint32_t received)>;

// Downloads entry into folder (with a trailing backslash) with the client's download worker.
FetchResult FetchEntry(DownloadEntry entry, const std::string& folder, FetchProgress progress);

// The status code the server answers the client's request for entry with; 0 when it answers
// none (no connection, no server).
int ProbeStatus(const DownloadEntry& entry);

}  // namespace netrefit
