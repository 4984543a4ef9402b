#include "download/VerifiedJournal.h"

namespace netrefit {

bool VerifiedJournal::Start(const std::string& folder, const DownloadList& entries) {
    log_.SetPath(folder + "Netrefit.log");
    log_.Create();
    bool somethingToFetch = false;
    for (const DownloadEntry& entry : entries) {
        somethingToFetch = somethingToFetch || entry.AlreadyDownloaded() == 0;
    }
    // With downloads to run, the worker checks an earlier run's files again before they are
    // listed (Keep); with none, they were checked just before this window opened.
    if (!somethingToFetch) {
        for (const DownloadEntry& entry : entries) {
            log_.Append(entry);
        }
    }
    return somethingToFetch;
}

bool VerifiedJournal::Keep(const DownloadEntry& entry) {
    if (!held_.Verify(entry)) {
        return false;
    }
    if (!log_.Contains(entry)) {
        log_.Append(entry);
    }
    return true;
}

}  // namespace netrefit
