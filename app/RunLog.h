#pragma once
// The support log's lines for the steps of an upgrade that are more than one value: the
// settings, the components and the decision. Nothing is written when the log is off.

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

class InstalledCatalog;
class ServerCatalog;
class SetupInfo;
struct UpgradePlan;

// Every setting but credentials (URLs are stripped of theirs by the log itself).
void LogSettings(const SetupInfo& setup, const std::string& language);
// Each component the server offers: installed and offered version.
void LogComponents(InstalledCatalog& installed, ServerCatalog& server, const std::string& folder);
// The decision and each module of its list, with its size.
void LogPlan(const UpgradePlan& plan);
void LogModules(const char* heading, const DownloadList& list);

}  // namespace netrefit
