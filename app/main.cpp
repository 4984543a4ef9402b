// Netrefit: web upgrade program for the Melorra suite.
#include <windows.h>

#include "app/UpgradeApp.h"
#include "hashgate/VerifyFileDigest.h"

namespace {
// The program is bound to Hashgate at load time: a missing or foreign Hashgate.dll stops it
// before any window opens, not in the middle of an upgrade.
bool (*volatile g_digestCheck)(const char*, const char*) = &netrefit::VerifyFileDigest;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    (void)g_digestCheck;
    netrefit::UpgradeApp app;
    return app.Run();
}
