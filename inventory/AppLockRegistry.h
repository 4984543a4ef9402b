#pragma once
// The process's registered cross-application lock names and the locks it probed, in two kinds
// (local to the session and global), each with the names of other holders it found.

#include <memory>
#include <string>
#include <vector>

#include "inventory/AppLock.h"

namespace netrefit {

class AppLockRegistry {
  public:
    // Names the locks as the running Windows expects them.
    AppLockRegistry();
    // kernelNamespaces false gives the one-letter prefixes of Windows before NT 5.0.
    explicit AppLockRegistry(bool kernelNamespaces);
    AppLockRegistry(const AppLockRegistry&) = delete;
    AppLockRegistry& operator=(const AppLockRegistry&) = delete;

    virtual void AddLockName(const char* name);
    // Null when index is out of range.
    virtual const char* LockName(size_t index) const;
    virtual void ClearLockNames();
    // Tries to take every registered lock in the local kind with ownName as the published name;
    // returns how many distinct other holders were found. Locks taken stay held until released.
    virtual int ProbeLocalLocks(const char* ownName);
    virtual void ReleaseLocalLocks();
    virtual const char* LocalHolderName(size_t index) const;
    virtual int ProbeGlobalLocks(const char* ownName);
    virtual void ReleaseGlobalLocks();
    virtual const char* GlobalHolderName(size_t index) const;
    // Releases the local locks, then the global ones, then forgets the lock names.
    virtual ~AppLockRegistry();

    bool HasLockName(const char* name) const;
    // The locks of one kind, in probing order (for inspection).
    size_t LockCount(LockKind kind) const;
    const AppLock* Lock(LockKind kind, size_t index) const;

  private:
    struct KindState {
        std::vector<std::unique_ptr<AppLock>> locks;
        std::vector<std::string> holders;
    };

    KindState& State(LockKind kind) { return kind == kLockLocal ? local_ : global_; }
    const KindState& State(LockKind kind) const { return kind == kLockLocal ? local_ : global_; }
    int Probe(LockKind kind, const char* ownName);
    void ReleaseKind(LockKind kind);
    const char* HolderName(LockKind kind, size_t index) const;

    bool kernelNamespaces_;
    std::vector<std::string> lockNames_;
    KindState local_;
    KindState global_;
};

// The one registry of this process; its locks are released when the process ends.
AppLockRegistry& GetAppLockRegistry();

}  // namespace netrefit
