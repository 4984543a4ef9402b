#pragma once
// "dry-run": what a PC in a given state is offered, by the client's own decision.

#include <string>

#include "signature/UpdateSignature.h"

namespace netrefit {

struct DryRunOptions {
    std::string server;         // a server information file, or its URL (or the site's)
    std::string installed;      // state file; empty with fromRegistry
    bool fromRegistry = false;  // this PC's own detection instead
    std::string settings;       // the client's Netrefit.ini, for the checks that use it
    PublicKeyList keys;         // the server file must be signed by one; else the settings' keys
};

class SetupInfo;

// Reads a client's Netrefit.ini as the client does and says on standard error whether it makes a
// signed or an unsigned client; false, having said why, when the client refuses it (110).
bool ReadClientSettings(const std::string& settings, SetupInfo* setup);

// Prints "upgrade", "reinstall" or "refused NNN", then one line per module. 0 for an upgrade
// or a reinstall, 1 for a refusal or when the answer cannot be found. With keys the server
// file's signature file (beside a file, or its URL and ".sig") is checked as the client checks
// it. A URL is fetched as the client fetches it, the settings' Mirrors= after it, and standard
// error names the URL that served the server file, its signature file and each module.
int RunDryRun(const DryRunOptions& options);

}  // namespace netrefit
