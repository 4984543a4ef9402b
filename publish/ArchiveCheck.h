#pragma once
// Walks an archive with the client's own extraction worker, as a PC unpacks the module, and holds
// what it unpacked against the archive's central directory.

#include <string>
#include <vector>

namespace netrefit {

struct ArchiveWalk {
    bool walked = false;      // the worker unpacked every member exactly as the directory lists it
    bool holdsSetup = false;  // "Setup.exe" lands where the client starts the installer
    std::vector<std::string> problems;  // why not, for people: one line each
};

// Unpacks path into a scratch folder and removes it again. Encrypted members are opened with
// password; without one an encrypted archive cannot be walked.
ArchiveWalk WalkArchive(const std::string& path, const std::string& password);

}  // namespace netrefit
