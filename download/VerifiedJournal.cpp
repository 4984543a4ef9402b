#include "download/VerifiedJournal.h"

#include "download/ModuleDigest.h"

namespace netrefit {

bool VerifiedJournal::Start(const std::string& folder, const DownloadList& entries) {
    log_.SetPath(folder + "Netrefit.log");
    log_.Create();
    bool somethingToFetch = false;
    for (const DownloadEntry& entry : entries) {
        if (entry.AlreadyDownloaded() != 0) {
            log_.Append(entry);
        } else {
            somethingToFetch = true;
        }
    }
    return somethingToFetch;
}

bool VerifiedJournal::Keep(const DownloadEntry& entry) const {
    if (!VerifyModuleFile(entry)) {
        return false;
    }
    if (!log_.Contains(entry)) {
        log_.Append(entry);
    }
    return true;
}

}  // namespace netrefit
