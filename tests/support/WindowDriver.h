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

// Writes the window's current picture as a 24-bit .bmp into the build folder's "screenshots"
// folder; returns the file's path, empty on failure.
std::string SaveScreenshot(HWND window, const std::string& name);

}  // namespace netrefit::test
