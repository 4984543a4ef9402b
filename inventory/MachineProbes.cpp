#include "inventory/MachineProbes.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/TextChecks.h"
#include "common/UniqueHandle.h"

namespace netrefit {

namespace {

// DirectXSetupGetVersion: the setup library's version query, exported at ordinal 11.
using DirectXVersionQuery = INT(WINAPI*)(DWORD* version, DWORD* revision);
constexpr WORD kDirectXVersionOrdinal = 11;

// The suite is 32-bit software: its installer writes the 32-bit view of the registry. A 32-bit
// program reads that view by default; the 64-bit build has to ask for it.
#ifdef _WIN64
constexpr REGSAM kSuiteView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kSuiteView = 0;
#endif

// Its folders likewise: the 32-bit ones, which a 32-bit program sees under the usual names.
#ifdef _WIN64
constexpr int kSuiteCommonFilesId = CSIDL_PROGRAM_FILES_COMMONX86;
constexpr char kSuiteCommonFilesValue[] = "CommonFilesDir (x86)";
#else
constexpr int kSuiteCommonFilesId = CSIDL_PROGRAM_FILES_COMMON;
constexpr char kSuiteCommonFilesValue[] = "CommonFilesDir";
#endif
constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr size_t kPathText = 261;

using SystemFolderQuery = UINT(WINAPI*)(LPSTR buffer, UINT size);

// GetSystemWow64DirectoryA has a name only from Windows XP x64 on: looked up, not imported.
SystemFolderQuery SuiteSystemFolderQuery() {
#ifdef _WIN64
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FARPROC wow64 =
        kernel != nullptr ? ::GetProcAddress(kernel, "GetSystemWow64DirectoryA") : nullptr;
    if (wow64 != nullptr) {
        return reinterpret_cast<SystemFolderQuery>(reinterpret_cast<void (*)()>(wow64));
    }
#endif
    return nullptr;
}

// SHGetValueA's reading (SHQueryValueExA) on a key opened in the suite's view.
DWORD QueryMachineValue(const char* key, const char* value, DWORD* type, void* data, DWORD* size) {
    HKEY handle = nullptr;
    LONG opened =
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | kSuiteView, &handle);
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    RegKey owner(handle);
    return ::SHQueryValueExA(handle, value != nullptr ? value : "", nullptr, type, data, size);
}

}  // namespace

bool ReadMachineText(const char* key, const char* value, size_t capacity, std::string* text) {
    if (key == nullptr || text == nullptr || capacity == 0 || capacity > 65536) {
        return false;
    }
    std::vector<char> buffer(capacity, '\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(capacity);
    if (QueryMachineValue(key, value, &type, buffer.data(), &size) != ERROR_SUCCESS) {
        return false;
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > capacity) {
        return false;
    }
    const void* end = std::memchr(buffer.data(), '\0', size);
    if (end == nullptr && size == capacity) {
        return false;  // the text filled the buffer without its terminator
    }
    size_t length = end != nullptr ? static_cast<const char*>(end) - buffer.data() : size;
    text->assign(buffer.data(), length);
    return true;
}

bool ReadMachineNumber(const char* key, const char* value, uint32_t* number) {
    if (key == nullptr || number == nullptr) {
        return false;
    }
    DWORD data = 0;
    DWORD size = sizeof(data);
    // Four bytes whatever the type: installers write some of these numbers as REG_BINARY.
    if (QueryMachineValue(key, value, nullptr, &data, &size) != ERROR_SUCCESS) {
        return false;
    }
    if (size != sizeof(data)) {
        return false;
    }
    *number = data;
    return true;
}

bool JoinPath(const std::string& folder, const std::string& name, std::string* path) {
    std::string joined = folder;
    if (!joined.empty() && joined.back() != '\\') {
        joined += '\\';
    }
    joined += name;
    if (joined.size() >= MAX_PATH) {
        return false;
    }
    *path = joined;
    return true;
}

int ReadFirstLine(const char* path, char* buffer, size_t size) {
    if (!HasText(path) || buffer == nullptr || size == 0 || !::PathFileExistsA(path)) {
        return 0;
    }
    Stream file(std::fopen(path, "rt"));
    if (!file) {
        return 0;  // exists but cannot be read (a folder, or held open without sharing)
    }
    int capacity = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    std::vector<char> line(static_cast<size_t>(capacity), '\0');
    if (std::fgets(line.data(), capacity, file.get()) == nullptr) {
        if (std::ferror(file.get())) {
            return 0;
        }
        line[0] = '\0';  // an empty file has an empty first line
    }
    size_t length = std::strlen(line.data());
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        line[--length] = '\0';
    }
    std::memcpy(buffer, line.data(), length + 1);
    return 1;
}

int GetFileVersionText(const char* path, char* buffer, size_t size) {
    if (!HasText(path) || buffer == nullptr || size == 0) {
        return 0;
    }
    DWORD ignored = 0;
    DWORD infoSize = ::GetFileVersionInfoSizeA(path, &ignored);
    if (infoSize == 0) {
        return 0;
    }
    std::vector<BYTE> info(infoSize);
    if (!::GetFileVersionInfoA(path, 0, infoSize, info.data())) {
        return 0;
    }
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::VerQueryValueA(info.data(), "\\", &fixed, &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return 0;
    }
    const auto* fileInfo = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (fileInfo->dwSignature != VS_FFI_SIGNATURE) {
        return 0;  // not a version resource after all: nothing to report
    }
    char text[32];
    int length = std::snprintf(text, sizeof(text), "%d.%d.%d.%d", HIWORD(fileInfo->dwFileVersionMS),
                               LOWORD(fileInfo->dwFileVersionMS), HIWORD(fileInfo->dwFileVersionLS),
                               LOWORD(fileInfo->dwFileVersionLS));
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return 0;
    }
    std::memcpy(buffer, text, static_cast<size_t>(length) + 1);
    return 1;
}

int GetSpecialFolder(int folderId, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    LPITEMIDLIST items = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folderId, &items)) || items == nullptr) {
        return 0;
    }
    char path[MAX_PATH] = "";
    BOOL found = ::SHGetPathFromIDListA(items, path);
    // The shell's allocator frees its item lists; ILFree has a name only from shell32 5.0 on.
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(items);
        allocator->Release();
    }
    size_t length = std::strlen(path);
    if (!found || length == 0 || length >= size) {
        return 0;
    }
    std::memcpy(buffer, path, length + 1);
    return 1;
}

bool SuiteSystemFolder(std::string* folder) {
    char system[MAX_PATH] = "";
    UINT length = 0;
    if (SystemFolderQuery wow64 = SuiteSystemFolderQuery()) {
        length = wow64(system, MAX_PATH);
    }
    if (length == 0) {
        length = ::GetSystemDirectoryA(system, MAX_PATH);
    }
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    folder->assign(system, length);
    return true;
}

bool SuiteCommonFilesFolder(std::string* folder) {
    char common[kPathText] = "";
    if (GetSpecialFolder(kSuiteCommonFilesId, common, sizeof(common))) {
        *folder = common;
        return true;
    }
    return ReadMachineText(kWindowsKey, kSuiteCommonFilesValue, kPathText, folder);
}

bool QueryDirectXVersion(uint32_t* version, uint32_t* revision) {
    std::string system;
    std::string path;
    if (!SuiteSystemFolder(&system) || !JoinPath(system, "DSETUP.dll", &path)) {
        return false;
    }
    // By full path, so a file of that name in the download folder (the current directory by
    // then) is never loaded; its own dependencies are looked up beside it, not there either.
    Library setup(::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!setup) {
        return false;
    }
    FARPROC export11 = ::GetProcAddress(setup.get(), MAKEINTRESOURCEA(kDirectXVersionOrdinal));
    if (export11 == nullptr) {
        return false;
    }
    auto query = reinterpret_cast<DirectXVersionQuery>(reinterpret_cast<void (*)()>(export11));
    DWORD versionValue = 0;
    DWORD revisionValue = 0;
    if (query(&versionValue, &revisionValue) == 0) {
        return false;
    }
    *version = versionValue;
    *revision = revisionValue;
    return true;
}

}  // namespace netrefit
