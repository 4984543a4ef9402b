#include "publish/PublishFiles.h"

#include <windows.h>

#include <cstdio>

#include "common/UniqueHandle.h"
#include "hashgate/Hashgate.h"

namespace netrefit {
namespace {

std::vector<std::string> NulSeparated(const std::vector<char>& buffer, DWORD length) {
    std::vector<std::string> names;
    for (DWORD at = 0; at < length && buffer[at] != '\0';) {
        std::string name(&buffer[at]);
        at += static_cast<DWORD>(name.size()) + 1;
        names.push_back(name);
    }
    return names;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool FileSizeOf(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool IsFile(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FileDigest(const std::string& path) {
    char text[33] = "";
    if (CheckMD5(path.c_str(), text, sizeof(text)) != HASHGATE_OK) {
        return std::string();
    }
    return text;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH + 1] = "";
    char* name = nullptr;
    DWORD length = ::GetFullPathNameA(path.c_str(), sizeof(full), full, &name);
    if (length == 0 || length >= sizeof(full)) {
        return path;
    }
    return full;
}

std::string WithBackslash(std::string folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder + "\\";
}

bool EnsureFolder(const std::string& folder) {
    std::string path = WithBackslash(folder);
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        std::string part = path.substr(0, at);
        if (!IsFolder(part) && !::CreateDirectoryA(part.c_str(), nullptr) && !IsFolder(part)) {
            return false;
        }
    }
    return true;
}

void RemoveFolderTree(const std::string& folder) {
    std::string base = WithBackslash(folder);
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA((base + "*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = base + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolderTree(path);
            } else {
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryA(base.c_str());
}

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH + 1] = "";
    DWORD length = ::GetTempPathA(sizeof(temp), temp);
    if (length == 0 || length >= sizeof(temp)) {
        return;
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof(name), "NetrefitPublish-%lu-%lu\\", ::GetCurrentProcessId(),
                      static_cast<unsigned long>(::GetTickCount() + attempt));
        std::string path = WithBackslash(temp) + name;
        if (::CreateDirectoryA(path.c_str(), nullptr)) {
            path_ = path;
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        RemoveFolderTree(path_);
    }
}

std::string ProfileText(const std::string& file,
                        const char* section,
                        const char* key,
                        size_t maxChars) {
    std::vector<char> buffer(maxChars + 1, '\0');
    DWORD got = ::GetPrivateProfileStringA(section, key, "", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), file.c_str());
    return std::string(buffer.data(), got);
}

bool ProfileHasKey(const std::string& file, const char* section, const char* key) {
    for (const std::string& name : ProfileKeys(file, section)) {
        if (::lstrcmpiA(name.c_str(), key) == 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ProfileSections(const std::string& file) {
    std::vector<char> buffer(65536, '\0');
    DWORD got = ::GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                 file.c_str());
    return NulSeparated(buffer, got);
}

std::vector<std::string> ProfileKeys(const std::string& file, const char* section) {
    std::vector<char> buffer(65536, '\0');
    DWORD got = ::GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), file.c_str());
    return NulSeparated(buffer, got);
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        std::string item = Trimmed(text.substr(start, comma - start));
        if (!item.empty()) {
            items.push_back(item);
        }
        start = comma + 1;
    }
    return items;
}

}  // namespace netrefit
