#include "common/DeviceName.h"

#include <cstring>

namespace netrefit {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCase(const std::string& text, const char* upper) {
    if (text.size() != std::strlen(upper)) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (Upper(text[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

// 1 to 9, and the superscript one, two and three that Windows also accepts after COM and LPT.
bool IsPortDigit(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= '1' && u <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

}  // namespace

bool IsReservedDeviceName(const std::string& element) {
    // Windows looks only at the part before the first dot, without trailing blanks.
    std::string base = element.substr(0, element.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    static const char* const kDevices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                           "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (EqualsNoCase(base, device)) {
            return true;
        }
    }
    if (base.size() == 4 && IsPortDigit(base[3])) {
        std::string stem = base.substr(0, 3);
        return EqualsNoCase(stem, "COM") || EqualsNoCase(stem, "LPT");
    }
    return false;
}

}  // namespace netrefit
