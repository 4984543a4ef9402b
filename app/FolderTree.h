#pragma once
// Folder clean-up used by every ending of the upgrade. Both functions work through the
// process's current directory and leave it changed.

#include <string>

#include "common/FileStream.h"

namespace netrefit {

// Deletes the folder with everything in it; what cannot be deleted stays, silently.
// Links (junctions, symbolic links) are removed, never followed: a folder that is a link itself
// loses only the link.
void DeleteFolderTree(const char* folder);

// True when the folder holds at least one "*.zip", and also when no folder is given or it
// cannot be entered (so that callers never delete what they could not look into).
bool ContainsZipArchives(const char* folder);

// True when the folder exists and holds nothing. Leaves the current directory alone.
bool IsEmptyFolder(const char* folder);

}  // namespace netrefit
