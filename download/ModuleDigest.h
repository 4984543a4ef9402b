#pragma once
// The checks that decide whether a downloaded module is the one the server file names.

#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"
#include "download/RemoteFile.h"

namespace netrefit {

// The file's SHA-256 as 64 lowercase digits; false when it cannot be read to its end.
bool FileSha256Text(const char* path, std::string* text);

// The module's file opened for reading, shared for reading only: while it is open nobody can
// write, rename or delete it, so what is digested from it is what is later read from it.
// Empty when it cannot be opened, and for a link (junction or symbolic link), never followed.
FileHandle OpenModuleFile(const std::string& path);

// MD5 and SHA-256 of an open file in one pass from its start, as lowercase digits.
bool DigestOpenFile(HANDLE file, std::string* md5, std::string* sha256);

// The open file matches the entry's MD5 and, when the entry names one, its SHA-256. The MD5 is
// the program's own code, as in CheckMD5, which cannot read a file that is held open.
bool VerifyModuleHandle(HANDLE file, const DownloadEntry& entry);

// The entry's file by its path matches its MD5 (through CheckMD5) and, when the entry names one,
// its SHA-256. Nothing holds the file afterwards: a file to be used is checked again held.
bool VerifyModuleFile(const DownloadEntry& entry);

}  // namespace netrefit
