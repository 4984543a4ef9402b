#pragma once
// Turns what is installed and what the server offers into the list of modules to download, and
// decides whether this copy of the program is recent enough to go on.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "download/RemoteFile.h"
#include "inventory/ComponentCatalog.h"
#include "inventory/ComponentVersion.h"

namespace netrefit {

class InstalledCatalog;
class ServerCatalog;

enum class UpgradeMode : int {
    Upgrade = 0,    // offer what is older than the server's
    Reinstall = 1,  // offer what equals the server's
};

// Everything the decision needs besides the two catalogues' slots.
struct DecisionContext {
    int32_t osCode = -1;  // OsCode of the computer; picks the CD-burning extension
    int enableCddb = 0;   // the installed main product looks CDs up online
    int connect = 0;      // server [Settings] Connect
    int freeCddb = 0;     // server [Settings] FreeCDDB
    const ServerComponent* launcher = nullptr;  // Setup Starter, appended last
    // Whether one hot-fix requirement ("<id> <series>") is met here; unset means never met.
    std::function<bool(const std::string&)> isHotFixInstalled;
    std::string downloadFolder;  // ends with a backslash; each entry's file goes there
};

// Longest module URL a download entry takes.
constexpr size_t kMaxEntryUrlChars = 254;

// Fills entry from the server's record: URL, local path in downloadFolder, size, name, digest.
// False, with the entry unusable, when the record's path is empty, longer than 254 characters,
// not a URL, or does not end in a plain file name that fits a path in downloadFolder (a device
// name such as "CON" or "com1.zip", or a name ending in a dot or blank, is not plain).
bool MakeDownloadEntry(DownloadEntry& entry,
                       const ServerComponent& server,
                       const std::string& downloadFolder);

// Appends the server's module when nothing is installed, or when the installed version is older
// (Upgrade) or the same (Reinstall). True when an entry was appended.
bool AddIfNeeded(DownloadList& list,
                 const ComponentVersion* installed,
                 const ServerComponent* server,
                 bool reinstall,
                 const std::string& downloadFolder);

// Clears list, then walks the components in their fixed order (secure module, DirectX, MDAC,
// Windows Media Format, common library, main product, one extension), then Setup Starter.
void BuildDownloadList(DownloadList& list,
                       ComponentCatalog& installed,
                       ComponentCatalog& server,
                       const DecisionContext& context,
                       UpgradeMode mode);

// The context of the real catalogues for a computer of the given OsCode.
DecisionContext MakeDecisionContext(InstalledCatalog& installed,
                                    ServerCatalog& server,
                                    int32_t osCode,
                                    const std::string& downloadFolder);

// The same over the real catalogues and this computer's Windows version.
void BuildDownloadList(DownloadList& list,
                       InstalledCatalog& installed,
                       ServerCatalog& server,
                       UpgradeMode mode,
                       const std::string& downloadFolder);

// Hands the server's reference versions ([Settings] ML, MLP, MLDW, KDPL) to the installed
// catalogue, which keeps the non-empty ones for its target checks.
void ApplyReferenceVersions(InstalledCatalog& installed, const ServerCatalog& server);

// False exactly when this program's file in programFolder is older than the server's
// update agent; true when either version is unknown.
bool CheckSelfVersion(ComponentCatalog& installed,
                      ComponentCatalog& server,
                      const char* programFolder);

// The same with the program's folder taken as the current directory.
bool CheckSelfVersion(ComponentCatalog& installed, ComponentCatalog& server);

}  // namespace netrefit
