#pragma once
// Where a member lands on disk, and the folder and time-stamp work around writing it.

#include <cstdint>
#include <string>

#include "unzip/ZipMemberName.h"

namespace netrefit {

constexpr size_t kMaxPathText = 259;  // characters of a path, without its NUL

// Joins the destination folder and the member name with PathAppendA and turns every "/" into "\".
// False (and nothing built) when the name is unsafe or the result would not fit 259 characters.
bool BuildOutputPath(const std::string& folder, const char* name, std::string* path);

// Creates every missing folder of the path's folder part (the part up to its last separator).
bool EnsureParentFolder(const std::string& path);

// The same for a path inside base, an existing folder: a link (junction or symbolic link) met at
// base or below it is refused, never followed, since it could lead the writes anywhere.
bool EnsureFolderBelow(const std::string& base, const std::string& path);

// Sets the file's creation and last-write times from a DOS stamp taken as local time.
void SetTimesFromDosStamp(const std::string& path, uint16_t dosDate, uint16_t dosTime);

}  // namespace netrefit
