#include "inventory/DownloadDecision.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "common/DeviceName.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SystemEnvironment.h"

namespace netrefit {

namespace {

constexpr size_t kDisplayNameBuffer = 255;

const ServerComponent* AsServer(const ComponentVersion* record) {
    return dynamic_cast<const ServerComponent*>(record);
}

// Decimal value of the leading digits (blanks before them passed over); 0 when there are none
// or the number does not fit 64 bits.
uint64_t LeadingByteCount(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (~0ull - digit) / 10) {
            return 0;
        }
        value = value * 10 + digit;
    }
    return value;
}

// The same, 0 when the number does not fit 31 bits.
int32_t LeadingNumber(const std::string& text) {
    uint64_t value = LeadingByteCount(text);
    return value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

// A file name the download may create in its folder: no folder parts, no reserved characters,
// no device, and no trailing dot or blank, which Windows drops, so that the file made would not
// be the one the entry names.
bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ' || IsReservedDeviceName(name)) {
        return false;
    }
    for (unsigned char c : name) {
        if (c < 32 || std::strchr("\\/:*?\"<>|", c) != nullptr) {
            return false;
        }
    }
    return true;
}

bool HotFixesPresent(const ComponentVersion& server, const DecisionContext& context) {
    for (size_t i = 0; i < server.HotFixCount(); ++i) {
        if (!context.isHotFixInstalled || !context.isHotFixInstalled(server.HotFix(i))) {
            return false;
        }
    }
    return true;
}

// DirectX 8.1 and later read as 4.8.1 and above.
bool IsDirectX81OrLater(const ComponentVersion& installed) {
    return installed.Minor() > 8 || (installed.Minor() == 8 && installed.Build() >= 1);
}

bool AddSecureModule(DownloadList& list,
                     ComponentCatalog& installed,
                     ComponentCatalog& server,
                     const DecisionContext& context,
                     bool reinstall) {
    const ComponentVersion* have = installed.KeldraSecureModule();
    const ServerComponent* offer = AsServer(server.KeldraSecureModule());
    if (have != nullptr && offer != nullptr && have->IsSameAs(*offer) &&
        !HotFixesPresent(*offer, context)) {
        have = nullptr;  // same version, but a required hot fix is missing
    }
    return AddIfNeeded(list, have, offer, reinstall, context.downloadFolder);
}

bool AddDirectX(DownloadList& list,
                ComponentCatalog& installed,
                ComponentCatalog& server,
                const DecisionContext& context,
                bool reinstall) {
    const ComponentVersion* have = installed.DirectX();
    const ServerComponent* offer = AsServer(server.DirectX());
    if (have != nullptr && IsDirectX81OrLater(*have)) {
        if (!reinstall) {
            return false;  // a recent DirectX is never upgraded by us
        }
        if (offer != nullptr && have->IsOlderThan(*offer)) {
            have = nullptr;
        }
    }
    return AddIfNeeded(list, have, offer, reinstall, context.downloadFolder);
}

bool AddExtension(DownloadList& list,
                  ComponentCatalog& installed,
                  ComponentCatalog& server,
                  const DecisionContext& context,
                  bool reinstall) {
    bool writerPresent = installed.MelorraDiscWriter() != nullptr;
    const ComponentVersion* have = nullptr;
    const ServerComponent* offer = nullptr;
    if (!context.connect) {
        have = context.enableCddb ? installed.MelorraAddonCddb() : installed.MelorraAddonNocddb();
        bool noLookup = !context.enableCddb && !writerPresent && !context.freeCddb;
        offer = AsServer(noLookup ? server.MelorraAddonNocddb() : server.MelorraAddonCddb());
    } else {
        have = installed.MelorraAddonCdBurn();
        offer = AsServer(context.osCode >= 64 ? server.MelorraAddonCdBurn()
                                              : server.MelorraAddonTesselCdBurn());
    }
    if (context.freeCddb && !context.enableCddb && offer != nullptr) {
        have = nullptr;
    }
    return AddIfNeeded(list, have, offer, reinstall, context.downloadFolder);
}

}  // namespace

bool MakeDownloadEntry(DownloadEntry& entry,
                       const ServerComponent& server,
                       const std::string& downloadFolder) {
    const std::string& url = server.RemotePath();
    if (url.empty() || url.size() > kMaxEntryUrlChars || !entry.SetUrl(url)) {
        return false;
    }
    const std::string& fileName = entry.FileName();
    std::string localPath = downloadFolder + fileName;
    if (!IsPlainFileName(fileName) || localPath.size() >= MAX_PATH) {
        return false;
    }
    // A mirror is held to the same limits as the path, and a bad one to the same end.
    for (const std::string& mirror : server.Mirrors()) {
        RemoteFile parsed;
        if (mirror.size() > kMaxEntryUrlChars || !parsed.SetUrl(mirror)) {
            return false;
        }
    }
    entry.SetMirrors(server.Mirrors());
    entry.SetLocalPath(localPath);
    entry.SetSize(LeadingNumber(server.SizeText()));
    char name[kDisplayNameBuffer] = "";
    server.DisplayName(name, sizeof(name));
    entry.SetName(name);
    entry.SetMd5(server.Md5Text());
    entry.SetSha256(server.Sha256Text());
    entry.SetDeclaredBytes(LeadingByteCount(server.SizeText()));
    return true;
}

bool AddIfNeeded(DownloadList& list,
                 const ComponentVersion* installed,
                 const ServerComponent* server,
                 bool reinstall,
                 const std::string& downloadFolder) {
    if (server == nullptr) {
        return false;
    }
    if (installed != nullptr) {
        bool wanted = reinstall ? installed->IsSameAs(*server) : installed->IsOlderThan(*server);
        if (!wanted) {
            return false;
        }
    }
    DownloadEntry entry;
    if (!MakeDownloadEntry(entry, *server, downloadFolder)) {
        return false;
    }
    list.push_back(entry);
    return true;
}

void BuildDownloadList(DownloadList& list,
                       ComponentCatalog& installed,
                       ComponentCatalog& server,
                       const DecisionContext& context,
                       UpgradeMode mode) {
    list.clear();
    const bool reinstall = mode == UpgradeMode::Reinstall;
    const std::string& folder = context.downloadFolder;

    AddSecureModule(list, installed, server, context, reinstall);
    // Every platform component brings the common library along.
    bool platform = AddDirectX(list, installed, server, context, reinstall);
    if (AddIfNeeded(list, installed.MDAC(), AsServer(server.MDAC()), reinstall, folder)) {
        platform = true;
    }
    if (AddIfNeeded(list, installed.WMFSDK(), AsServer(server.WMFSDK()), reinstall, folder)) {
        platform = true;
    }
    const ComponentVersion* library = platform ? nullptr : installed.MelorraCommonLibrary();
    AddIfNeeded(list, library, AsServer(server.MelorraCommonLibrary()), reinstall, folder);
    AddIfNeeded(list, installed.Melorra(), AsServer(server.Melorra()), reinstall, folder);
    AddExtension(list, installed, server, context, reinstall);

    DownloadEntry starter;
    if (!list.empty() && context.launcher != nullptr &&
        MakeDownloadEntry(starter, *context.launcher, folder)) {
        list.push_back(starter);
    }
}

DecisionContext MakeDecisionContext(InstalledCatalog& installed,
                                    ServerCatalog& server,
                                    int32_t osCode,
                                    const std::string& downloadFolder) {
    DecisionContext context;
    context.osCode = osCode;
    context.enableCddb = installed.EnableCddb();
    context.connect = server.Connect();
    context.freeCddb = server.FreeCddb();
    context.launcher = server.Launcher();
    context.isHotFixInstalled = [&installed](const std::string& hotFix) {
        return installed.IsHotFixInstalled(hotFix.c_str()) != 0;
    };
    context.downloadFolder = downloadFolder;
    return context;
}

void BuildDownloadList(DownloadList& list,
                       InstalledCatalog& installed,
                       ServerCatalog& server,
                       UpgradeMode mode,
                       const std::string& downloadFolder) {
    list.clear();
    DecisionContext context =
        MakeDecisionContext(installed, server, SystemEnvironment().OsCode(), downloadFolder);
    BuildDownloadList(list, static_cast<ComponentCatalog&>(installed),
                      static_cast<ComponentCatalog&>(server), context, mode);
}

void ApplyReferenceVersions(InstalledCatalog& installed, const ServerCatalog& server) {
    installed.SetReference(kKindMelorra, server.ReferenceMl().c_str());
    installed.SetReference(kKindMelorraPlus, server.ReferenceMlp().c_str());
    installed.SetReference(kKindMelorraDiscWriter, server.ReferenceMldw().c_str());
    installed.SetReference(kKindKeldraPlayer, server.ReferenceKdpl().c_str());
}

bool CheckSelfVersion(ComponentCatalog& installed,
                      ComponentCatalog& server,
                      const char* programFolder) {
    const ComponentVersion* have = installed.UpdateAgent(programFolder);
    const ComponentVersion* offer = server.UpdateAgent(programFolder);
    if (have == nullptr || offer == nullptr) {
        return true;
    }
    return !have->IsOlderThan(*offer);
}

bool CheckSelfVersion(ComponentCatalog& installed, ComponentCatalog& server) {
    char folder[MAX_PATH + 1] = "";
    DWORD length = ::GetCurrentDirectoryA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) {
        return CheckSelfVersion(installed, server, nullptr);
    }
    std::string programFolder = folder;
    if (programFolder.back() != '\\') {
        programFolder += '\\';
    }
    return CheckSelfVersion(installed, server, programFolder.c_str());
}

}  // namespace netrefit
