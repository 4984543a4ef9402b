#include "unzip/ZipMemberName.h"

#include <cstring>
#include <string>

#include "common/DeviceName.h"

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

}  // namespace netrefit
