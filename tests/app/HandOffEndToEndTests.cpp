// The end of the download phase and the single running copy: an archive set without the
// installer, and a second start while the first copy is downloading.
#include <gtest/gtest.h>

#include <string>

#include "EndToEnd.h"
#include "ForeignWindow.h"

using namespace netrefit::test;

TEST_F(EndToEnd, ArchivesWithoutTheInstallerAreRefused) {
    std::string text = SiteServerText();
    std::string launcher = "[LauncherMl]\r\nVersion=2.1.0.0\r\npath=" + Settings().server +
                           "modules/SetupStarter.zip\r\nSize=" + ModuleSize("SetupStarter.zip") +
                           "\r\nMD5=" + ModuleDigest("SetupStarter.zip") + "\r\n";
    std::string noSetup = "[LauncherMl]\r\nVersion=2.1.0.0\r\npath=" + Settings().server +
                          "modules/NoSetup.zip\r\nSize=" + ModuleSize("NoSetup.zip") +
                          "\r\nMD5=" + ModuleDigest("NoSetup.zip") + "\r\n";
    ServeCase("nosetup", Replace(text, launcher, noSetup));
    Start();
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    EXPECT_EQ(
        "Installer execution failed. \nThe downloaded files may be damaged. \nPlease try "
        "again.",
        Answer(IDOK, 60000));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(FileExists(WorkFolder())) << "damaged downloads must not be resumed";
    EXPECT_FALSE(FileExists(StandinLog()));
}

TEST_F(EndToEnd, SecondStartBringsTheProgressWindowForward) {
    std::string slow = SiteServerText();
    for (const char* file : {"SecureModule.zip", "CommonLib.zip", "Melorra.zip"}) {
        slow = SlowDown(slow, file);
    }
    ServeCase("second", slow);
    Start();
    ASSERT_TRUE(AcceptModuleList());
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);

    // Something else holds the foreground when the second copy starts.
    ForeignWindow other("Another program", false);
    ASSERT_TRUE(WaitUntil([&] {
        other.BringForward();
        return ::GetForegroundWindow() == other.Window();
    }));
    ChildProcess second;
    std::string folder = program_.Path();
    folder.pop_back();
    ASSERT_TRUE(second.Start(program_.File("Netrefit.exe"), "", folder));
    EXPECT_NE(STILL_ACTIVE, second.Wait(kWindowWait)) << "the second copy stayed";
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == progress; }, 10000));
    EXPECT_TRUE(TopLevelWindows(second.Id()).empty());

    // The first copy is still downloading, undisturbed.
    ASSERT_EQ(STILL_ACTIVE, process_.Wait(0));
    EXPECT_TRUE(JournalNames().size() < 3u);
    PressButton(progress, 1011);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
}
