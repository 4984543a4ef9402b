#include "inventory/SystemEnvironment.h"

#include <algorithm>

namespace netrefit {

namespace {

// LANGID bits 10-15 of Simplified Chinese (Chinese (PRC)).
constexpr uint16_t SUBLANG_BITS_SIMPLIFIED = 0x0800;
constexpr uint16_t SUBLANG_MASK = 0xFC00;
constexpr uint16_t PRIMARY_MASK = 0x03FF;
constexpr uint16_t PRIMARY_CHINESE = 4;

struct LanguageEntry {
    const char* name;
    uint16_t langId;
};

constexpr LanguageEntry LANGUAGES[] = {
    {"Japanese", kLangJapanese}, {"English", kLangEnglish},
    {"French", kLangFrench},     {"German", kLangGerman},
    {"Italian", kLangItalian},   {"Spanish", kLangSpanish},
    {"Korean", kLangKorean},     {"SChinese", kLangSimplifiedChinese},
};

uint16_t Primary(uint16_t langId) {
    return langId & PRIMARY_MASK;
}

bool IsSimplifiedChinese(uint16_t langId) {
    return Primary(langId) == PRIMARY_CHINESE && (langId & SUBLANG_MASK) == SUBLANG_BITS_SIMPLIFIED;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool HasPrimary(const LanguageList& list, uint16_t primary) {
    return std::any_of(list.begin(), list.end(),
                       [primary](uint16_t id) { return Primary(id) == primary; });
}

}  // namespace

int32_t OsCodeFromVersion(uint32_t platformId,
                          uint32_t major,
                          uint32_t minor,
                          uint32_t buildNumber,
                          const char* csdVersion) {
    switch (platformId) {
        case VER_PLATFORM_WIN32s:
            return kOsWin32s;
        case VER_PLATFORM_WIN32_WINDOWS:
            if (major != 4) {
                return kOsUnknown;
            }
            if (minor == 0) {
                return kOsWindows95;
            }
            if ((buildNumber & 0xFFFF) == 3000) {
                return kOsWindowsMe;
            }
            if (csdVersion != nullptr && csdVersion[0] != '\0' && csdVersion[1] == 'A') {
                return kOsWindows98SE;
            }
            return kOsWindows98;
        case VER_PLATFORM_WIN32_NT:
            if (major <= 4) {
                return kOsWindowsNt4;
            }
            return (major == 5 && minor == 0) ? kOsWindows2000 : kOsWindowsXP;
        default:
            return kOsUnknown;
    }
}

uint16_t NormaliseLanguage(uint16_t langId) {
    switch (Primary(langId)) {
        case LANG_GERMAN:
            return kLangGerman;
        case LANG_ENGLISH:
            return kLangEnglish;
        case LANG_SPANISH:
            return kLangSpanish;
        case LANG_FRENCH:
            return kLangFrench;
        case LANG_ITALIAN:
            return kLangItalian;
        case LANG_JAPANESE:
            return kLangJapanese;
        case LANG_KOREAN:
            return kLangKorean;
        default:
            return IsSimplifiedChinese(langId) ? static_cast<uint16_t>(kLangSimplifiedChinese)
                                               : langId;
    }
}

uint16_t LanguageFromName(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    const std::string text(name);
    for (const LanguageEntry& entry : LANGUAGES) {
        if (EqualsIgnoringCase(text, entry.name)) {
            return entry.langId;
        }
    }
    return 0;
}

const char* LanguageName(uint16_t langId) {
    if (Primary(langId) == PRIMARY_CHINESE) {
        return IsSimplifiedChinese(langId) ? "SChinese" : "English";
    }
    for (const LanguageEntry& entry : LANGUAGES) {
        if (Primary(entry.langId) == Primary(langId)) {
            return entry.name;
        }
    }
    return "English";
}

LanguageList ParseLanguageList(const char* text) {
    LanguageList list;
    if (text == nullptr) {
        return list;
    }
    const std::string all(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        if (comma == std::string::npos) {
            comma = all.size();
        }
        const uint16_t id = LanguageFromName(Trimmed(all.substr(start, comma - start)).c_str());
        if (id != 0) {
            list.push_back(id);
        }
        start = comma + 1;
    }
    return list;
}

SystemEnvironment::SystemEnvironment() : facts_(ProbeEnvironmentFacts()) {}

SystemEnvironment::SystemEnvironment(const EnvironmentFacts& facts) : facts_(facts) {}

SystemEnvironment::~SystemEnvironment() = default;

int32_t SystemEnvironment::OsCode() const {
    return facts_.osCode;
}

uint16_t SystemEnvironment::Language() const {
    return facts_.language;
}

uint32_t SystemEnvironment::SupportedOsMask() const {
    return supportedOsMask_;
}

void SystemEnvironment::GetLanguageLists(LanguageList& support, LanguageList& nonSupport) const {
    support = supportLanguages_;
    nonSupport = nonSupportLanguages_;
}

int SystemEnvironment::ApplicationLanguage(const char* listText, std::string& name) const {
    const LanguageList list = ParseLanguageList(listText);
    if (list.empty()) {
        return 0;
    }
    uint16_t wanted = facts_.language;
    // Windows 9x and NT 4.0 cannot show the Simplified Chinese texts of the application.
    const bool oldWindows = facts_.osCode == kOsWindows95 || facts_.osCode == kOsWindowsNt4 ||
                            facts_.osCode == kOsWindows98 || facts_.osCode == kOsWindows98SE ||
                            facts_.osCode == kOsWindowsMe;
    if (wanted == kLangSimplifiedChinese && oldWindows) {
        wanted = kLangEnglish;
    }
    const bool listed = std::find(list.begin(), list.end(), wanted) != list.end();
    name = LanguageName(listed ? wanted : list.front());
    return 1;
}

void SystemEnvironment::SetSupportedOsMask(uint32_t mask) {
    supportedOsMask_ = mask;
}

void SystemEnvironment::SetLanguageLists(const char* supportText, const char* nonSupportText) {
    supportLanguages_ = ParseLanguageList(supportText);
    nonSupportLanguages_ = ParseLanguageList(nonSupportText);
}

int32_t SystemEnvironment::IsOsSupported() const {
    return static_cast<int32_t>(static_cast<uint32_t>(facts_.osCode) & supportedOsMask_);
}

int SystemEnvironment::IsOsLanguageSupported() const {
    const uint16_t primary = Primary(facts_.language);
    bool supported = supportLanguages_.empty() || HasPrimary(supportLanguages_, primary);
    // Only the Simplified Chinese edition exists; other Chinese systems cannot be served.
    if (primary == PRIMARY_CHINESE && (facts_.language & SUBLANG_MASK) != SUBLANG_BITS_SIMPLIFIED) {
        supported = false;
    }
    if (HasPrimary(nonSupportLanguages_, primary)) {
        supported = false;
    }
    return supported ? 1 : 0;
}

int SystemEnvironment::IsAdminSufficient() const {
    if (facts_.osCode != kOsWindows2000 && facts_.osCode != kOsWindowsXP) {
        return 1;
    }
    return facts_.isAdmin != 0 ? 1 : 0;
}

int32_t SystemEnvironment::HasDoubleByteUserName() const {
    return facts_.hasDoubleByteUserName;
}

}  // namespace netrefit
