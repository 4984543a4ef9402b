#include "inventory/SetupInfo.h"

#include <windows.h>

#include <cstring>

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

bool UsablePath(const std::string& path) {
    return !path.empty() && path.size() <= SetupInfo::kMaxPathChars &&
           path.find('\0') == std::string::npos;
}

}  // namespace

bool SetupInfo::ReadSetup() {
    if (!UsablePath(path_)) {
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
           ReadPublicKeys(path_, &publicKeys_);
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
    std::string url = server_;
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    return url + ServerFileName(languageName);
}

}  // namespace netrefit
