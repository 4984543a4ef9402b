#pragma once
// Tells the user that nothing is older than the server's version and offers a reinstall.
// Results: 1 (OK, nothing to do), 2 (Reinstall, or Escape).

#include "ui/DialogBase.h"

namespace netrefit {

class UpToDateDialog : public Dialog {
  public:
    explicit UpToDateDialog(HWND parent);

  protected:
    BOOL OnInitDialog() override;
};

}  // namespace netrefit
