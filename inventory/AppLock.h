#pragma once
// One cross-application lock: a named mutex that its holder keeps, and beside it a named block of
// shared memory in which the holder publishes its name, so that others can tell who holds it.

#include <cstddef>
#include <string>

#include "common/UniqueHandle.h"

namespace netrefit {

// Longest full lock name (prefix included) that the participants can handle.
constexpr size_t MAX_LOCK_FULL_NAME = 259;
// Appended to a lock's full name to name its holder's name block.
constexpr const char* NAME_BLOCK_SUFFIX = "Name";

enum LockKind { kLockLocal, kLockGlobal };

// "Local\l<name>" / "Global\g<name>" where Windows has kernel namespaces, else "l<name>" /
// "g<name>".
std::string LockFullName(LockKind kind, const char* lockName, bool kernelNamespaces);
// True on Windows NT 5.0 and later, which know the "Local\" and "Global\" namespaces.
bool KernelNamespacesAvailable();

class AppLock {
  public:
    explicit AppLock(const std::string& fullName);
    ~AppLock();
    AppLock(const AppLock&) = delete;
    AppLock& operator=(const AppLock&) = delete;

    // Returns 1 when this process now holds the lock, with ownName published in the name block;
    // 0 when another process holds it (its published name, if readable, becomes HolderName).
    int Acquire(const char* ownName);
    // Length of the holder's published name plus one, or 0 when no name block can be read. When
    // buffer is given, copies as much of the name as fits in size bytes, always terminated.
    size_t ReadHolderName(char* buffer, size_t size, bool takeSerialisingMutex) const;
    // Gives the lock up (and its name block with it).
    void Release();

    const std::string& FullName() const { return fullName_; }
    bool Held() const { return lockMutex_.valid(); }
    bool HasHolderName() const { return hasHolderName_; }
    const std::string& HolderName() const { return holderName_; }

  private:
    std::string NameBlockName() const { return fullName_ + NAME_BLOCK_SUFFIX; }
    bool NameFits() const;
    bool PublishName(const char* ownName);

    std::string fullName_;
    std::string holderName_;
    bool hasHolderName_ = false;
    KernelHandle lockMutex_;
    KernelHandle nameBlock_;
    MappedView nameView_;
};

}  // namespace netrefit
