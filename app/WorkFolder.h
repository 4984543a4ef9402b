#pragma once
// Where the upgrade's downloads and unpacked files are staged. An elevated program on Windows
// Vista and later stages them where only administrators and the system can write, since the
// user's own programs run without elevation and could otherwise swap what it checked.

#include <string>

#include "common/UniqueHandle.h"

namespace netrefit {

enum class TokenKind { Plain, Elevated };

// Elevated only for an elevated token on Vista and later; earlier Windows has no split token.
TokenKind CurrentTokenKind();

// The work folder, ending with a backslash: for an elevated token "Netrefit\" under the common
// application data folder, created or repaired with ProtectedFolderSddl; otherwise "Netrefit\"
// under the user's temporary folder. Empty when there is no usable one (a link is not usable).
std::string ChooseWorkFolder(TokenKind kind);

// Owner Administrators; full access for Administrators and SYSTEM only, inherited by everything
// inside, none from the parent.
extern const char kProtectedFolderSddl[];

// Creates the folder with that descriptor, or gives an existing one (not a link) that descriptor.
bool MakeProtectedFolder(const std::string& folder);

// The folder held open without delete sharing, so that nobody can rename, delete or replace it
// while the handle lives; not a link. Empty when it cannot be held: always on Windows 9x, which
// cannot open folders, and then *required is false.
FileHandle HoldFolder(const std::string& folder, bool* required);

}  // namespace netrefit
