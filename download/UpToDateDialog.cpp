#include "download/UpToDateDialog.h"

#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {

UpToDateDialog::UpToDateDialog(HWND parent) : Dialog(IDD_UP_TO_DATE, parent) {
    // A window that cannot be shown must not start a reinstall nobody asked for.
    SetCreateFailedResult(UpToDateKeep);
}

BOOL UpToDateDialog::OnInitDialog() {
    SetCaption(kAppTitle);
    SetItemText(IDC_UP_TO_DATE_TEXT, LoadResString(IDS_UP_TO_DATE));
    SetItemText(IDCANCEL, LoadResString(IDS_REINSTALL));
    SetItemText(IDOK, LoadResString(IDS_OK));
    ::EnableMenuItem(::GetSystemMenu(Window(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
}

}  // namespace netrefit
