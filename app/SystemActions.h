#pragma once

#include <windows.h>

namespace netrefit {

// Enables or disables one privilege of the process token. True only when the token really
// holds it afterwards (ERROR_NOT_ALL_ASSIGNED counts as failure). computer: nullptr or ""
// means this computer.
bool EnablePrivilege(const char* privilege, const char* computer, bool enable);

}  // namespace netrefit
