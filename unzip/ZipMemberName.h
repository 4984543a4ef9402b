#pragma once
// Checks of a member's name as the archive gives it, before any path is built from it.

namespace netrefit {

// False for a name that could reach outside the destination folder or open a device: an absolute
// name, a drive letter or any ":" (alternate data streams), a ".." element (or one made only of
// dots and blanks, which Windows reads the same way), or a reserved device name such as "CON" or
// "aux.txt".
bool IsSafeMemberName(const char* name);

// True for a folder entry: a name that ends with a separator.
bool IsFolderEntry(const char* name);

}  // namespace netrefit
