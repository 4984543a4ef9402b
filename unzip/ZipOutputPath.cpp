#include "unzip/ZipOutputPath.h"

#include <windows.h>

#include <imagehlp.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

#include "common/UniqueHandle.h"

namespace netrefit {

bool BuildOutputPath(const std::string& folder, const char* name, std::string* path) {
    // PathAppendA puts a backslash between the two only when the folder does not end with one.
    size_t separator = !folder.empty() && folder.back() != '\\' ? 1 : 0;
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
    std::replace(result.begin(), result.end(), '/', '\\');
    if (result.size() > kMaxPathText) {
        return false;
    }
    *path = result;
    return true;
}

bool EnsureParentFolder(const std::string& path) {
    if (path.size() > kMaxPathText) {
        return false;
    }
    size_t last = path.find_last_of("/\\");
    if (last == std::string::npos) {
        return true;  // no folder part: the current folder
    }
    std::string folder = path.substr(0, last + 1);
    if (::MakeSureDirectoryPathExists(folder.c_str())) {
        return true;
    }
    return ::GetLastError() == ERROR_ALREADY_EXISTS;
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
