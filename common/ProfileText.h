#pragma once
// Values of an ini text held in memory, read by the rules of the private-profile functions, so
// that bytes once checked can be read without going back to a file that may have changed.

#include <string>

namespace netrefit {

// The text without the blanks (spaces, tabs, a CR of a CR LF line end) at either end.
std::string TrimmedBlanks(const std::string& text);

// The value of key in [section]: section and key names without regard to case and with the
// blanks around them ignored, the first such section and the first such key in it, the blanks
// around the value and one pair of enclosing double quotes removed. "" when absent.
std::string ProfileTextValue(const std::string& text, const char* section, const char* key);

}  // namespace netrefit
