#pragma once
// The one source of the program's texts, dialog templates and icons. A language library loaded
// at start replaces the built-in resources; everything loaded afterwards comes from it.

#include <windows.h>

#include <initializer_list>
#include <string>

namespace netrefit {

// The program's window title, message-box caption and single-instance name.
extern const char kAppTitle[];

// The module every later string, dialog and icon is read from (the program's own at start).
HINSTANCE CurrentResourceModule();
void SetResourceModule(HINSTANCE module);

// The string with this number, or an empty text when the module has none.
std::string LoadResString(UINT id);

// Puts args in place of the %s of text, in order; "%%" gives "%". Any other % sequence is kept
// as it stands, so a translated text can never make us read arguments that were not given.
std::string FormatText(const std::string& text, std::initializer_list<std::string> args);

// LoadResString and FormatText together.
std::string FormatResString(UINT id, std::initializer_list<std::string> args = {});

// A message box captioned kAppTitle showing string id (formatted with args); returns the
// button pressed.
int ShowMessage(HWND owner, UINT id, UINT type, std::initializer_list<std::string> args = {});

// An icon of the current resource module at the given size (0, 0: the system's default size).
// The caller owns it only when size is not default (shared icons are never destroyed).
HICON LoadIconResource(int id, int width = 0, int height = 0);

}  // namespace netrefit
