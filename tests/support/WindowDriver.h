#pragma once
// Drives the windows of another process (or of this one) the way a user would: finds top-level
// windows by title and control ids, reads their texts, presses their buttons, and saves pictures.

#include <windows.h>

#include <string>
#include <vector>

namespace netrefit::test {

// Visible top-level windows; processId 0 means any process.
std::vector<HWND> VisibleTopLevelWindows(DWORD processId);

// The first visible top-level window of the process whose title equals title and which holds
// a child with controlId (0: any). nullptr when none.
HWND FindTopLevel(DWORD processId, const std::string& title, int controlId = 0);

// Polls FindTopLevel every 50 ms until found or timeoutMs passed.
HWND WaitForTopLevel(DWORD processId, const std::string& title, int controlId, DWORD timeoutMs);

// Polls until the window is gone (or hidden); false after timeoutMs.
bool WaitUntilGone(HWND window, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);

// A standard message box shows its text in the static control 0xFFFF.
bool IsMessageBox(HWND window);
std::string MessageBoxText(HWND box);
// Waits for a message box of the process; returns it (nullptr after timeoutMs).
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);

// Presses a button as a click would reach the dialog (BN_CLICKED through WM_COMMAND).
void Click(HWND dialog, int controlId);

// Texts of one column of a list view in any process.
std::vector<std::string> ListViewColumn(HWND listView, int column);
// Image index of each row of a list view in any process.
std::vector<int> ListViewImages(HWND listView);

// Saves what the screen shows of the window as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::string& bmpPath);

// A started process, closed (not killed) with the object.
struct ChildProcess {
    PROCESS_INFORMATION info = {};
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::string& exe, const std::string& arguments, const std::string& folder);
    // Exit code after waiting up to timeoutMs, or STILL_ACTIVE.
    DWORD Wait(DWORD timeoutMs);
    void Kill();
    DWORD Id() const { return info.dwProcessId; }
};

}  // namespace netrefit::test
