#include "unzip/PasswordDialog.h"

#include "resources/ResourceIds.h"

namespace netrefit {

namespace {

// Windows 98 and Me, and NT 5.0 on, refuse SetForegroundWindow from a background thread unless
// it shares the foreground thread's input.
bool NeedsAttachedInput() {
    static const DWORD version = ::GetVersion();
    DWORD major = LOBYTE(LOWORD(version));
    DWORD minor = HIBYTE(LOWORD(version));
    bool nt = (version & 0x80000000u) == 0;
    if (nt) {
        return major >= 5;
    }
    return major > 4 || (major == 4 && minor >= 10);
}

}  // namespace

PasswordDialog::PasswordDialog() : Dialog(IDD_PASSWORD, nullptr) {}

std::string PasswordDialog::Ask() {
    PasswordDialog dialog;
    dialog.RunModal();
    return dialog.Password();
}

BOOL PasswordDialog::OnInitDialog() {
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
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    DWORD ownThread = ::GetCurrentThreadId();
    bool attached = foregroundThread != 0 && foregroundThread != ownThread &&
                    ::AttachThreadInput(ownThread, foregroundThread, TRUE);
    ::SetForegroundWindow(Window());
    if (attached) {
        ::AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
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
