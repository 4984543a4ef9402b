#include "app/FolderTree.h"

#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

std::string WithBackslash(const char* folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') {
        path += '\\';
    }
    return path;
}

// The entry itself rather than what a trailing backslash would look up through it; a root keeps
// its backslash.
std::string WithoutBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void DeleteItem(const std::string& path, const WIN32_FIND_DATAA& data) {
    DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A link is removed as an entry; descending into it would delete its target's content.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            ::SetCurrentDirectoryA(path.c_str());
            DeleteFolderTree(path.c_str());
            ::SetCurrentDirectoryA("..");
        }
        ::RemoveDirectoryA(path.c_str());
        return;
    }
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    ::DeleteFileA(path.c_str());
}

}  // namespace

void DeleteFolderTree(const char* folder) {
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    if (IsLinkPath(folder)) {
        ::RemoveDirectoryA(WithoutBackslash(folder).c_str());
        return;
    }
    if (!::SetCurrentDirectoryA(folder)) {
        return;
    }
    const std::string base = WithBackslash(folder);
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA("*.*", &data));
    if (find) {
        do {
            if (IsDotEntry(data.cFileName)) {
                continue;
            }
            std::string path = base + data.cFileName;
            if (path.size() < MAX_PATH) {  // never a cut path that names something else
                DeleteItem(path, data);
            }
        } while (::FindNextFileA(find.get(), &data));
    }
    find.reset();
    ::SetCurrentDirectoryA(folder);
    ::SetCurrentDirectoryA("..");
    ::RemoveDirectoryA(folder);
}

bool ContainsZipArchives(const char* folder) {
    if (folder == nullptr || *folder == '\0' || !::SetCurrentDirectoryA(folder)) {
        return true;
    }
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA("*.zip", &data));
    return find.valid();
}

bool IsEmptyFolder(const char* folder) {
    if (folder == nullptr || *folder == '\0') {
        return false;
    }
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((WithBackslash(folder) + "*").c_str(), &data));
    if (!find) {
        return false;  // not there, or not a folder
    }
    do {
        if (!IsDotEntry(data.cFileName)) {
            return false;
        }
    } while (::FindNextFileA(find.get(), &data));
    return true;
}

}  // namespace netrefit
