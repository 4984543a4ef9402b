#pragma once
// Modules held open from the check of their digests until their extraction has ended: nobody can
// change, rename or delete a held file, so the bytes unpacked are the bytes that were checked.

#include <windows.h>

#include <map>
#include <string>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "download/RemoteFile.h"

namespace netrefit {

class HeldModules {
  public:
    HeldModules() = default;
    HeldModules(const HeldModules&) = delete;
    HeldModules& operator=(const HeldModules&) = delete;

    // Opens the entry's file, digests it and keeps it open when it matches. A file held already
    // was checked and cannot have changed: true at once. False (and nothing held) otherwise.
    bool Verify(const DownloadEntry& entry);
    // The held file of the entry, verified first when it is not held yet; null when it does not
    // match. The handle stays the holder's: the caller reads through it until Release.
    HANDLE Acquire(const DownloadEntry& entry);
    void Release(const std::string& path);
    void ReleaseAll();
    bool Holds(const std::string& path);

  private:
    CriticalSection lock_;
    std::map<std::string, FileHandle> files_;  // by local path, guarded by lock_
};

}  // namespace netrefit
