#pragma once
// Checks on C strings handed in by callers. No other Windows headers are needed for them, so the
// format code that uses them still builds natively.

#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#endif

namespace netrefit {

// A string with at least one character.
inline bool HasText(const char* text) {
    return text != nullptr && text[0] != '\0';
}

// A string that can be read up to its end, empty or not. Windows probes the pointer; the native
// fuzz build checks for null only.
inline bool ReadableString(const char* text) {
#ifdef _WIN32
    return text != nullptr && !::IsBadStringPtrA(text, static_cast<UINT_PTR>(-1));
#else
    return text != nullptr;
#endif
}

// A caller's buffer of size bytes that can be written.
inline bool WritableBuffer(char* buffer, size_t size) {
#ifdef _WIN32
    return buffer != nullptr && size != 0 && !::IsBadWritePtr(buffer, size);
#else
    return buffer != nullptr && size != 0;
#endif
}

}  // namespace netrefit
