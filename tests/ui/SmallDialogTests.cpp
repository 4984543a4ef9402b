// The up-to-date question and the password prompt, driven through their real windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "DriverThread.h"
#include "download/UpToDateDialog.h"
#include "resources/ResourceIds.h"
#include "support/WindowDriver.h"
#include "ui/ResourceModule.h"
#include "unzip/PasswordDialog.h"

namespace netrefit {
namespace {

using test::ItemText;
using test::PressButton;
using test::WaitForDialog;

struct UpToDateSeen {
    bool shown = false;
    std::string text, ok, reinstall;
    UINT closeState = 0;
    bool topmost = false;
};

INT_PTR RunUpToDate(const std::function<void(HWND)>& answer, UpToDateSeen* seen) {
    UpToDateDialog dialog(nullptr);
    return test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_UP_TO_DATE_TEXT);
        if (!window) {
            return;
        }
        seen->shown = true;
        seen->text = ItemText(window, IDC_UP_TO_DATE_TEXT);
        seen->ok = ItemText(window, IDOK);
        seen->reinstall = ItemText(window, IDCANCEL);
        seen->closeState = ::GetMenuState(::GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
        answer(window);
    });
}

TEST(UpToDate, OkGivesOne) {
    UpToDateSeen seen;
    INT_PTR result = RunUpToDate(
        [](HWND window) {
            test::SaveScreenshot(window, "up-to-date");
            PressButton(window, IDOK);
        },
        &seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen.text,
              "It is not necessary to upgrade.\nThe latest version of Melorra is already "
              "installed.\n");
    EXPECT_EQ(seen.ok, "OK");
    EXPECT_EQ(seen.reinstall, "Reinstall");
    EXPECT_TRUE(seen.closeState & MF_GRAYED);
}

TEST(UpToDate, ReinstallGivesTwo) {
    UpToDateSeen seen;
    INT_PTR result = RunUpToDate([](HWND window) { PressButton(window, IDCANCEL); }, &seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(result, 2);
}

TEST(UpToDate, EscapeGivesTwo) {
    UpToDateSeen seen;
    INT_PTR result = RunUpToDate([](HWND window) { test::PressKey(window, VK_ESCAPE); }, &seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(result, 2);
}

// Types into the edit control as a user would, one character message at a time.
void Type(HWND edit, const std::string& text) {
    for (char c : text) {
        ::SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    }
}

TEST(Password, HidesTypedTextWhileTheBoxIsTicked) {
    std::string typed = "s3cret pass";
    bool shown = false, tickedAtStart = false, untickedAfterClick = false, escapeIgnored = false;
    char hiddenChar = 0, shownChar = 1, hiddenAgain = 0;
    std::string title;
    test::Thread driver([&] {
        HWND window = WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
        if (!window) {
            return;
        }
        shown = true;
        title = test::WindowText(window);
        HWND edit = ::GetDlgItem(window, IDC_PASSWORD_EDIT);
        HWND box = ::GetDlgItem(window, IDC_PASSWORD_HIDE);
        tickedAtStart = ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        Type(edit, typed);
        hiddenChar = static_cast<char>(::SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0));
        test::SaveScreenshot(window, "password");
        ::SendMessageA(box, BM_CLICK, 0, 0);
        untickedAfterClick = ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED;
        shownChar = static_cast<char>(::SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0));
        ::SendMessageA(box, BM_CLICK, 0, 0);
        hiddenAgain = static_cast<char>(::SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0));
        // Escape and the close box are no way out.
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ::SendMessageA(window, WM_CLOSE, 0, 0);
        escapeIgnored = ::IsWindow(window) != FALSE;
        PressButton(window, IDOK);
    });
    PromptSlot slot;
    std::string answer = PasswordDialog::Ask(slot);
    driver.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(title, "Please Input Password");
    EXPECT_TRUE(tickedAtStart);
    EXPECT_EQ(hiddenChar, '*');
    EXPECT_TRUE(untickedAfterClick);
    EXPECT_EQ(shownChar, '\0');
    EXPECT_EQ(hiddenAgain, '*');
    EXPECT_TRUE(escapeIgnored);
    EXPECT_EQ(answer, typed);
}

TEST(Password, EmptyAnswerIsEmpty) {
    bool shown = false;
    test::Thread driver([&] {
        HWND window = WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
        if (window) {
            shown = true;
            PressButton(window, IDOK);
        }
    });
    PromptSlot slot;
    std::string answer = PasswordDialog::Ask(slot);
    driver.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(answer, "");
}

// The slot's cancel, from another thread, ends the open prompt as if nothing had been typed,
// and the slot is empty again once the window is gone.
TEST(Password, CancelThroughTheSlotEndsTheOpenPrompt) {
    PromptSlot slot;
    HWND seen = nullptr;
    bool ended = false;
    test::Thread driver([&] {
        seen = WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
        if (seen) {
            Type(::GetDlgItem(seen, IDC_PASSWORD_EDIT), "half typed");
            slot.Cancel();
            ended = test::WaitForWindowGone(seen, 10000);
            if (!ended) {
                PressButton(seen, IDOK);  // so that a failure does not hang the binary
            }
        }
    });
    std::string answer = PasswordDialog::Ask(slot);
    driver.join();
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(ended);
    EXPECT_EQ(answer, "");
}

// A cancel that came before the window was made ends the prompt before it is ever shown.
TEST(Password, CancelledSlotEndsThePromptBeforeItShows) {
    PromptSlot slot;
    slot.Cancel();
    bool shown = false;
    test::Thread watcher([&] {
        HWND window = WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT, 2000);
        shown = window != nullptr;
        if (window) {
            PressButton(window, IDOK);
        }
    });
    std::string answer = PasswordDialog::Ask(slot);
    watcher.join();
    EXPECT_EQ(answer, "");
    EXPECT_FALSE(shown);
}

}  // namespace
}  // namespace netrefit
