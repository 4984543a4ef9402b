#include "app/RunLog.h"

#include "common/SupportLog.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/UpgradePlan.h"

namespace netrefit {
namespace {

std::string VersionText(const ComponentVersion* version) {
    if (version == nullptr) {
        return "none";
    }
    char text[64] = "";
    version->FormatVersion(text, sizeof(text));
    return text;
}

const char* OutcomeText(const UpgradePlan& plan) {
    switch (plan.outcome) {
        case PlanOutcome::Upgrade:
            return "upgrade";
        case PlanOutcome::Reinstall:
            return "everything up to date, reinstall offered";
        default:
            return "refused";
    }
}

}  // namespace

void LogSettings(const SetupInfo& setup, const std::string& language) {
    if (!SupportLogEnabled()) {
        return;
    }
    LogLine("Settings " + setup.Path() + ": Server=" + setup.Server() +
            " Version=" + setup.Version() + " SupportOS=" + std::to_string(setup.SupportOS()) +
            " SupportApplicationLang=" + setup.SupportApplicationLang() + " SupportOSLang=" +
            setup.SupportOSLang() + " NonSupportOSLang=" + setup.NonSupportOSLang() +
            " PublicKeys=" + std::to_string(setup.PublicKeys().size()));
    LogLine("Application language " + language + "; server file " + setup.ServerFileUrl(language));
}

void LogComponents(InstalledCatalog& installed, ServerCatalog& server, const std::string& folder) {
    if (!SupportLogEnabled()) {
        return;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        auto index = static_cast<CatalogSlot>(slot);
        ComponentVersion* offered = server.Get(index, folder.c_str());
        if (offered == nullptr) {
            continue;
        }
        char name[128] = "";
        offered->DisplayName(name, sizeof(name));
        LogLine(std::string("Component ") + name + ": installed " +
                VersionText(installed.Get(index, folder.c_str())) + ", offered " +
                VersionText(offered));
    }
}

void LogPlan(const UpgradePlan& plan) {
    if (!SupportLogEnabled()) {
        return;
    }
    std::string text = std::string("Decision: ") + OutcomeText(plan);
    if (plan.messageId != 0) {
        text += " (message " + std::to_string(plan.messageId) + ")";
    }
    LogLine(text);
    LogModules("Module to download", plan.list);
}

void LogModules(const char* heading, const DownloadList& list) {
    for (const DownloadEntry& entry : list) {
        LogLine(std::string(heading) + ": " + entry.Name() + ", " + std::to_string(entry.Size()) +
                " bytes" + (entry.AlreadyDownloaded() != 0 ? " (downloaded before)" : ""));
    }
}

}  // namespace netrefit
