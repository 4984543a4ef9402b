#include "inventory/UpgradePlan.h"

#include "inventory/DownloadDecision.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "resources/ResourceIds.h"

namespace netrefit {

unsigned EnvironmentRefusal(const SetupInfo& setup, SystemEnvironment& environment) {
    environment.SetLanguageLists(setup.SupportOSLang().c_str(), setup.NonSupportOSLang().c_str());
    environment.SetSupportedOsMask(setup.SupportOS());
    if (!environment.IsOsLanguageSupported()) {
        return IDS_UNSUPPORTED_LANGUAGE;
    }
    if (!environment.IsOsSupported()) {
        return IDS_UNSUPPORTED_VERSION;
    }
    if (!environment.IsAdminSufficient()) {
        return IDS_NOT_ADMINISTRATOR;
    }
    return 0;
}

OldPlayerCheck CheckOldPlayer(InstalledCatalog& installed, const SystemEnvironment& environment) {
    ComponentVersion* player = installed.KeldraPlayer();
    if (player == nullptr) {
        return OldPlayerCheck::Proceed;
    }
    bool later = player->Major() > 2 || (player->Major() == 2 && player->Minor() > 1);
    if (later && installed.IsPlayerCoverArt()) {
        return OldPlayerCheck::Proceed;
    }
    if (!later) {
        int32_t os = environment.OsCode();
        if ((os == kOsWindows2000 || os == kOsWindowsXP) && environment.HasDoubleByteUserName()) {
            return OldPlayerCheck::Refuse;
        }
    }
    return OldPlayerCheck::Ask;
}

UpgradePlan PlanUpgrade(InstalledCatalog& installed,
                        ServerCatalog& server,
                        const SystemEnvironment& environment,
                        const std::string& programFolder,
                        const std::string& downloadFolder) {
    UpgradePlan plan;
    if (!CheckSelfVersion(installed, server, programFolder.c_str())) {
        plan.messageId = IDS_NOT_LATEST_VERSION;
        return plan;
    }
    if (!server.Connect() && !installed.IsTargetPresent()) {
        plan.messageId = IDS_NO_TARGET_APPLICATION;
        return plan;
    }
    OldPlayerCheck player = CheckOldPlayer(installed, environment);
    if (player == OldPlayerCheck::Refuse) {
        plan.messageId = IDS_DOUBLE_BYTE_USER;
        return plan;
    }
    plan.asksOldPlayer = player == OldPlayerCheck::Ask;
    DecisionContext context =
        MakeDecisionContext(installed, server, environment.OsCode(), downloadFolder);
    BuildDownloadList(plan.list, installed, server, context, UpgradeMode::Upgrade);
    if (!plan.list.empty()) {
        plan.outcome = PlanOutcome::Upgrade;
        return plan;
    }
    BuildDownloadList(plan.list, installed, server, context, UpgradeMode::Reinstall);
    if (!plan.list.empty()) {
        plan.outcome = PlanOutcome::Reinstall;
        return plan;
    }
    plan.messageId = IDS_NOTHING_TO_UPGRADE;
    return plan;
}

}  // namespace netrefit
