#include "inventory/InstalledCatalog.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <new>
#include <vector>

#include "common/TextChecks.h"
#include "inventory/MachineProbes.h"

namespace netrefit {

namespace {

const char kMainUninstallKey1[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";
const char kMainUninstallKey2[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{0D93B4E2-7A61-4F58-B2C7-91E0F3A6D854}";
const char kMainJukeboxKey[] = "Software\\Tavrin Corporation\\Melorra\\Jukebox";
const char kMainVersionKey[] = "Software\\Tavrin Corporation\\Melorra\\Version";
const char kPlusJukeboxKey[] = "Software\\Tavrin Corporation\\Melorra Plus\\Jukebox";
const char kPlusVersionKey[] = "Software\\Tavrin Corporation\\Melorra Plus\\Version";
const char kDiscWriterVersionKey[] = "Software\\Tavrin Corporation\\Melorra Disc Writer\\Version";
const char kLinkdiscVersionKey[] = "Software\\Tavrin Corporation\\Linkdisc Disc Writer\\Version";
const char kPlayerJukeboxKey[] = "Software\\Tavrin Corporation\\Keldra Player\\Jukebox";
const char kPlayerCoverArtKey[] = "Software\\Tavrin Corporation\\Keldra Player\\Custom\\CoverArt";
const char kKeldraKey[] = "Software\\Tavrin Corporation\\Keldra";
const char kCommonLibraryKey[] =
    "Software\\Tavrin Corporation\\Shared Info\\AppDB\\Melorra Common Library";
const char kAddonCddbKey[] =
    "Software\\Tavrin Corporation\\Melorra\\Addon\\{C47E2A19-6D05-4B8A-A3F1-5E9D07B2C6E1}";
const char kAddonNocddbKey[] =
    "Software\\Tavrin Corporation\\Melorra\\Addon\\{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}";
const char kAddonCdBurnKey[] =
    "Software\\Tavrin Corporation\\Melorra\\Addon\\{61A8D5C3-F74B-4E92-B01D-7C3E2A9F584B}";
const char kCdInfoKey[] = "Software\\Tavrin Corporation\\Melorra\\CDInfo";
const char kHotFixKeyPrefix[] =
    "SOFTWARE\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\Keldra HotFix";

constexpr size_t kPathText = 261;
constexpr size_t kPlayerPathText = 260;
constexpr size_t kVersionText = 24;

// A new record of kind holding the version text, or nullptr when it cannot be created.
ComponentVersion* RecordFromText(int32_t kind, const std::string& text) {
    ComponentVersion* record = new (std::nothrow) ComponentVersion(kind);
    if (record != nullptr) {
        record->ParseVersion(text.c_str());
    }
    return record;
}

// The file named name in the folder of the file path; false when path has no folder part or
// the result would not fit a Windows path.
bool Beside(const std::string& path, const char* name, std::string* result) {
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        return false;
    }
    return JoinPath(path.substr(0, slash + 1), name, result);
}

std::vector<std::string> BlankSeparatedWords(const std::string& text) {
    std::vector<std::string> words;
    size_t start = text.find_first_not_of(' ');
    while (start != std::string::npos) {
        size_t end = text.find(' ', start);
        words.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(' ', end);
    }
    return words;
}

// Version of a product registered with a "Jukebox" key: the first line of "Version.txt" beside
// its program when that file exists, else the default value of its Version key.
ComponentVersion* DetectJukeboxProduct(int32_t kind,
                                       const char* jukeboxKey,
                                       const char* versionKey) {
    std::string program;
    if (!ReadMachineText(jukeboxKey, "InstalledPath", kPathText, &program)) {
        return nullptr;
    }
    std::string versionFile;
    if (Beside(program, "Version.txt", &versionFile) && ::PathFileExistsA(versionFile.c_str())) {
        char line[kVersionText];
        if (!ReadFirstLine(versionFile.c_str(), line, sizeof(line))) {
            return nullptr;
        }
        return RecordFromText(kind, line);
    }
    std::string text;
    if (!ReadMachineText(versionKey, "", kVersionText, &text)) {
        return nullptr;
    }
    return RecordFromText(kind, text);
}

ComponentVersion* DetectRegistryVersion(int32_t kind, const char* key, const char* value) {
    std::string text;
    if (!ReadMachineText(key, value, kVersionText, &text)) {
        return nullptr;
    }
    return RecordFromText(kind, text);
}

// An extension counts only while its "UninstallCount" is 0 (it is removed otherwise).
ComponentVersion* DetectAddon(const char* key) {
    uint32_t uninstallCount = 0;
    if (!ReadMachineNumber(key, "UninstallCount", &uninstallCount) || uninstallCount != 0) {
        return nullptr;
    }
    return DetectRegistryVersion(kKindMelorraExtension, key, "Version");
}

}  // namespace

InstalledCatalog::InstalledCatalog() {
    uint32_t enable = 0;
    enableCddb_ = ReadMachineNumber(kCdInfoKey, "enableCDDB", &enable) && enable == 1 ? 1 : 0;
}

int InstalledCatalog::IsMainRegistered() {
    std::string uninstall;
    return ReadMachineText(kMainUninstallKey1, "UninstallString", kPathText, &uninstall) ||
                   ReadMachineText(kMainUninstallKey2, "UninstallString", kPathText, &uninstall)
               ? 1
               : 0;
}

int InstalledCatalog::IsPlusRegistered() {
    std::string folder;
    return ReadMachineText(kPlusJukeboxKey, "InstalledPath", kPathText, &folder) ? 1 : 0;
}

int InstalledCatalog::IsPlayerRegistered() {
    std::string program;
    if (!ReadMachineText(kPlayerJukeboxKey, "InstalledPath", kPlayerPathText, &program)) {
        return 0;
    }
    uint32_t key = 0;
    playerCoverArtFlag_ = ReadMachineNumber(kPlayerCoverArtKey, "Key", &key) && key != 1 ? 1 : 0;
    return 1;
}

int InstalledCatalog::IsHotFixInstalled(const char* text) {
    if (!HasText(text)) {
        return 0;
    }
    std::vector<std::string> required = BlankSeparatedWords(text);
    if (required.empty()) {
        return 0;
    }
    const std::string& id = required[0];
    const std::string& series = required.size() > 1 ? required[1] : id;
    std::string displayName;
    if (!HotFixDisplayName(series, &displayName)) {
        return 0;
    }
    std::vector<std::string> words = BlankSeparatedWords(displayName);
    return words.size() >= 4 && ::lstrcmpiA(words[3].c_str(), id.c_str()) >= 0 ? 1 : 0;
}

bool InstalledCatalog::HotFixDisplayName(const std::string& series, std::string* displayName) {
    return ReadMachineText((kHotFixKeyPrefix + series).c_str(), "DisplayName", kPathText,
                           displayName);
}

ComponentVersion* InstalledCatalog::DetectMain() {
    if (!IsMainRegistered()) {
        return nullptr;
    }
    return DetectJukeboxProduct(kKindMelorra, kMainJukeboxKey, kMainVersionKey);
}

ComponentVersion* InstalledCatalog::DetectPlus() {
    if (!IsPlusRegistered()) {
        return nullptr;
    }
    return DetectJukeboxProduct(kKindMelorraPlus, kPlusJukeboxKey, kPlusVersionKey);
}

ComponentVersion* InstalledCatalog::DetectDiscWriter() {
    return DetectRegistryVersion(kKindMelorraDiscWriter, kDiscWriterVersionKey, "");
}

ComponentVersion* InstalledCatalog::DetectLinkdiscWriter() {
    return DetectRegistryVersion(kKindLinkdiscDiscWriter, kLinkdiscVersionKey, "");
}

ComponentVersion* InstalledCatalog::DetectPlayer() {
    if (!IsPlayerRegistered()) {
        return nullptr;
    }
    std::string program;
    if (!ReadMachineText(kPlayerJukeboxKey, "InstalledPath", kPlayerPathText, &program)) {
        return nullptr;
    }
    char text[kVersionText];
    std::string versionFile;
    if (Beside(program, "Version.txt", &versionFile) &&
        ReadFirstLine(versionFile.c_str(), text, sizeof(text))) {
        return RecordFromText(kKindKeldraPlayer, text);
    }
    if (GetFileVersionText(program.c_str(), text, sizeof(text))) {
        return RecordFromText(kKindKeldraPlayer, text);
    }
    return nullptr;
}

ComponentVersion* InstalledCatalog::DetectSecureModule() {
    return DetectRegistryVersion(kKindKeldraSecureModule, kKeldraKey, "InstallerVersion");
}

ComponentVersion* InstalledCatalog::DetectCommonLibrary() {
    return DetectRegistryVersion(kKindMelorraCommonLibrary, kCommonLibraryKey, "Version");
}

ComponentVersion* InstalledCatalog::DetectAddonCddb() {
    return DetectAddon(kAddonCddbKey);
}
ComponentVersion* InstalledCatalog::DetectAddonNocddb() {
    return DetectAddon(kAddonNocddbKey);
}
ComponentVersion* InstalledCatalog::DetectAddonCdBurn() {
    return DetectAddon(kAddonCdBurnKey);
}

ComponentVersion* InstalledCatalog::DetectDirectX() {
    uint32_t version = 0;
    uint32_t revision = 0;
    if (!QueryDirectXVersion(&version, &revision)) {
        return nullptr;
    }
    ComponentVersion* record = new (std::nothrow) ComponentVersion(kKindDirectX);
    if (record != nullptr) {
        record->SetVersion(HIWORD(version), LOWORD(version), HIWORD(revision), LOWORD(revision));
    }
    return record;
}

ComponentVersion* InstalledCatalog::DetectMdac() {
    std::string folder;
    if (!SuiteCommonFilesFolder(&folder)) {
        return nullptr;
    }
    char text[kVersionText];
    for (const char* library : {"System\\Ole DB\\Msdadc.dll", "System\\Ole DB\\Oledb32.dll"}) {
        std::string path;
        if (JoinPath(folder, library, &path) &&
            GetFileVersionText(path.c_str(), text, sizeof(text))) {
            return RecordFromText(kKindMdac, text);
        }
    }
    return nullptr;
}

ComponentVersion* InstalledCatalog::DetectWmfSdk() {
    std::string system;
    std::string path;
    char text[kVersionText];
    if (!SuiteSystemFolder(&system) || !JoinPath(system, "WMVcore.dll", &path) ||
        !GetFileVersionText(path.c_str(), text, sizeof(text))) {
        return nullptr;
    }
    return RecordFromText(kKindWindowsMediaFormat, text);
}

ComponentVersion* InstalledCatalog::DetectSelf(const char* folder) {
    char module[MAX_PATH] = "";
    DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const char* name = ::PathFindFileNameA(module);
    std::string path;
    if (HasText(folder)) {
        if (!JoinPath(folder, name, &path)) {
            return nullptr;
        }
    } else {
        char full[MAX_PATH] = "";
        DWORD fullLength = ::GetFullPathNameA(name, MAX_PATH, full, nullptr);
        if (fullLength == 0 || fullLength >= MAX_PATH) {
            return nullptr;
        }
        path = full;
    }
    char text[kVersionText];
    if (!GetFileVersionText(path.c_str(), text, sizeof(text))) {
        return nullptr;
    }
    return RecordFromText(kKindUpdateAgent, text);
}

}  // namespace netrefit
