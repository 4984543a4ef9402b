#pragma once
// Walking text in the system's ANSI code page by character. In the double-byte code pages (932
// Japanese, 936 Simplified Chinese, 949 Korean, 950 Traditional Chinese) a lead byte and the byte
// after it are one character, and that second byte may have the value of "\" (the "so" of
// katakana is 83 5C in code page 932): a path is split only at a separator that is a character
// of its own.

#include <cstddef>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace netrefit {

inline bool IsAnsiLeadByte(unsigned char byte) {
#ifdef _WIN32
    return ::IsDBCSLeadByte(byte) != FALSE;
#else
    // The native fuzz build reads names as code page 932 does, so its double-byte paths run too.
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
#endif
}

// The character after the one at text; a lead byte before the terminating NUL is one character.
inline const char* NextAnsiChar(const char* text) {
    if (*text == '\0') {
        return text;
    }
    return IsAnsiLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? text + 2
                                                                                  : text + 1;
}

inline bool IsPathSeparator(char c) {
    return c == '/' || c == '\\';
}

// Offset of the last "\" or "/" that is a character of its own; npos when there is none.
inline size_t LastPathSeparator(const std::string& path) {
    size_t last = std::string::npos;
    for (const char* p = path.c_str(); *p != '\0'; p = NextAnsiChar(p)) {
        if (IsPathSeparator(*p)) {
            last = static_cast<size_t>(p - path.c_str());
        }
    }
    return last;
}

// Whether the last character of path is a separator.
inline bool EndsWithPathSeparator(const std::string& path) {
    return !path.empty() && LastPathSeparator(path) == path.size() - 1;
}

}  // namespace netrefit
