// Netrefit: web upgrade program for the Melorra suite.
#include <windows.h>

#include "app/UpgradeApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    netrefit::UpgradeApp app;
    return app.Run();
}
