#include "unzip/PasswordDialog.h"

#include "common/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "ui/Foreground.h"

namespace netrefit {

namespace {

// Windows 98 and Me, and NT 5.0 on, refuse SetForegroundWindow from a background thread unless
// it shares the foreground thread's input.
bool NeedsAttachedInput() {
    const WindowsVersion& version = RunningWindows();
    if (version.platform != VER_PLATFORM_WIN32_WINDOWS) {
        return IsNtAtLeast(version, 5);
    }
    return version.major > 4 || (version.major == 4 && version.minor >= 10);
}

}  // namespace

PasswordDialog::PasswordDialog(PromptSlot& slot) : Dialog(IDD_PASSWORD, nullptr), slot_(slot) {}

std::string PasswordDialog::Ask(PromptSlot& slot) {
    PasswordDialog dialog(slot);
    dialog.RunModal();
    return dialog.Password();
}

INT_PTR PasswordDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case UM_END_PROMPT:
            End(IDCANCEL);  // not OnCancel: that is no way out for the user
            return TRUE;
        case WM_DESTROY:
            slot_.Leave(Window());
            return FALSE;
        default:
            return Dialog::WindowProc(message, wParam, lParam);
    }
}

BOOL PasswordDialog::OnInitDialog() {
    // A cancel that came before the window existed ends it before it is shown.
    if (!slot_.Enter(Window())) {
        End(IDCANCEL);
        return TRUE;
    }
    edit_.Attach(Window(), IDC_PASSWORD_EDIT);
    hideBox_.Attach(Window(), IDC_PASSWORD_HIDE);
    hideBox_.SetCheck(true);
    ShowTextHidden(true);
    edit_.Focus();
    BringToForeground();
    return FALSE;  // the focus is set
}

void PasswordDialog::BringToForeground() {
    if (!NeedsAttachedInput()) {
        ::SetForegroundWindow(Window());
        return;
    }
    ForceForeground(Window(), ForegroundLock::Keep);
    ::BringWindowToTop(Window());
}

void PasswordDialog::ShowTextHidden(bool hidden) {
    edit_.SetPasswordChar(hidden ? '*' : '\0');
    ::InvalidateRect(edit_.Window(), nullptr, TRUE);
}

bool PasswordDialog::OnCommand(int id, int code, HWND) {
    if (id == IDC_PASSWORD_HIDE && code == BN_CLICKED) {
        ShowTextHidden(hideBox_.Checked());
        return true;
    }
    return false;
}

void PasswordDialog::OnOK() {
    password_ = edit_.Text();
    End(IDOK);
}

}  // namespace netrefit
