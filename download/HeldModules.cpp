#include "download/HeldModules.h"

#include <utility>

#include "download/ModuleDigest.h"

namespace netrefit {

bool HeldModules::Verify(const DownloadEntry& entry) {
    return Acquire(entry) != nullptr;
}

HANDLE HeldModules::Acquire(const DownloadEntry& entry) {
    const std::string& path = entry.LocalPath();
    {
        CriticalSectionLock lock(lock_);
        auto held = files_.find(path);
        if (held != files_.end()) {
            return held->second.get();
        }
    }
    // Digested outside the lock: the other holder's threads need not wait for it.
    FileHandle file = OpenModuleFile(path);
    if (!file || !VerifyModuleHandle(file.get(), entry)) {
        return nullptr;
    }
    CriticalSectionLock lock(lock_);
    FileHandle& slot = files_[path];
    slot = std::move(file);
    return slot.get();
}

void HeldModules::Release(const std::string& path) {
    CriticalSectionLock lock(lock_);
    files_.erase(path);
}

void HeldModules::ReleaseAll() {
    CriticalSectionLock lock(lock_);
    files_.clear();
}

bool HeldModules::Holds(const std::string& path) {
    CriticalSectionLock lock(lock_);
    return files_.count(path) != 0;
}

}  // namespace netrefit
