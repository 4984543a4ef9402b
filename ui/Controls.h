#pragma once
// Non-owning wrappers for the controls of a dialog, attached by id once the window exists.
// Each method is a thin SendMessage; sending from a worker thread waits for the dialog's thread.

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "common/UniqueHandle.h"

namespace netrefit {

// The whole text of a window; empty for no window.
std::string WindowText(HWND window);

class Control {
  public:
    Control() = default;
    void Attach(HWND dialog, int id) { window_ = ::GetDlgItem(dialog, id); }
    HWND Window() const { return window_; }
    bool Attached() const { return window_ != nullptr; }

    void SetText(const std::string& text) const { ::SetWindowTextA(window_, text.c_str()); }
    std::string Text() const { return WindowText(window_); }
    void Enable(bool enable) const { ::EnableWindow(window_, enable ? TRUE : FALSE); }
    void Focus() const { ::SetFocus(window_); }

  protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(window_, message, wParam, lParam);
    }

  private:
    HWND window_ = nullptr;
};

class Static : public Control {};

class Button : public Control {
  public:
    void SetCheck(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
    bool Checked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void Click() const { Send(BM_CLICK); }
};

class Edit : public Control {
  public:
    // 0 shows the text as typed.
    void SetPasswordChar(char shown) const { Send(EM_SETPASSWORDCHAR, static_cast<BYTE>(shown)); }
    char PasswordChar() const { return static_cast<char>(Send(EM_GETPASSWORDCHAR)); }
};

class ProgressBar : public Control {
  public:
    void SetRange(int low, int high) const { Send(PBM_SETRANGE32, low, high); }
    void SetPos(int position) const { Send(PBM_SETPOS, position); }
    // Moves the bar without waiting for its thread when called from another one: it keeps its
    // place among the messages sent to the bar, so a later SetPos or text still comes after it.
    void MovePos(int position) const { ::SendNotifyMessageA(Window(), PBM_SETPOS, position, 0); }
    int Pos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

struct ImageListTraits {
    static HIMAGELIST Invalid() { return nullptr; }
    static void Close(HIMAGELIST list) { ::ImageList_Destroy(list); }
};
// Owns an image list until it is handed to a control.
using ImageList = UniqueHandle<HIMAGELIST, ImageListTraits>;

class ListView : public Control {
  public:
    int InsertColumn(int column, const std::string& text, int width, int format) const;
    int ColumnWidth(int column) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, column)); }
    int ClientWidth() const;
    // The control destroys the list with itself, so it takes ownership.
    void SetSmallImages(ImageList& images) const;
    HIMAGELIST SmallImages() const {
        return reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
    }
    void SetExtendedStyle(DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }
    DWORD ExtendedStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }

    int InsertItem(int row, const std::string& text, int image) const;
    bool SetItemText(int row, int column, const std::string& text) const;
    std::string ItemText(int row, int column) const;
    int ItemImage(int row) const;
    bool SetItemImage(int row, int image) const;
    int ItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
};

}  // namespace netrefit
