#pragma once
// Files and folders of the publisher's tool: sizes, digests, copies and scratch folders.

#include <cstdint>
#include <string>
#include <vector>

namespace netrefit {

bool FileSizeOf(const std::string& path, uint64_t* size);
bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
// The file's digest as the client's digest library computes it; "" when it cannot be read.
std::string FileDigest(const std::string& path);
// The absolute form of a path, so that the profile functions never look in the Windows folder.
std::string FullPath(const std::string& path);
// A folder path with exactly one trailing backslash.
std::string WithBackslash(std::string folder);
bool EnsureFolder(const std::string& folder);
// Deletes a folder and everything below it.
void RemoveFolderTree(const std::string& folder);

// A new, empty folder under the temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ready() const { return !path_.empty(); }
    // With a trailing backslash.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// A private-profile value, "" when missing; maxChars bounds what is read.
std::string ProfileText(const std::string& file,
                        const char* section,
                        const char* key,
                        size_t maxChars = 1023);
bool ProfileHasKey(const std::string& file, const char* section, const char* key);
// The names of a file's sections, or of one section's keys.
std::vector<std::string> ProfileSections(const std::string& file);
std::vector<std::string> ProfileKeys(const std::string& file, const char* section);
// Comma-separated items with the blanks around each removed; empty items dropped.
std::vector<std::string> SplitList(const std::string& text);

}  // namespace netrefit
