#include "publish/StateCatalog.h"

#include <windows.h>

#include <cstdlib>

#include "inventory/ServerCatalog.h"
#include "publish/ModuleChecks.h"
#include "publish/PublishFiles.h"

namespace netrefit {
namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        size_t end = text.find(' ', at);
        words.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return words;
}

bool ReadNumber(const std::string& path, const char* key, int* value, std::string* problem) {
    std::string text = ProfileText(path, "Machine", key);
    if (text.empty()) {
        return true;  // the default stands
    }
    char* end = nullptr;
    long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0') {
        *problem = std::string("[Machine] ") + key + ": \"" + text + "\" is not a number";
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

const char* ThisBuildVersion() {
    return NETREFIT_VERSION;
}

bool StateCatalog::ReadVersion(const std::string& path,
                               const char* section,
                               const char* key,
                               int32_t kind,
                               std::unique_ptr<ComponentVersion>* record,
                               std::string* problem) {
    std::string text = ProfileText(path, section, key);
    if (text.empty()) {
        return true;
    }
    if (!IsClientVersion(text)) {
        *problem = std::string("[") + section + "] " + key + ": \"" + text + "\" is not a version";
        return false;
    }
    record->reset(new ComponentVersion(kind));
    (*record)->ParseVersion(text.c_str());
    return true;
}

bool StateCatalog::Load(const std::string& file, std::string* problem) {
    std::string path = FullPath(file);
    if (!IsFile(path)) {
        *problem = "state file " + file + " cannot be read";
        return false;
    }
    for (size_t i = 0; i < ServerSectionCount(); ++i) {
        const ServerSectionInfo& section = ServerSection(i);
        // The installed side has one CD-burning extension record for both variants.
        if (section.place == kLauncherPlace || section.place == kSlotMelorraAddonTesselCdBurn) {
            continue;
        }
        std::unique_ptr<ComponentVersion> record;
        const char* from = section.place == kSlotUpdateAgent ? "Program" : "Installed";
        const char* key = section.place == kSlotUpdateAgent ? "Version" : section.name;
        if (!ReadVersion(path, from, key, section.kind, &record, problem)) {
            return false;
        }
        if (section.place == kSlotUpdateAgent && !record) {
            record.reset(new ComponentVersion(kKindUpdateAgent));
            record->ParseVersion(ThisBuildVersion());
        }
        Store(static_cast<CatalogSlot>(section.place), record.release());
    }
    if (!ReadVersion(path, "Installed", "MelorraPlus", kKindMelorraPlus, &plus_, problem) ||
        !ReadVersion(path, "Installed", "LinkdiscDiscWriter", kKindLinkdiscDiscWriter,
                     &linkdiscWriter_, problem)) {
        return false;
    }
    for (const std::string& item : SplitList(ProfileText(path, "Installed", "HotFixes"))) {
        std::vector<std::string> words = Words(item);
        hotFixes_.emplace_back(words.size() > 1 ? words[1] : words[0], words[0]);
    }
    int os = kOsWindowsXP, admin = 1, doubleByte = 0, coverArt = 1;
    if (!ReadNumber(path, "OS", &os, problem) || !ReadNumber(path, "Admin", &admin, problem) ||
        !ReadNumber(path, "DoubleByteUserName", &doubleByte, problem) ||
        !ReadNumber(path, "EnableCDDB", &enableCddb_, problem) ||
        !ReadNumber(path, "CoverArt", &coverArt, problem)) {
        return false;
    }
    // As the registration probe reads it: a "Key" that exists and is not 1.
    coverArt_ = ProfileText(path, "Machine", "CoverArt").empty() ? 0 : coverArt != 1;
    enableCddb_ = enableCddb_ == 1 ? 1 : 0;
    facts_.osCode = os;
    facts_.isAdmin = admin;
    facts_.hasDoubleByteUserName = doubleByte;
    std::string language = ProfileText(path, "Machine", "Language");
    if (!language.empty()) {
        facts_.language = LanguageFromName(language.c_str());
        if (facts_.language == 0) {
            *problem =
                "[Machine] Language: \"" + language + "\" is not a language the client knows";
            return false;
        }
    }
    return true;
}

// The uninstall entry a hot fix leaves: its fourth word is the hot fix's id.
bool StateCatalog::HotFixDisplayName(const std::string& series, std::string* displayName) {
    bool found = false;
    for (const auto& hotFix : hotFixes_) {
        if (::lstrcmpiA(hotFix.first.c_str(), series.c_str()) == 0) {
            *displayName = "Keldra Secure HotFix " + hotFix.second;
            found = true;
        }
    }
    return found;
}

}  // namespace netrefit
