#pragma once
// The version box opened from the main window's system menu.

#include "ui/DialogBase.h"

namespace netrefit {

class AboutDialog : public Dialog {
  public:
    explicit AboutDialog(HWND parent);

  protected:
    BOOL OnInitDialog() override;
};

}  // namespace netrefit
