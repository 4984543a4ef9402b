#pragma once
// Writes and removes values under HKEY_LOCAL_MACHINE of the test prefix.

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
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &handle, nullptr) != ERROR_SUCCESS) {
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

inline void DeleteMachineKey(const std::string& key) {
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace netrefit::test
