#pragma once
// Drives real windows from a second thread or process: finds them by title and control id,
// reads their texts, presses their buttons and answers message boxes. Waits poll with a generous
// bail-out so that a missing window fails the test instead of hanging it.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace netrefit::test {

constexpr DWORD kWindowWait = 30000;

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
// The same as UTF-16, whatever code page this process or the window's owner has.
std::wstring WideWindowText(HWND window);
std::wstring WideItemText(HWND dialog, int id);

// Visible top-level windows of this process (processId 0) or of the given one.
std::vector<HWND> TopLevelWindows(DWORD processId = 0);

// Polls until match accepts a visible top-level window of the process; null after timeoutMs.
HWND WaitForWindow(const std::function<bool(HWND)>& match,
                   DWORD timeoutMs = kWindowWait,
                   DWORD processId = 0);
// A dialog with this title that has a control with this id.
HWND WaitForDialog(const std::string& title, int controlId, DWORD timeoutMs = kWindowWait);
// A message box (a dialog with the static text 0xFFFF) whose text contains textPart.
HWND WaitForMessageBox(const std::string& textPart, DWORD timeoutMs = kWindowWait);
// The text of a message box.
std::string MessageBoxText(HWND box);
// Waits until the window is gone.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kWindowWait);
// Polls until condition holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWindowWait);

// Posts the button's BN_CLICKED to its dialog, as a click would.
void PressButton(HWND dialog, int id);
// Posts a key's press and release to the control that has the focus in the dialog's thread (to
// the dialog where none has), as the keyboard would.
void PressKey(HWND dialog, WPARAM key);

// Writes the window's current picture as a 24-bit .bmp into the build folder's "screenshots"
// folder; returns the file's path, empty on failure.
std::string SaveScreenshot(HWND window, const std::string& name);
// The same into the given file.
bool SaveWindowPicture(HWND window, const std::string& bmpPath);

// --- Windows of other processes ---

// Visible top-level windows of every process.
std::vector<HWND> AllTopLevelWindows();
// The id of the process whose thread made the window.
DWORD WindowProcess(HWND window);
// The first visible top-level window of the process (0: any) titled title that holds a control
// with controlId (0: any control); polls until timeoutMs passed.
HWND WaitForTopLevel(DWORD processId, const std::string& title, int controlId, DWORD timeoutMs);
// A standard message box shows its text in the static control 0xFFFF.
bool IsMessageBox(HWND window);
// Any message box of the process; null after timeoutMs.
HWND WaitForProcessMessageBox(DWORD processId, DWORD timeoutMs = kWindowWait);
// Texts of one column, and the image of each row, of a list view in any process.
std::vector<std::string> ListViewColumn(HWND listView, int column);
std::vector<int> ListViewImages(HWND listView);

// A started process; its handles are closed (the process is not ended) with the object.
struct ChildProcess {
    PROCESS_INFORMATION info = {};
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::string& exe, const std::string& arguments, const std::string& folder);
    // The exit code after waiting up to timeoutMs, or STILL_ACTIVE.
    DWORD Wait(DWORD timeoutMs);
    void Kill();
    DWORD Id() const { return info.dwProcessId; }
};

}  // namespace netrefit::test
