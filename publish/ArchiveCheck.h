#pragma once
// Walks an archive with the client's own extraction worker, as a PC unpacks the module.

#include <string>

namespace netrefit {

struct ArchiveWalk {
    bool walked = false;      // the worker reached the end of the archive
    bool holdsSetup = false;  // "Setup.exe" lands where the client starts the installer
    std::string problem;      // why the walk stopped, for people
};

// Unpacks path into a scratch folder and removes it again. Encrypted members are opened with
// password; without one an encrypted archive cannot be walked.
ArchiveWalk WalkArchive(const std::string& path, const std::string& password);

}  // namespace netrefit
