#pragma once
// Security descriptors written as SDDL text. The conversion functions come with Windows 2000:
// they are looked up at run time, so that the program still loads on Windows 98 and NT 4.0,
// where a descriptor is then simply not available.

#include <windows.h>

#include <string>

namespace netrefit {

class SddlDescriptor {
  public:
    explicit SddlDescriptor(const std::string& sddl);
    ~SddlDescriptor();
    SddlDescriptor(const SddlDescriptor&) = delete;
    SddlDescriptor& operator=(const SddlDescriptor&) = delete;

    // Null when the text is not valid or the system cannot convert it.
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// The SID of the process's user as SDDL text ("S-1-5-21-..."); empty where it cannot be told.
std::string CurrentUserSidText();

// Looked up in advapi32.dll; null where the running system lacks it.
FARPROC AdvapiFunction(const char* name);

}  // namespace netrefit
