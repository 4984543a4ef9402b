#pragma once
// What an upgrade comes to once the settings and the server information file are read: the
// refusals, the old-player question and the list of modules, decided without any window so that
// the main window and the publisher's dry run reach the same answer.

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

class InstalledCatalog;
class ServerCatalog;
class SetupInfo;
class SystemEnvironment;

// The message id of the first environment check that refuses (Windows language, Windows
// version, rights), or 0. Hands the settings' lists and mask to the environment.
unsigned EnvironmentRefusal(const SetupInfo& setup, SystemEnvironment& environment);

enum class OldPlayerCheck {
    Proceed,  // no player, or a recent one with cover art
    Ask,      // the user is asked whether to go on
    Refuse,   // an old player under a double-byte user name on Windows 2000 or XP
};
OldPlayerCheck CheckOldPlayer(InstalledCatalog& installed, const SystemEnvironment& environment);

enum class PlanOutcome { Upgrade, Reinstall, Refused };

struct UpgradePlan {
    PlanOutcome outcome = PlanOutcome::Refused;
    unsigned messageId = 0;      // the refusal's message
    bool asksOldPlayer = false;  // the old-player question comes before the list
    DownloadList list;           // the Upgrade list, else the Reinstall list
};

// The self-version check, the target check (unless the server's Connect is set), the old-player
// check, then the Upgrade list and, when that is empty, the Reinstall list. The catalogues
// already hold the server's reference versions.
UpgradePlan PlanUpgrade(InstalledCatalog& installed,
                        ServerCatalog& server,
                        const SystemEnvironment& environment,
                        const std::string& programFolder,
                        const std::string& downloadFolder);

}  // namespace netrefit
