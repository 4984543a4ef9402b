#include "common/ProfileText.h"

#include <string.h>

namespace netrefit {
namespace {

std::string Trimmed(const std::string& text, size_t begin, size_t end) {
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
        ++begin;
    }
    while (end > begin &&
           (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const char* b) {
    return _stricmp(a.c_str(), b) == 0;
}

}  // namespace

std::string TrimmedBlanks(const std::string& text) {
    return Trimmed(text, 0, text.size());
}

std::string ProfileTextValue(const std::string& text, const char* section, const char* key) {
    bool sectionSeen = false;
    bool inSection = false;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = Trimmed(text, begin, end);
        begin = end + 1;
        if (!line.empty() && line[0] == '[') {
            if (sectionSeen) {
                break;  // only the first section of the name counts
            }
            size_t close = line.find(']');
            inSection = SameName(Trimmed(line, 1, close == std::string::npos ? line.size() : close),
                                 section);
            sectionSeen = inSection;
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || !SameName(Trimmed(line, 0, equals), key)) {
            continue;
        }
        std::string value = Trimmed(line, equals + 1, line.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::string();
}

}  // namespace netrefit
