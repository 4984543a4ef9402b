#pragma once
// The checks that decide whether a downloaded module is the one the server file names.

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

// The file's SHA-256 as 64 lowercase digits; false when it cannot be read to its end.
bool FileSha256Text(const char* path, std::string* text);

// The entry's file matches its MD5 (through CheckMD5) and, when the entry names one, its SHA-256.
bool VerifyModuleFile(const DownloadEntry& entry);

}  // namespace netrefit
