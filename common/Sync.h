#pragma once
// Critical section and its guard: a lock that cannot be left held by an early return.

#include <windows.h>

namespace netrefit {

class CriticalSection {
  public:
    CriticalSection() { ::InitializeCriticalSection(&section_); }
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { ::EnterCriticalSection(&section_); }
    void Leave() { ::LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};

class CriticalSectionLock {
  public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

  private:
    CriticalSection& section_;
};

// A flag read and written only under its own critical section.
class GuardedFlag {
  public:
    bool Get() {
        CriticalSectionLock lock(section_);
        return value_;
    }
    void Set(bool value) {
        CriticalSectionLock lock(section_);
        value_ = value;
    }

  private:
    CriticalSection section_;
    bool value_ = false;
};

}  // namespace netrefit
