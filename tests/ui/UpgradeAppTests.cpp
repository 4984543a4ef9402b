// The application object in this process: the presence mutex and the run of the main window.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/UpgradeApp.h"

namespace netrefit {
namespace {

// The real start-up with the main window replaced by a probe of what holds while it runs.
class ProbeApp : public UpgradeApp {
  public:
    int windowRuns = 0;
    bool mutexPresentWhileRunning = false;
    bool nestedCopyRefused = false;
    bool startNested = false;

  protected:
    void RunMainWindow() override {
        ++windowRuns;
        HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, "Melorra Installer");
        mutexPresentWhileRunning = mutex != nullptr;
        if (mutex) {
            ::CloseHandle(mutex);
        }
        if (startNested) {
            ProbeApp second;
            bool result = second.InitInstance();
            second.ExitInstance();
            nestedCopyRefused = !result && second.windowRuns == 0;
        }
    }
};

TEST(UpgradeApp, RunsTheMainWindowOnceAndAlwaysAnswersFalse) {
    ProbeApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.windowRuns, 1);
    EXPECT_TRUE(app.mutexPresentWhileRunning);
    app.ExitInstance();
    // Released at exit: nothing of the name is left.
    EXPECT_EQ(::OpenMutexA(SYNCHRONIZE, FALSE, "Melorra Installer"), nullptr);
}

TEST(UpgradeApp, SecondCopyWhileTheFirstRunsDoesNotShowItsWindow) {
    ProbeApp app;
    app.startNested = true;
    app.Run();
    EXPECT_EQ(app.windowRuns, 1);
    EXPECT_TRUE(app.nestedCopyRefused);
}

TEST(UpgradeApp, StartingAgainAfterExitRunsAgain) {
    for (int i = 0; i < 2; ++i) {
        ProbeApp app;
        app.Run();
        EXPECT_EQ(app.windowRuns, 1) << "run " << i + 1;
    }
}

TEST(UpgradeApp, InstallerNoticeIsRegisteredBeforeStartUp) {
    EXPECT_GE(InstallerNotice, 0xC000u);
    EXPECT_EQ(InstallerNotice, ::RegisterWindowMessageA("TAVRIN_UPDATE_AGENT"));
}

}  // namespace
}  // namespace netrefit
