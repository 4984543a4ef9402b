#pragma once
// The application object: one copy at a time, the main window run modally, the lock released
// at exit.

#include <windows.h>

#include "common/UniqueHandle.h"

namespace netrefit {

// The message through which the suite's installer reports back; registered before start-up.
extern const UINT InstallerNotice;

class UpgradeApp {
  public:
    UpgradeApp() = default;
    virtual ~UpgradeApp() = default;
    UpgradeApp(const UpgradeApp&) = delete;
    UpgradeApp& operator=(const UpgradeApp&) = delete;

    // InitInstance, then ExitInstance; returns the exit code.
    int Run();

    // Always false: the main dialog's modal loop is the program's only message loop.
    virtual bool InitInstance();
    virtual int ExitInstance();

  protected:
    // Runs the main window to its end (overridable so the start-up can be tested on its own).
    virtual void RunMainWindow();

  private:
    KernelHandle instanceMutex_;
};

}  // namespace netrefit
