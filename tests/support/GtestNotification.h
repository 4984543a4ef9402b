#pragma once
// GoogleTest's Notification, on a Win32 event. GoogleTest builds its own with std::mutex and
// std::condition_variable, which the win32 thread model's C++ library does not have; with
// GTEST_HAS_NOTIFICATION_ set it takes this one instead. Included ahead of every GoogleTest
// source and test (see tests/NetrefitTests.cmake).

#include <windows.h>

namespace testing::internal {

class Notification {
  public:
    Notification() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_ != nullptr) {
            ::CloseHandle(event_);
        }
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { ::SetEvent(event_); }
    void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

  private:
    HANDLE event_;
};

}  // namespace testing::internal
