#include "inventory/SetupInfo.h"

#include <windows.h>

#include <cstring>

#include "common/FileStream.h"
#include "common/ProfileText.h"
#include "common/UniqueHandle.h"
#include "download/MirrorList.h"

namespace netrefit {
namespace {

const char kSetup[] = "Setup";
const char kMissing[] = "ERROR";

// The value of key, cut by the private-profile functions to maxChars characters.
std::string ReadText(const std::string& path,
                     const char* section,
                     const char* key,
                     const char* fallback,
                     size_t maxChars) {
    std::string buffer(maxChars + 1, '\0');
    DWORD got = ::GetPrivateProfileStringA(section, key, fallback, &buffer[0],
                                           static_cast<DWORD>(buffer.size()), path.c_str());
    buffer.resize(got);
    return buffer;
}

// Reads key into *value; false when the key is missing (its default "ERROR" in any case).
bool ReadSetupText(const std::string& path, const char* key, std::string* value) {
    *value = ReadText(path, kSetup, key, kMissing, SetupInfo::kMaxValueChars);
    return ::_stricmp(value->c_str(), kMissing) != 0;
}

// A URL must stay whole: one longer than the limit is refused rather than cut short.
bool ReadWholeUrl(const std::string& path, const char* key, std::string* value) {
    std::string text = ReadText(path, kSetup, key, kMissing, SetupInfo::kMaxValueChars + 1);
    if (text.size() > SetupInfo::kMaxValueChars) {
        value->clear();
        return false;
    }
    *value = text;
    return ::_stricmp(value->c_str(), kMissing) != 0;
}

// Absent or empty: no key. A text too long to hold whole is refused, as a malformed one is.
bool ReadPublicKeys(const std::string& path, PublicKeyList* keys) {
    std::string text = ReadText(path, kSetup, "PublicKey", "", SetupInfo::kMaxPublicKeyChars + 1);
    return text.size() <= SetupInfo::kMaxPublicKeyChars && ParsePublicKeyList(text, keys);
}

// Absent or empty: no mirror. Each URL must stay whole, as Server's must.
bool ReadMirrors(const std::string& path, std::vector<std::string>* mirrors) {
    std::string text = ReadText(path, kSetup, "Mirrors", "", SetupInfo::kMaxMirrorsChars + 1);
    bool usable = text.size() <= SetupInfo::kMaxMirrorsChars && SplitMirrorList(text, mirrors);
    for (const std::string& url : *mirrors) {
        usable = usable && url.size() <= SetupInfo::kMaxValueChars;
    }
    if (!usable) {
        mirrors->clear();
    }
    return usable;
}

std::string FileUrlUnder(std::string base, const std::string& languageName) {
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    return base + SetupInfo::ServerFileName(languageName);
}

// Settings files are a few hundred bytes; one past this is no settings file.
constexpr DWORD kMaxSettingsBytes = 1 << 20;

bool ReadSettingsBytes(const std::string& path, std::string* bytes) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadWholeHandle(file.get(), kMaxSettingsBytes, bytes);
}

// The profile functions read only the first [Setup] and the first PublicKey in it, so a key
// pasted below an empty line, into another section or into a second [Setup] would go unused and
// the client would run unsigned without a sign of it. Such a file is refused instead.
bool KeyPlacementIsUnambiguous(const std::string& text) {
    int setupSections = 0;
    int keyLines = 0;
    bool inSetup = false;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = TrimmedBlanks(text.substr(begin, end - begin));
        begin = end + 1;
        if (!line.empty() && line[0] == '[') {
            size_t close = line.find(']');
            std::string name = TrimmedBlanks(
                line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSetup = ::_stricmp(name.c_str(), kSetup) == 0;
            setupSections += inSetup ? 1 : 0;
            continue;
        }
        size_t equals = line.find('=');
        if (line.empty() || line[0] == ';' || equals == std::string::npos) {
            continue;
        }
        if (::_stricmp(TrimmedBlanks(line.substr(0, equals)).c_str(), "PublicKey") == 0) {
            ++keyLines;
            if (!inSetup) {
                return false;
            }
        }
    }
    return setupSections <= 1 && keyLines <= 1;
}

bool UsablePath(const std::string& path) {
    return !path.empty() && path.size() <= SetupInfo::kMaxPathChars &&
           path.find('\0') == std::string::npos;
}

}  // namespace

bool SetupInfo::ReadSetup() {
    std::string bytes;
    if (!UsablePath(path_) || !ReadSettingsBytes(path_, &bytes) ||
        !KeyPlacementIsUnambiguous(bytes)) {
        return false;
    }
    if (!ReadWholeUrl(path_, "Server", &server_) || !ReadSetupText(path_, "Version", &version_)) {
        return false;
    }
    supportOS_ = ::GetPrivateProfileIntA(kSetup, "SupportOS", 0, path_.c_str());
    if (supportOS_ == 0) {
        return false;
    }
    return ReadSetupText(path_, "SupportApplicationLang", &supportApplicationLang_) &&
           ReadSetupText(path_, "SupportOSLang", &supportOSLang_) &&
           ReadSetupText(path_, "NonSupportOSLang", &nonSupportOSLang_) &&
           ReadPublicKeys(path_, &publicKeys_) && ReadMirrors(path_, &mirrors_);
}

std::string SetupInfo::ReadLogFile(const std::string& path) {
    return UsablePath(path) ? ReadText(path, kSetup, "LogFile", "", kMaxPathChars) : std::string();
}

std::string SetupInfo::ReadResource(const std::string& languageName) const {
    // A missing key name would make the profile functions list every key of the section.
    if (!UsablePath(path_) || languageName.empty() ||
        languageName.find('\0') != std::string::npos) {
        return std::string();
    }
    return ReadText(path_, "Resource", languageName.c_str(), "", kMaxValueChars);
}

std::string SetupInfo::ServerFileName(const std::string& languageName) {
    return "Version_" + languageName + ".ini";
}

std::string SetupInfo::ServerFileUrl(const std::string& languageName) const {
    return FileUrlUnder(server_, languageName);
}

std::vector<std::string> SetupInfo::ServerFileUrls(const std::string& languageName) const {
    std::vector<std::string> urls{ServerFileUrl(languageName)};
    for (const std::string& mirror : mirrors_) {
        urls.push_back(FileUrlUnder(mirror, languageName));
    }
    return urls;
}

}  // namespace netrefit
