// The dialog layer itself: every message through WindowProc, handler routing, results.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include "support/TestThreads.h"

#include "DriverThread.h"
#include "resources/ResourceIds.h"
#include "support/WindowDriver.h"
#include "ui/DialogBase.h"

namespace netrefit {
namespace {

constexpr UINT UM_PROBE = WM_APP + 7;
constexpr UINT_PTR kTimer = 7;

class ProbeDialog : public Dialog {
  public:
    ProbeDialog() : Dialog(IDD_ABOUT, nullptr) {}
    std::atomic<int> probes{0};
    std::atomic<int> inits{0};
    std::atomic<int> notifies{0};
    std::atomic<int> commands{0};
    bool endOnTimer = false;

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == UM_PROBE) {
            ++probes;
            return SetMessageResult(static_cast<LRESULT>(wParam) * 2);
        }
        return Dialog::WindowProc(message, wParam, lParam);
    }
    BOOL OnInitDialog() override {
        ++inits;
        if (endOnTimer) {
            ::SetTimer(Window(), kTimer, 10, nullptr);
        }
        return TRUE;
    }
    bool OnTimer(UINT_PTR id) override {
        if (id != kTimer) {
            return false;
        }
        ::KillTimer(Window(), kTimer);
        End(42);
        return true;
    }
    bool OnNotify(NMHDR* header, LRESULT* result) override {
        // Only ours: the system sends notifications of its own to a dialog now and then.
        if (header->code != 5) {
            return false;
        }
        ++notifies;
        *result = 1234;
        return true;
    }
    bool OnCommand(int id, int, HWND) override {
        if (id == 1234) {
            ++commands;
            return true;
        }
        return false;
    }
};

HWND WaitForProbe() {
    return test::WaitForDialog("Melorra Installer version information", IDOK);
}

TEST(DialogBase, EveryMessagePassesThroughWindowProc) {
    ProbeDialog dialog;
    LRESULT answer = 0, notifyAnswer = 0;
    INT_PTR result = test::RunDriven(dialog, [&] {
        HWND window = WaitForProbe();
        if (!window) {
            return;
        }
        answer = ::SendMessageA(window, UM_PROBE, 21, 0);
        NMHDR header = {window, 1, 5};
        notifyAnswer = ::SendMessageA(window, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header));
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0);
        test::PressButton(window, IDOK);
    });
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.probes, 1);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(dialog.notifies, 1);
    EXPECT_EQ(notifyAnswer, 1234);
    EXPECT_EQ(dialog.commands, 1);
    EXPECT_EQ(result, IDOK);
}

TEST(DialogBase, TimerHandlerCanEndTheDialogWithItsResult) {
    ProbeDialog dialog;
    dialog.endOnTimer = true;
    EXPECT_EQ(dialog.RunModal(), 42);
    EXPECT_EQ(dialog.Window(), nullptr);
}

TEST(DialogBase, CancelByEscapeOrCloseGivesTheCancelCode) {
    ProbeDialog dialog;
    INT_PTR result = test::RunDriven(dialog, [&] {
        HWND window = WaitForProbe();
        if (window) {
            ::PostMessageA(window, WM_CLOSE, 0, 0);
        }
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST(DialogBase, MissingTemplateGivesTheCreationFailureResult) {
    class Missing : public Dialog {
      public:
        Missing() : Dialog(4321, nullptr) {}
    } missing;
    EXPECT_EQ(missing.RunModal(), Dialog::kCreateFailed);
}

}  // namespace
}  // namespace netrefit
