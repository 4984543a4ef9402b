#include "unzip/ZipOutputPath.h"

#include <windows.h>

#include <imagehlp.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

#include "common/DeviceName.h"
#include "common/UniqueHandle.h"

namespace netrefit {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// "..", "...", ". ." and the like: Windows strips trailing dots and blanks, so they climb too.
bool IsDotElement(const std::string& element) {
    if (element.empty() || element == ".") {
        return false;
    }
    return element.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool IsSafeMemberName(const char* name) {
    if (IsSeparator(name[0]) || std::strchr(name, ':') != nullptr) {
        return false;
    }
    std::string element;
    for (const char* p = name;; ++p) {
        if (*p != '\0' && !IsSeparator(*p)) {
            element += *p;
            continue;
        }
        if (IsDotElement(element) || IsReservedDeviceName(element)) {
            return false;
        }
        element.clear();
        if (*p == '\0') {
            return true;
        }
    }
}

bool IsFolderEntry(const char* name) {
    size_t length = std::strlen(name);
    return length > 0 && IsSeparator(name[length - 1]);
}

bool BuildOutputPath(const std::string& folder, const char* name, std::string* path) {
    // PathAppendA puts a backslash between the two only when the folder does not end with one.
    size_t separator = !folder.empty() && folder.back() != '\\' ? 1 : 0;
    if (!IsSafeMemberName(name) || folder.size() > kMaxPathText ||
        folder.size() + separator + std::strlen(name) > kMaxPathText) {
        return false;
    }
    char joined[MAX_PATH] = {};
    std::memcpy(joined, folder.data(), folder.size());
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
