#pragma once
// The application object: one copy at a time, the main window run modally, the lock released
// at exit.

#include <windows.h>

#include <string>

#include "common/CommandLine.h"
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

    // The switches the program was started with (WinMain's command line, without its name).
    void SetCommandLine(const std::string& text) { commandLine_ = text; }

    // InitInstance, then ExitInstance; returns the exit code: 0 when started without switches,
    // with switches the run's own code.
    int Run();

    // Always false: the main dialog's modal loop is the program's only message loop.
    virtual bool InitInstance();
    virtual int ExitInstance();

  protected:
    // Runs the main window to its end (overridable so the start-up can be tested on its own).
    virtual void RunMainWindow();

    const RunOptions& Options() const { return options_; }

  private:
    // The switches read and the log opened; an exit code when the run ends here, else -1.
    int StartRun();
    void OpenLog();

    std::string commandLine_;
    RunOptions options_;
    KernelHandle instanceMutex_;
};

}  // namespace netrefit
