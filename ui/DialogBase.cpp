#include "ui/DialogBase.h"

#include <commctrl.h>

#include "ui/MessageRoute.h"
#include "ui/ResourceModule.h"

namespace netrefit {

namespace {

// InitCommonControlsEx needs comctl32 4.70 (Internet Explorer 3); a plain Windows NT 4.0 has
// 4.00, where InitCommonControls registers the list view and progress classes as well.
void EnsureCommonControls() {
    static bool done = false;
    if (done) {
        return;
    }
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl = ::GetModuleHandleA("comctl32.dll");
    auto initEx = comctl != nullptr ? reinterpret_cast<InitEx>(reinterpret_cast<void*>(
                                          ::GetProcAddress(comctl, "InitCommonControlsEx")))
                                    : nullptr;
    INITCOMMONCONTROLSEX controls = {
        sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    if (initEx == nullptr || !initEx(&controls)) {
        ::InitCommonControls();
    }
    done = true;
}

}  // namespace

Dialog::Dialog(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR Dialog::RunModal() {
    EnsureCommonControls();
    initialised_ = false;
    INT_PTR result =
        ::DialogBoxParamA(CurrentResourceModule(), MAKEINTRESOURCEA(templateId_), parent_,
                          &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    // -1 for a missing template, 0 for a parent that is not a window: either way the dialog
    // never reached WM_INITDIALOG.
    return (result == -1 || !initialised_) ? createFailedResult_ : result;
}

void Dialog::End(INT_PTR result) {
    ::EndDialog(window_, result);
}

INT_PTR CALLBACK Dialog::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->window_ = window;
        self->initialised_ = true;
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    if (message == WM_WINDOWPOSCHANGING && QuietRun()) {
        // Not a flash of any window in a quiet run: the modal loop's own show included.
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
    }
    // Messages before WM_INITDIALOG (fonts, sizes) get the dialog manager's default handling.
    return self ? self->WindowProc(message, wParam, lParam) : FALSE;
}

INT_PTR Dialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND: {
            int id = LOWORD(wParam);
            int code = HIWORD(wParam);
            if (OnCommand(id, code, reinterpret_cast<HWND>(lParam))) {
                return TRUE;
            }
            if (id == IDOK && code == BN_CLICKED) {
                OnOK();
                return TRUE;
            }
            if (id == IDCANCEL && code == BN_CLICKED) {
                OnCancel();
                return TRUE;
            }
            return FALSE;
        }
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (OnNotify(reinterpret_cast<NMHDR*>(lParam), &result)) {
                return SetMessageResult(result);
            }
            return FALSE;
        }
        case WM_TIMER:
            return OnTimer(static_cast<UINT_PTR>(wParam)) ? TRUE : FALSE;
        default:
            return FALSE;
    }
}

bool Dialog::OnCommand(int, int, HWND) {
    return false;
}

bool Dialog::OnNotify(NMHDR*, LRESULT*) {
    return false;
}

bool Dialog::OnTimer(UINT_PTR) {
    return false;
}

INT_PTR Dialog::SetMessageResult(LRESULT result) {
    ::SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

void Dialog::SetItemText(int id, const std::string& text) {
    ::SetDlgItemTextA(window_, id, text.c_str());
}

void Dialog::SetCaption(const std::string& text) {
    ::SetWindowTextA(window_, text.c_str());
}

}  // namespace netrefit
