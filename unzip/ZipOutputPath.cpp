#include "unzip/ZipOutputPath.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstring>

#include "common/AnsiText.h"
#include "common/FileStream.h"
#include "common/UniqueHandle.h"

namespace netrefit {

namespace {

// Where the folders below a path's root begin: after "C:\", after "\\server\share\", or after a
// leading separator.
const char* SkipRoot(const char* path) {
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        int separators = 0;
        const char* p = path;
        for (; *p != '\0' && separators < 4; p = NextAnsiChar(p)) {
            separators += IsPathSeparator(*p) ? 1 : 0;
        }
        return p;
    }
    if (path[0] != '\0' && path[1] == ':') {
        return IsPathSeparator(path[2]) ? path + 3 : path + 2;
    }
    return IsPathSeparator(path[0]) ? path + 1 : path;
}

}  // namespace

bool BuildOutputPath(const std::string& folder, const char* name, std::string* path) {
    // PathAppendA puts a backslash between the two only when the folder does not end with one.
    size_t separator = !folder.empty() && !EndsWithPathSeparator(folder) ? 1 : 0;
    if (!IsSafeMemberName(name) || folder.size() > kMaxPathText ||
        folder.size() + separator + std::strlen(name) > kMaxPathText) {
        return false;
    }
    char joined[MAX_PATH] = {};
    std::memcpy(joined, folder.c_str(), folder.size() + 1);
    if (!::PathAppendA(joined, name)) {
        return false;
    }
    std::string result = joined;
    for (char* p = &result[0]; *p != '\0'; p = const_cast<char*>(NextAnsiChar(p))) {
        if (*p == '/') {
            *p = '\\';
        }
    }
    if (result.size() > kMaxPathText) {
        return false;
    }
    *path = result;
    return true;
}

namespace {

// Makes each folder of folder (which ends with a separator) past its first skip characters, in
// turn. False at the first that is neither made nor a folder, or, with refuseLinks, is a link.
bool CreateFoldersFrom(const std::string& folder, size_t skip, bool refuseLinks) {
    // Folder by folder, split by character: a double-byte name may hold the byte of "\\".
    const char* start = folder.c_str();
    for (const char* p = start + skip; *p != '\0'; p = NextAnsiChar(p)) {
        if (!IsPathSeparator(*p) || p == start) {
            continue;
        }
        std::string prefix(start, p);
        if (::CreateDirectoryA(prefix.c_str(), nullptr)) {
            continue;
        }
        DWORD attributes = ::GetFileAttributesA(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (refuseLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EnsureParentFolder(const std::string& path) {
    if (path.size() > kMaxPathText) {
        return false;
    }
    size_t last = LastPathSeparator(path);
    if (last == std::string::npos) {
        return true;  // no folder part: the current folder
    }
    std::string folder = path.substr(0, last + 1);
    return CreateFoldersFrom(folder, SkipRoot(folder.c_str()) - folder.c_str(), false);
}

bool EnsureFolderBelow(const std::string& base, const std::string& path) {
    size_t last = LastPathSeparator(path);
    if (path.size() > kMaxPathText || path.compare(0, base.size(), base) != 0 || IsLinkPath(base) ||
        last == std::string::npos || last + 1 < base.size()) {
        return false;
    }
    std::string folder = path.substr(0, last + 1);
    return CreateFoldersFrom(folder, base.size(), true);
}

void SetTimesFromDosStamp(const std::string& path, uint16_t dosDate, uint16_t dosTime) {
    FILETIME local;
    FILETIME utc;
    if (!::DosDateTimeToFileTime(dosDate, dosTime, &local) ||
        !::LocalFileTimeToFileTime(&local, &utc)) {
        return;
    }
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        ::SetFileTime(file.get(), &utc, nullptr, &utc);
    }
}

}  // namespace netrefit
