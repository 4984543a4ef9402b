#include "unzip/ZipMemberName.h"

#include <cstring>
#include <string>

#include "common/AnsiText.h"
#include "common/DeviceName.h"

namespace netrefit {

namespace {

// "..", "...", ". ." and the like: Windows strips trailing dots and blanks, so they climb too.
bool IsDotElement(const std::string& element) {
    if (element.empty() || element == ".") {
        return false;
    }
    return element.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool IsSafeMemberName(const char* name) {
    // Neither ":" nor "/" can be the second byte of a double-byte character.
    if (IsPathSeparator(name[0]) || std::strchr(name, ':') != nullptr) {
        return false;
    }
    std::string element;
    for (const char* p = name;; p = NextAnsiChar(p)) {
        if (*p != '\0' && !IsPathSeparator(*p)) {
            element.append(p, NextAnsiChar(p));
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
    return EndsWithPathSeparator(name);
}

}  // namespace netrefit
