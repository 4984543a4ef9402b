#pragma once
// Tells the user that nothing is older than the server's version and offers a reinstall.

#include "ui/DialogBase.h"

namespace netrefit {

// The window's modal result.
enum UpToDateResult : INT_PTR {
    UpToDateKeep = IDOK,           // OK: nothing to do (also when the window cannot be made)
    UpToDateReinstall = IDCANCEL,  // Reinstall, or Escape
};

class UpToDateDialog : public Dialog {
  public:
    explicit UpToDateDialog(HWND parent);

  protected:
    BOOL OnInitDialog() override;
};

}  // namespace netrefit
