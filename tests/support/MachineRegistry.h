#pragma once
// Writes and removes values under HKEY_LOCAL_MACHINE of the test prefix, in the 32-bit view, as
// the suite's 32-bit installer does (the default of a 32-bit test; the 64-bit one must ask).

#include <windows.h>

#include <shlwapi.h>

#include <string>

namespace netrefit::test {

// Stores bytes as a text value exactly as given (the caller decides about the terminator).
inline bool SetMachineRaw(const std::string& key,
                          const char* value,
                          DWORD type,
                          const std::string& bytes) {
    HKEY handle = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &handle,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG rc = ::RegSetValueExA(handle, value, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

// A text value with its terminator; an empty value name sets the key's default value.
inline bool SetMachineText(const std::string& key, const char* value, const std::string& text) {
    return SetMachineRaw(key, value, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline bool SetMachineNumber(const std::string& key, const char* value, DWORD number) {
    return SetMachineRaw(key, value, REG_DWORD,
                         std::string(reinterpret_cast<const char*>(&number), sizeof(number)));
}

// Removes the key and everything below it; the parent is opened in the 32-bit view so that
// the removal stays there too.
inline void DeleteMachineKey(const std::string& key) {
    const size_t slash = key.rfind('\\');
    const std::string parent = slash == std::string::npos ? std::string() : key.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? key : key.substr(slash + 1);
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(
            HKEY_LOCAL_MACHINE, parent.c_str(), 0,
            KEY_WOW64_32KEY | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | KEY_SET_VALUE,
            &handle) != ERROR_SUCCESS) {
        return;
    }
    ::SHDeleteKeyA(handle, leaf.c_str());
    ::RegCloseKey(handle);
}

}  // namespace netrefit::test
