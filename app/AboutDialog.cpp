#include "app/AboutDialog.h"

#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {

AboutDialog::AboutDialog(HWND parent) : Dialog(IDD_ABOUT, parent) {}

BOOL AboutDialog::OnInitDialog() {
    SetItemText(IDOK, LoadResString(IDS_OK));
    return TRUE;
}

}  // namespace netrefit
