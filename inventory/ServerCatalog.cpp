#include "inventory/ServerCatalog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/TextChecks.h"
#include "common/UniqueHandle.h"
#include "download/MirrorList.h"
#include "signature/UpdateSignature.h"

namespace netrefit {
namespace {

const bool kFullSection = false;
const bool kVersionOnly = true;

const ServerSectionInfo kSectionRows[] = {
    {"Melorra", kKindMelorra, kSlotMelorra, kFullSection},
    {"MelorraDiscWriter", kKindMelorraDiscWriter, kSlotMelorraDiscWriter, kFullSection},
    {"KeldraPlayer", kKindKeldraPlayer, kSlotKeldraPlayer, kFullSection},
    {"KeldraSecureModule", kKindKeldraSecureModule, kSlotKeldraSecureModule, kFullSection},
    {"MelorraCommonLibrary", kKindMelorraCommonLibrary, kSlotMelorraCommonLibrary, kFullSection},
    {"MelorraAddonCddb", kKindMelorraExtension, kSlotMelorraAddonCddb, kFullSection},
    {"MelorraAddonNocddb", kKindMelorraExtension, kSlotMelorraAddonNocddb, kFullSection},
    {"MelorraAddonCdBurn", kKindMelorraExtension, kSlotMelorraAddonCdBurn, kFullSection},
    {"MelorraAddonTesselCdBurn", kKindMelorraExtension, kSlotMelorraAddonTesselCdBurn,
     kFullSection},
    {"DirectX", kKindDirectX, kSlotDirectX, kFullSection},
    {"MDAC", kKindMdac, kSlotMdac, kFullSection},
    {"WMFSDK", kKindWindowsMediaFormat, kSlotWmfSdk, kFullSection},
    {"LauncherMl", kKindSetupStarter, kLauncherPlace, kFullSection},
    {"UpdateAgent", kKindUpdateAgent, kSlotUpdateAgent, kVersionOnly},
};

// A missing section or key name would make the profile functions list names instead of
// reading a value, and a bare or empty file name would send them to the Windows folder.
bool UsableArguments(const char* filePath, const char* section) {
    return ReadableString(filePath) && ReadableString(section) && filePath[0] != '\0' &&
           section[0] != '\0' && std::strlen(filePath) <= ServerCatalog::kMaxPathChars;
}

// The value of key cut to maxChars characters by the profile functions; "" when missing.
std::string ReadText(const char* filePath, const char* section, const char* key, size_t maxChars) {
    std::string buffer(maxChars + 1, '\0');
    DWORD got = ::GetPrivateProfileStringA(section, key, "", &buffer[0],
                                           static_cast<DWORD>(buffer.size()), filePath);
    buffer.resize(got);
    return buffer;
}

// The remote path names the module to fetch and its local file: a cut path would name another
// file, so an overlong one reads as empty and leaves the section incomplete.
std::string ReadWholePath(const char* filePath, const char* section) {
    std::string path = ReadText(filePath, section, "path", ServerCatalog::kMaxRemotePathChars + 1);
    return path.size() > ServerCatalog::kMaxRemotePathChars ? std::string() : path;
}

// "HotFixNN HotFixSeriesNN" entries from 01 up to the first empty HotFix value.
TextList ReadHotFixes(const char* filePath, const char* section) {
    TextList hotFixes;
    for (int number = 1; number <= ServerCatalog::kMaxHotFixes; ++number) {
        char key[32];
        std::snprintf(key, sizeof(key), "HotFix%02d", number);
        std::string id = ReadText(filePath, section, key, ServerCatalog::kMaxHotFixChars);
        if (id.empty()) {
            break;
        }
        std::snprintf(key, sizeof(key), "HotFixSeries%02d", number);
        hotFixes.push_back(id + " " +
                           ReadText(filePath, section, key, ServerCatalog::kMaxHotFixChars));
    }
    return hotFixes;
}

// A cut or overfull list would hide URLs the deployer wrote: like a cut path, it leaves the
// section incomplete.
bool ReadMirrors(const char* filePath, const char* section, TextList* urls) {
    std::string text = ReadText(filePath, section, "Mirrors", ServerCatalog::kMaxMirrorsChars + 1);
    return text.size() <= ServerCatalog::kMaxMirrorsChars && SplitMirrorList(text, urls);
}

bool IsOne(const std::string& text) {
    return text == "1";
}

}  // namespace

size_t ServerSectionCount() {
    return sizeof(kSectionRows) / sizeof(kSectionRows[0]);
}

const ServerSectionInfo& ServerSection(size_t index) {
    return kSectionRows[index < ServerSectionCount() ? index : 0];
}

int ServerCatalog::ReadComponentSection(const char* filePath,
                                        const char* section,
                                        ServerComponent* record) {
    if (record == nullptr || !UsableArguments(filePath, section)) {
        return 0;
    }
    std::string version = ReadText(filePath, section, "Version", kMaxVersionChars);
    std::string remotePath = ReadWholePath(filePath, section);
    if (remotePath.empty()) {
        return 0;
    }
    std::string size = ReadText(filePath, section, "Size", kMaxSizeChars);
    if (size.empty()) {
        return 0;
    }
    std::string md5 = ReadText(filePath, section, "MD5", kMaxMd5Chars);
    if (md5.empty()) {
        return 0;
    }
    TextList mirrors;
    if (!ReadMirrors(filePath, section, &mirrors)) {
        return 0;
    }
    TextList hotFixes = ReadHotFixes(filePath, section);
    std::string sha256 = ReadText(filePath, section, "SHA256", kMaxSha256Chars);

    record->ParseVersion(version.c_str());
    record->SetRemotePath(remotePath.c_str());
    record->SetSizeText(size.c_str());
    record->SetMd5Text(md5.c_str());
    record->SetSha256Text(sha256);
    record->ClearHotFixes();
    record->AddHotFixes(hotFixes);
    record->SetMirrors(mirrors);
    return 1;
}

int ServerCatalog::ReadVersionSection(const char* filePath,
                                      const char* section,
                                      ComponentVersion* record) {
    if (record == nullptr || !UsableArguments(filePath, section)) {
        return 0;
    }
    std::string version = ReadText(filePath, section, "Version", kMaxVersionChars);
    if (version.empty()) {
        return 0;
    }
    record->ParseVersion(version.c_str());
    return 1;
}

int ServerCatalog::Load(const char* filePath) {
    if (!ReadableString(filePath) || filePath[0] == '\0' || std::strlen(filePath) > kMaxPathChars) {
        return kServerLoadBadPath;
    }
    // Read access without sharing fails for a missing file and for one that someone still holds
    // open, for instance a download that has not been closed yet. An open without data access
    // would not do: the system skips the sharing check for it.
    FileHandle file(::CreateFileA(filePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        filePath_ = filePath;
        return kServerLoadCannotOpen;
    }
    file.reset();
    return LoadHeld(filePath);
}

int ServerCatalog::LoadHeld(const char* filePath) {
    if (!ReadableString(filePath) || filePath[0] == '\0' || std::strlen(filePath) > kMaxPathChars) {
        return kServerLoadBadPath;
    }
    filePath_ = filePath;
    ReadSettings();
    ReadComponents();
    return kServerLoadOk;
}

void ServerCatalog::ReadSettings() {
    const char* path = filePath_.c_str();
    freeCddb_ = IsOne(ReadText(path, "Settings", "FreeCDDB", kMaxFlagChars)) ? 1 : 0;
    referenceMl_ = ReadText(path, "Settings", "ML", kMaxVersionChars);
    referenceMldw_ = ReadText(path, "Settings", "MLDW", kMaxVersionChars);
    referenceMlp_ = ReadText(path, "Settings", "MLP", kMaxVersionChars);
    referenceKdpl_ = ReadText(path, "Settings", "KDPL", kMaxVersionChars);
    connect_ = IsOne(ReadText(path, "Settings", "Connect", kMaxFlagChars)) ? 1 : 0;
}

void ServerCatalog::ReadComponents() {
    const char* path = filePath_.c_str();
    moduleWithoutSha256_ = false;
    for (const ServerSectionInfo& row : kSectionRows) {
        std::unique_ptr<ServerComponent> record(new ServerComponent(row.kind));
        int complete = row.versionOnly ? ReadVersionSection(path, row.name, record.get())
                                       : ReadComponentSection(path, row.name, record.get());
        if (complete != 1) {
            continue;
        }
        if (!row.versionOnly && !IsSha256Text(record->Sha256Text())) {
            moduleWithoutSha256_ = true;
        }
        if (row.place == kLauncherPlace) {
            launcher_ = std::move(record);
        } else {
            Store(static_cast<CatalogSlot>(row.place), record.release());
        }
    }
}

}  // namespace netrefit
