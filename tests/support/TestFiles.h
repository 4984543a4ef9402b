#pragma once
// Real files and folders for tests, removed again when the fixture ends.

#include <windows.h>

#include <cstdint>
#include <string>

namespace netrefit::test {

// A new, empty folder under the Windows temporary folder; deleted with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Folder path with a trailing backslash.
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
bool FileExists(const std::string& path);
// Deterministic pseudo-random bytes, so failures can be reproduced.
std::string PatternBytes(size_t size, uint32_t seed = 1);
// Deletes a folder and everything below it.
void RemoveTree(const std::string& path);
// Owner and access of a file or folder as SDDL text; "unreadable" when they cannot be read.
std::string SecurityText(const std::string& path);
// Folder of the running test binary, with a trailing backslash.
std::string ModuleFolder();

}  // namespace netrefit::test
