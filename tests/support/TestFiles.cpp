#include "support/TestFiles.h"

#include <sddl.h>

#include <cstdio>

namespace netrefit::test {

TempDir::TempDir() {
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof(name), "%snrtest-%lu-%ld\\", base, ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter));
        if (::CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) {
        bytes->append(chunk, got);
    }
    std::fclose(f);
    return true;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

void RemoveTree(const std::string& path) {
    std::string folder = path;
    if (!folder.empty() && folder.back() != '\\') {
        folder += '\\';
    }
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = folder + name;
            ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::DeleteFileA(child.c_str());
            }
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

std::string ModuleFolder() {
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string SecurityText(const std::string& path) {
    SECURITY_INFORMATION asked = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ::GetFileSecurityA(path.c_str(), asked, nullptr, 0, &size);
    std::string bytes(size, '\0');
    char* text = nullptr;
    if (size == 0 || !::GetFileSecurityA(path.c_str(), asked, &bytes[0], size, &size) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorA(&bytes[0], SDDL_REVISION_1, asked,
                                                                &text, nullptr)) {
        return "unreadable";
    }
    std::string sddl = text;
    ::LocalFree(text);
    return sddl;
}

}  // namespace netrefit::test
