#pragma once
// What the client accepts of one server-file value or module, asked the way the client asks.

#include <cstdint>
#include <string>
#include <vector>

#include "download/RemoteFile.h"
#include "inventory/ComponentVersion.h"

namespace netrefit {

// True when the client reads the text as the version it says: one to four dot-separated
// decimal numbers of at most 65535, within the 23 characters the client reads.
bool IsClientVersion(const std::string& text);

// The folder a PC's client downloads into, used wherever a module's local path is judged.
std::string ClientDownloadFolder();

// Fills entry as the client's download list would; "" when the client takes the record, else
// why it refuses it.
std::string EntryRefusal(const ServerComponent& record, DownloadEntry* entry);

// The Mirrors= URLs of a module section of a server file, in order; false (and none) for a list
// the client refuses.
bool ReadModuleMirrors(const std::string& serverFile,
                       const char* section,
                       std::vector<std::string>* urls);

// 32 lowercase hexadecimal digits, as the client's digest check compares them.
bool IsLowercaseDigest(const std::string& text);

// The module list's text of a record, as the client shows it.
std::string DisplayNameOf(const ComponentVersion& record);

}  // namespace netrefit
