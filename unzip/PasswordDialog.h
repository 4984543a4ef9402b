#pragma once
// Asks for the password of an encrypted archive member. Shown from the extraction worker's
// thread, with no owner window, so it must bring itself to the user's attention. While open it
// sits in the extraction's prompt slot, through which a cancel on the owner's thread ends it.

#include <string>

#include "ui/Controls.h"
#include "ui/DialogBase.h"
#include "unzip/PromptSlot.h"

namespace netrefit {

class PasswordDialog : public Dialog {
  public:
    explicit PasswordDialog(PromptSlot& slot);

    // Shows the dialog and returns the text typed; empty when the window cannot be created, when
    // the slot is cancelled already and when a cancel ends the dialog.
    static std::string Ask(PromptSlot& slot);

    const std::string& Password() const { return password_; }

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    // The only way out is OK: Escape and the close box do nothing.
    void OnCancel() override {}
    bool OnCommand(int id, int code, HWND control) override;

  private:
    void ShowTextHidden(bool hidden);
    void BringToForeground();

    PromptSlot& slot_;
    Edit edit_;
    Button hideBox_;
    std::string password_;
};

}  // namespace netrefit
