#pragma once
// Names that Windows resolves to a device instead of a file, in whatever folder they stand.

#include <string>

namespace netrefit {

// True for one path element (no separators) that opens a device: CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9 (also with the superscript digits of code page 1252), CONIN$, CONOUT$ and
// CLOCK$, in any case and also with an extension or trailing blanks ("com1.zip", "NUL .txt").
bool IsReservedDeviceName(const std::string& element);

}  // namespace netrefit
