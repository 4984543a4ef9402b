#pragma once
// Asks for the password of an encrypted archive member. Shown from the extraction worker's
// thread, with no owner window, so it must bring itself to the user's attention.

#include <string>

#include "ui/Controls.h"
#include "ui/DialogBase.h"

namespace netrefit {

class PasswordDialog : public Dialog {
  public:
    PasswordDialog();

    // Shows the dialog and returns the text typed (empty when the window cannot be created).
    static std::string Ask();

    const std::string& Password() const { return password_; }

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    // The only way out is OK: Escape and the close box do nothing.
    void OnCancel() override {}
    bool OnCommand(int id, int code, HWND control) override;

  private:
    void ShowTextHidden(bool hidden);
    void BringToForeground();

    Edit edit_;
    Button hideBox_;
    std::string password_;
};

}  // namespace netrefit
