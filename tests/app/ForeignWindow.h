#pragma once
// A visible top-level window owned by the test process, standing in for another program's
// window. It lives on its own thread, which pumps its messages, so the program under test sees a
// live window that answers whatever it is sent.

#include <windows.h>

#include <string>
#include "support/TestThreads.h"

namespace netrefit::test {

class ForeignWindow {
  public:
    // dialogClass: the system dialog class ("#32770"), as dialog-based applications use;
    // otherwise a plain window class of its own.
    ForeignWindow(const std::string& title, bool dialogClass);
    ~ForeignWindow();
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    HWND Window() const { return window_; }
    // Makes it the foreground window.
    bool BringForward();

  private:
    void Run(const std::string& title, bool dialogClass);

    HWND window_ = nullptr;
    HANDLE ready_ = nullptr;
    DWORD threadId_ = 0;
    test::Thread thread_;
};

}  // namespace netrefit::test
