#include "inventory/ComponentVersion.h"
#include "common/TextChecks.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstring>

namespace netrefit {
namespace {

const char* const kKindNames[] = {
    "Melorra",
    "Melorra Plus",
    "Melorra Disc Writer",
    "Linkdisc Disc Writer",
    "Keldra Player",
    "Keldra Secure Module",
    "Melorra Common Library",
    "Melorra Extension",
    "CDDB Extension",
    "DirectX",
    "MDAC",
    "Windows Media Format",
    "Setup Starter",
    "Update Agent",
};

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One "%d" of scanf: blanks, a sign and at least one digit. Digits beyond the range of an int
// wrap in 32 bits, where scanf's result would be undefined. False, *text unmoved, without digit.
bool ReadDecimal(const char** text, uint32_t* value) {
    const char* p = *text;
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return false;
    }
    uint32_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10u + static_cast<uint32_t>(*p - '0');
    }
    *value = negative ? 0u - number : number;
    *text = p;
    return true;
}

int CopyText(const std::string& text, char* buffer, size_t size) {
    if (!WritableBuffer(buffer, size) || text.size() + 1 > size) {
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 1;
}

int CompareParts(uint16_t a, uint16_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

const char* ComponentKindName(int32_t kind) {
    if (kind < kKindMelorra || kind > kKindUpdateAgent) {
        return "";
    }
    return kKindNames[kind - 1];
}

void ComponentVersion::ClearHotFixes() {
    hotFixes_.clear();
}
int32_t ComponentVersion::Kind() const {
    return kind_;
}

int ComponentVersion::DisplayName(char* buffer, size_t size) const {
    const char* name = ComponentKindName(kind_);
    char version[16] = "";
    if (*name != '\0') {
        if (kind_ == kKindDirectX) {
            std::snprintf(version, sizeof(version), "%d.%d", minor_, build_);
        } else if (kind_ != kKindMelorraExtension && kind_ != kKindSetupStarter) {
            std::snprintf(version, sizeof(version), "%d.%d", major_, minor_);
        }
    }
    size_t needed = std::strlen(name) + std::strlen(version) + 2;  // blank and NUL
    if (!WritableBuffer(buffer, size) || needed > size) {
        return 0;
    }
    std::snprintf(buffer, size, "%s %s", name, version);
    return 1;
}

void ComponentVersion::GetVersion(uint16_t* major,
                                  uint16_t* minor,
                                  uint16_t* build,
                                  uint16_t* revision) const {
    if (major == nullptr || minor == nullptr || build == nullptr || revision == nullptr) {
        return;
    }
    *major = major_;
    *minor = minor_;
    *build = build_;
    *revision = revision_;
}

void ComponentVersion::FormatVersion(char* buffer, size_t size) const {
    if (!WritableBuffer(buffer, size)) {
        return;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", major_, minor_, build_, revision_);
    CopyText(text, buffer, size);
}

uint16_t ComponentVersion::Major() const {
    return major_;
}
uint16_t ComponentVersion::Minor() const {
    return minor_;
}
uint16_t ComponentVersion::Build() const {
    return build_;
}
uint16_t ComponentVersion::Revision() const {
    return revision_;
}
uint16_t ComponentVersion::Language() const {
    return language_;
}
size_t ComponentVersion::HotFixCount() const {
    return hotFixes_.size();
}

void ComponentVersion::CopyHotFixes(TextList& list) const {
    for (const std::string& hotFix : hotFixes_) {
        if (!hotFix.empty()) {
            list.push_back(hotFix);
        }
    }
}

std::string ComponentVersion::HotFix(size_t index) const {
    return index < hotFixes_.size() ? hotFixes_[index] : std::string();
}

void ComponentVersion::SetVersion(uint32_t major,
                                  uint32_t minor,
                                  uint32_t build,
                                  uint32_t revision) {
    SetMajor(major);
    SetMinor(minor);
    SetBuild(build);
    SetRevision(revision);
}

void ComponentVersion::ParseVersion(const char* text) {
    if (text == nullptr) {
        return;
    }
    uint32_t parts[4] = {0, 0, 0, 0};
    const char* p = text;
    for (int i = 0; i < 4 && ReadDecimal(&p, &parts[i]); ++i) {
        if (*p != '.') {
            break;
        }
        ++p;
    }
    SetMajor(parts[0]);
    SetMinor(parts[1]);
    SetBuild(parts[2]);
    SetRevision(parts[3]);
}

void ComponentVersion::SetMajor(uint32_t value) {
    major_ = static_cast<uint16_t>(value);
}
void ComponentVersion::SetMinor(uint32_t value) {
    minor_ = static_cast<uint16_t>(value);
}
void ComponentVersion::SetBuild(uint32_t value) {
    build_ = static_cast<uint16_t>(value);
}
void ComponentVersion::SetRevision(uint32_t value) {
    revision_ = static_cast<uint16_t>(value);
}
void ComponentVersion::SetLanguage(uint32_t value) {
    language_ = static_cast<uint16_t>(value);
}

void ComponentVersion::AddHotFixes(const TextList& list) {
    for (const std::string& text : list) {
        AddHotFix(text.c_str());
    }
}

void ComponentVersion::AddHotFix(const char* text) {
    if (ReadableString(text)) {
        hotFixes_.emplace_back(text);
    }
}

int ComponentVersion::Compare(const ComponentVersion& other) const {
    if (kind_ == kKindMdac) {
        int byMajor = CompareParts(major_, other.major_);
        return byMajor != 0 ? byMajor : CompareParts(minor_ / 10, other.minor_ / 10);
    }
    const uint16_t mine[4] = {major_, minor_, build_, revision_};
    const uint16_t theirs[4] = {other.major_, other.minor_, other.build_, other.revision_};
    for (int i = 0; i < 4; ++i) {
        int result = CompareParts(mine[i], theirs[i]);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int ComponentVersion::IsOlderThan(const ComponentVersion& other) const {
    return kind_ == other.kind_ && Compare(other) < 0;
}
int ComponentVersion::IsNewerThan(const ComponentVersion& other) const {
    return kind_ == other.kind_ && Compare(other) > 0;
}
int ComponentVersion::IsSameAs(const ComponentVersion& other) const {
    return kind_ == other.kind_ && Compare(other) == 0;
}

int ServerComponent::GetRemotePath(char* buffer, size_t size) const {
    return CopyText(remotePath_, buffer, size);
}
int ServerComponent::GetSizeText(char* buffer, size_t size) const {
    return CopyText(sizeText_, buffer, size);
}
int ServerComponent::GetMd5Text(char* buffer, size_t size) const {
    return CopyText(md5Text_, buffer, size);
}
void ServerComponent::SetRemotePath(const char* text) {
    if (ReadableString(text))
        remotePath_ = text;
}
void ServerComponent::SetSizeText(const char* text) {
    if (ReadableString(text))
        sizeText_ = text;
}
void ServerComponent::SetMd5Text(const char* text) {
    if (ReadableString(text))
        md5Text_ = text;
}

}  // namespace netrefit
