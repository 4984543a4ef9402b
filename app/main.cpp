// Netrefit: web upgrade program for the Melorra suite.
#include <windows.h>

#include "app/UpgradeApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    netrefit::UpgradeApp app;
    app.SetCommandLine(commandLine != nullptr ? commandLine : "");
    return app.Run();
}
