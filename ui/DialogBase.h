#pragma once
// Modal dialogs from templates of the current resource module. One static procedure finds the
// object through DWLP_USER and hands every message to the virtual WindowProc; a dialog overrides
// only the few handlers it needs.

#include <windows.h>

#include <string>

namespace netrefit {

class Dialog {
  public:
    // RunModal's result when the window could not be created at all.
    static constexpr INT_PTR kCreateFailed = -1;

    Dialog(int templateId, HWND parent);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog and returns the result given to End, or the creation-failure result.
    INT_PTR RunModal();

    HWND Window() const { return window_; }
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }
    int TemplateId() const { return templateId_; }

    // Ends the modal loop with result (from the dialog's own thread).
    void End(INT_PTR result);

  protected:
    // Every message passes here first. Returns the dialog-procedure answer: TRUE when the
    // message was handled (its value, if any, set with SetMessageResult).
    virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // TRUE lets the system set the default focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // Return true when the command was handled.
    virtual bool OnCommand(int id, int code, HWND control);
    virtual bool OnNotify(NMHDR* header, LRESULT* result);
    virtual bool OnTimer(UINT_PTR timerId);

    // Makes result the message's answer (DWLP_MSGRESULT) and returns TRUE for WindowProc.
    INT_PTR SetMessageResult(LRESULT result);

    // The result RunModal gives when the window cannot be created; each dialog chooses the
    // result that makes its caller treat the step as failed.
    void SetCreateFailedResult(INT_PTR result) { createFailedResult_ = result; }

    void SetItemText(int id, const std::string& text);
    void SetCaption(const std::string& text);

  private:
    static INT_PTR CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND parent_;
    HWND window_ = nullptr;
    bool initialised_ = false;
    INT_PTR createFailedResult_ = kCreateFailed;
};

}  // namespace netrefit
