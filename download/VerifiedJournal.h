#pragma once
// The progress window's part in the download journal: the journal is made anew when the window
// opens, with the files an earlier run verified, and a new download joins it once its digest
// matches. Only verified files are ever listed, so a later run can trust every name in it.

#include <string>

#include "download/DownloadLog.h"
#include "download/HeldModules.h"
#include "download/RemoteFile.h"

namespace netrefit {

class VerifiedJournal {
  public:
    // The journal "Netrefit.log" in folder, emptied; when every entry is marked as downloaded
    // (and so was just checked), those entries in list order. True when some entry is still to
    // be fetched: the marked ones then join as the worker's checks pass.
    bool Start(const std::string& folder, const DownloadList& entries);
    // Whether the entry's file matches its digest; a match is added unless it is listed, and
    // stays held open until its extraction has ended.
    bool Keep(const DownloadEntry& entry);
    HeldModules& Held() { return held_; }

  private:
    DownloadLog log_;
    HeldModules held_;
};

}  // namespace netrefit
