#include "inventory/AppLockRegistry.h"

#include <windows.h>

#include <algorithm>

namespace netrefit {

AppLockRegistry::AppLockRegistry() : AppLockRegistry(KernelNamespacesAvailable()) {}

AppLockRegistry::AppLockRegistry(bool kernelNamespaces) : kernelNamespaces_(kernelNamespaces) {}

AppLockRegistry::~AppLockRegistry() {
    ReleaseLocalLocks();
    ReleaseGlobalLocks();
    ClearLockNames();
}

void AppLockRegistry::AddLockName(const char* name) {
    lockNames_.emplace_back(name != nullptr ? name : "");
}

const char* AppLockRegistry::LockName(size_t index) const {
    return index < lockNames_.size() ? lockNames_[index].c_str() : nullptr;
}

void AppLockRegistry::ClearLockNames() {
    lockNames_.clear();
}

int AppLockRegistry::ProbeLocalLocks(const char* ownName) {
    return Probe(kLockLocal, ownName);
}

void AppLockRegistry::ReleaseLocalLocks() {
    ReleaseKind(kLockLocal);
}

const char* AppLockRegistry::LocalHolderName(size_t index) const {
    return HolderName(kLockLocal, index);
}

int AppLockRegistry::ProbeGlobalLocks(const char* ownName) {
    return Probe(kLockGlobal, ownName);
}

void AppLockRegistry::ReleaseGlobalLocks() {
    ReleaseKind(kLockGlobal);
}

const char* AppLockRegistry::GlobalHolderName(size_t index) const {
    return HolderName(kLockGlobal, index);
}

bool AppLockRegistry::HasLockName(const char* name) const {
    const std::string wanted(name != nullptr ? name : "");
    return std::find(lockNames_.begin(), lockNames_.end(), wanted) != lockNames_.end();
}

size_t AppLockRegistry::LockCount(LockKind kind) const {
    return State(kind).locks.size();
}

const AppLock* AppLockRegistry::Lock(LockKind kind, size_t index) const {
    const KindState& state = State(kind);
    return index < state.locks.size() ? state.locks[index].get() : nullptr;
}

int AppLockRegistry::Probe(LockKind kind, const char* ownName) {
    KindState& state = State(kind);
    // A repeated probe reports the holders of now, not of an earlier probe; locks that earlier
    // probes could not take hold nothing and are tried afresh.
    state.holders.clear();
    state.locks.erase(
        std::remove_if(state.locks.begin(), state.locks.end(),
                       [](const std::unique_ptr<AppLock>& lock) { return !lock->Held(); }),
        state.locks.end());
    for (const std::string& lockName : lockNames_) {
        const std::string fullName = LockFullName(kind, lockName.c_str(), kernelNamespaces_);
        // A lock this process holds already must not name this process as its other holder.
        const bool heldHere = std::any_of(state.locks.begin(), state.locks.end(),
                                          [&](const std::unique_ptr<AppLock>& lock) {
                                              return lock->Held() && lock->FullName() == fullName;
                                          });
        if (heldHere) {
            continue;
        }
        auto lock = std::make_unique<AppLock>(fullName);
        if (lock->Acquire(ownName) == 0) {
            const std::string& holder = lock->HolderName();
            const bool listed = std::any_of(state.holders.begin(), state.holders.end(),
                                            [&](const std::string& name) {
                                                return lstrcmpA(name.c_str(), holder.c_str()) == 0;
                                            });
            if (!listed) {
                state.holders.push_back(holder);
            }
        }
        state.locks.push_back(std::move(lock));
    }
    return static_cast<int>(state.holders.size());
}

void AppLockRegistry::ReleaseKind(LockKind kind) {
    KindState& state = State(kind);
    state.holders.clear();
    state.locks.clear();  // each AppLock releases its lock as it goes
}

const char* AppLockRegistry::HolderName(LockKind kind, size_t index) const {
    const KindState& state = State(kind);
    return index < state.holders.size() ? state.holders[index].c_str() : nullptr;
}

AppLockRegistry& GetAppLockRegistry() {
    static AppLockRegistry registry;
    return registry;
}

}  // namespace netrefit
