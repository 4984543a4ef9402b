#include "download/MirrorList.h"

namespace netrefit {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& text, size_t begin, size_t end) {
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Only the escaped comma is decoded: every other escape belongs to the URL.
std::string DecodeCommas(const std::string& item) {
    std::string url;
    for (size_t i = 0; i < item.size(); ++i) {
        if (item[i] == '%' && i + 2 < item.size() && item[i + 1] == '2' &&
            (item[i + 2] == 'C' || item[i + 2] == 'c')) {
            url += ',';
            i += 2;
        } else {
            url += item[i];
        }
    }
    return url;
}

}  // namespace

bool SplitMirrorList(const std::string& text, std::vector<std::string>* urls) {
    urls->clear();
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = Trimmed(text, begin, end);
        if (!item.empty()) {
            if (urls->size() == kMaxMirrors) {
                urls->clear();
                return false;
            }
            urls->push_back(DecodeCommas(item));
        }
        begin = end + 1;
    }
    return true;
}

std::string JoinMirrorList(const std::vector<std::string>& urls) {
    std::string text;
    for (const std::string& url : urls) {
        if (!text.empty()) {
            text += ',';
        }
        for (char c : url) {
            text += c == ',' ? std::string("%2C") : std::string(1, c);
        }
    }
    return text;
}

}  // namespace netrefit
