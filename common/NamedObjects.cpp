#include "common/NamedObjects.h"

namespace netrefit {

namespace {

// Called straight on the creating call's result, before anything can overwrite its error; the
// error is cleared before each creation, so an older one is never taken for this call's.
NamedObject Taken(HANDLE handle) {
    NamedObject object;
    object.existed = handle != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
    object.handle.reset(handle);
    return object;
}

}  // namespace

NamedObject CreateNamedEvent(const char* name, EventReset reset, bool signalled) {
    ::SetLastError(ERROR_SUCCESS);
    return Taken(::CreateEventA(nullptr, reset == EventReset::Manual, signalled, name));
}

NamedObject CreateNamedMutex(const char* name, bool initialOwner, SECURITY_ATTRIBUTES* security) {
    ::SetLastError(ERROR_SUCCESS);
    return Taken(::CreateMutexA(security, initialOwner, name));
}

}  // namespace netrefit
