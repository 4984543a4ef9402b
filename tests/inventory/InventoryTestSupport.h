#pragma once
// What the inventory tests compare a detection or a decision by.

#include <string>
#include <vector>

#include "download/RemoteFile.h"
#include "inventory/ComponentVersion.h"

namespace netrefit::test {

// A component's version, "a.b.c.d", or "(none)" where nothing was found.
inline std::string VersionText(const ComponentVersion* record) {
    if (record == nullptr) {
        return "(none)";
    }
    char text[32] = "";
    record->FormatVersion(text, sizeof(text));
    return text;
}

// The file names of a download list, in its order.
inline std::vector<std::string> FileNames(const DownloadList& list) {
    std::vector<std::string> files;
    for (const DownloadEntry& entry : list) {
        files.push_back(entry.FileName());
    }
    return files;
}

}  // namespace netrefit::test
