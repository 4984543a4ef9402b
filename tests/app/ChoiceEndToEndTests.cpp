// The user's choices before anything is downloaded: the up-to-date dialog's two buttons and the
// module list's Cancel with its confirmation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace netrefit::test;

namespace {

const int kUpToDateText = 1023;
const int kModuleCancel = 1013;

}  // namespace

class UpToDate : public EndToEnd {
  protected:
    HWND StartAndWaitUpToDate() {
        InstallSuite(SuiteAtSiteVersions());
        Start();
        return WaitForTopLevel(process_.Id(), "Melorra Installer", kUpToDateText, kWindowWait);
    }
};

TEST_F(UpToDate, OkEndsTheProgramWithoutTheMainWindow) {
    HWND dialog = StartAndWaitUpToDate();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(
        "It is not necessary to upgrade.\nThe latest version of Melorra is already "
        "installed.\n",
        ItemText(dialog, kUpToDateText));
    PressButton(dialog, IDOK);
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    EXPECT_FALSE(FileExists(ExtractFolder()));
}

TEST_F(UpToDate, ReinstallShowsTheComponentsOfTheSameVersion) {
    HWND dialog = StartAndWaitUpToDate();
    ASSERT_NE(nullptr, dialog);
    PressButton(dialog, IDCANCEL);
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ((std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5",
                                        "Melorra 2.1", "Melorra Extension ", "Setup Starter "}),
              ListViewColumn(::GetDlgItem(list, 1006), 0));
    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1}), ListViewImages(::GetDlgItem(list, 1006)));
    EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    PressButton(list, kModuleCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
}

TEST_F(EndToEnd, CancelAtTheModuleListAsksFirst) {
    Start();
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(FileExists(ExtractFolder()));

    PressButton(list, kModuleCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDNO));
    // No keeps everything as it was.
    EXPECT_EQ(STILL_ACTIVE, process_.Wait(0));
    EXPECT_TRUE(::IsWindow(list) && ::IsWindowVisible(list));
    EXPECT_TRUE(FileExists(ExtractFolder()));

    PressButton(list, kModuleCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(FileExists(ExtractFolder()));
    EXPECT_TRUE(FileExists(WorkFolder())) << "the work folder is kept for a later run";
}
