#include "inventory/AppLock.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "common/NamedObjects.h"
#include "common/WindowsVersion.h"

namespace netrefit {

namespace {

// Holds the serialising mutex for one scope. The mutex is released explicitly before its handle
// is closed: closing alone would leave it owned by this thread, and a participant waiting for it
// would hang until this thread ends.
class SerialisingMutexScope {
  public:
    SerialisingMutexScope() {
        NamedObject mutex = CreateNamedMutex(kSerialisingMutexName, true);
        handle_ = std::move(mutex.handle);
        if (!handle_) {
            return;  // go on without it rather than not at all
        }
        if (!mutex.existed) {
            owned_ = true;
            return;
        }
        // It existed, so the initial ownership was not granted: wait for it without a time limit.
        const DWORD wait = WaitForSingleObject(handle_.get(), INFINITE);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~SerialisingMutexScope() {
        if (owned_) {
            ReleaseMutex(handle_.get());
        }
    }
    SerialisingMutexScope(const SerialisingMutexScope&) = delete;
    SerialisingMutexScope& operator=(const SerialisingMutexScope&) = delete;

  private:
    KernelHandle handle_;
    bool owned_ = false;
};

// Anyone may open the lock objects: the other participants run under other accounts too.
struct OpenSecurity {
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};

    OpenSecurity() {
        // Windows 95, 98 and Me have no security: there both calls fail and the default is used.
        const bool open = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                          SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = open ? &descriptor : nullptr;
        attributes.bInheritHandle = TRUE;
    }
};

// Bytes that the view at address may be accessed through.
size_t ViewSize(const void* address) {
    MEMORY_BASIC_INFORMATION info = {};
    if (VirtualQuery(address, &info, sizeof(info)) != sizeof(info)) {
        return 0;
    }
    return info.RegionSize;
}

}  // namespace

std::string LockFullName(LockKind kind, const char* lockName, bool kernelNamespaces) {
    std::string name;
    if (kernelNamespaces) {
        name = kind == kLockLocal ? "Local\\" : "Global\\";
    }
    name += kind == kLockLocal ? "l" : "g";
    name += lockName != nullptr ? lockName : "";
    return name;
}

bool KernelNamespacesAvailable() {
    return IsNtAtLeast(RunningWindows(), 5);
}

AppLock::AppLock(const std::string& fullName) : fullName_(fullName) {}

AppLock::~AppLock() {
    Release();
}

bool AppLock::NameFits() const {
    return !fullName_.empty() && fullName_.size() <= MAX_LOCK_FULL_NAME;
}

int AppLock::Acquire(const char* ownName) {
    SerialisingMutexScope serialised;
    holderName_.clear();
    hasHolderName_ = false;
    if (Held()) {
        return 1;
    }
    if (!NameFits()) {
        return 0;
    }
    OpenSecurity security;
    NamedObject lock = CreateNamedMutex(fullName_.c_str(), true, &security.attributes);
    if (!lock.handle) {
        return 0;
    }
    if (lock.existed) {
        lock.handle.reset();
        const size_t length = ReadHolderName(nullptr, 0, false);
        if (length > 0) {
            std::string name(length, '\0');
            const size_t read = ReadHolderName(&name[0], name.size(), false);
            if (read > 0) {
                holderName_ = name.c_str();
                hasHolderName_ = true;
            }
        }
        return 0;
    }
    lockMutex_ = std::move(lock.handle);
    if (!PublishName(ownName)) {
        // Without a readable name the lock would look held by nobody nameable: give it up.
        ReleaseMutex(lockMutex_.get());
        lockMutex_.reset();
        return 0;
    }
    return 1;
}

bool AppLock::PublishName(const char* ownName) {
    const char* name = ownName != nullptr ? ownName : "";
    const size_t size = std::strlen(name) + 1;
    if (size > 0x7FFFFFFF) {
        return false;
    }
    OpenSecurity security;
    KernelHandle block(CreateFileMappingA(INVALID_HANDLE_VALUE, &security.attributes,
                                          PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                          NameBlockName().c_str()));
    if (!block) {
        return false;
    }
    MappedView view(MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) {
        return false;
    }
    // A block left open by someone else may be smaller than this name: never write past it.
    const size_t room = std::min(size, ViewSize(view.get()));
    if (room == 0) {
        return false;
    }
    char* text = static_cast<char*>(view.get());
    std::memcpy(text, name, room - 1);
    text[room - 1] = '\0';
    nameBlock_ = std::move(block);
    nameView_ = std::move(view);
    return true;
}

size_t AppLock::ReadHolderName(char* buffer, size_t size, bool takeSerialisingMutex) const {
    std::optional<SerialisingMutexScope> serialised;
    if (takeSerialisingMutex) {
        serialised.emplace();
    }
    if (!NameFits()) {
        return 0;
    }
    KernelHandle block(OpenFileMappingA(FILE_MAP_READ, FALSE, NameBlockName().c_str()));
    if (!block) {
        return 0;
    }
    MappedView view(MapViewOfFile(block.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) {
        return 0;
    }
    // The block comes from another program: a name without its NUL inside the view is refused
    // rather than read past the end.
    const char* text = static_cast<const char*>(view.get());
    const size_t limit = ViewSize(text);
    const size_t length = strnlen(text, limit);
    if (length >= limit) {
        return 0;
    }
    const size_t result = length + 1;
    if (buffer != nullptr && size > 0) {
        const size_t count = std::min(size, result) - 1;
        std::memcpy(buffer, text, count);
        buffer[count] = '\0';
    }
    return result;
}

void AppLock::Release() {
    if (!lockMutex_ && !nameBlock_) {
        return;  // nothing held, nothing to make atomic
    }
    SerialisingMutexScope serialised;
    if (lockMutex_) {
        ReleaseMutex(lockMutex_.get());
        lockMutex_.reset();
    }
    nameView_.reset();
    nameBlock_.reset();
}

}  // namespace netrefit
