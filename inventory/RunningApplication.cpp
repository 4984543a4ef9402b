// The check, just before the suite's installer starts, that nothing it would disturb is running.

#include <windows.h>

#include "inventory/AppLockRegistry.h"
#include "inventory/SystemEnvironment.h"

namespace netrefit {

const char* const RUNNING_DIALOG_TITLES[RUNNING_DIALOG_TITLE_COUNT] = {
    "Keldra Player",
    "Keldra CD Recorder",
    "Keldra File Importer",
    // The Japanese edition's backup tool, in code page 932.
    "Keldra Player \x83\x6F\x83\x62\x83\x4E\x83\x41\x83\x62\x83\x76\x83\x63\x81\x5B\x83\x8B",
    "Keldra Player Backup Tool",
};

namespace {

// The class atom of dialog windows ("#32770").
const char* DialogClass() {
    return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(0x8002));
}

bool DialogRunning(const char* title) {
    return FindWindowA(DialogClass(), title) != nullptr;
}

// Names the other holders of the backup lock, taking the lock when nobody holds it.
int FindLockHolders(const char* ownName, std::string& names) {
    AppLockRegistry& registry = GetAppLockRegistry();
    if (!registry.HasLockName(BACKUP_LOCK_NAME)) {
        registry.AddLockName(BACKUP_LOCK_NAME);
    }
    bool global = false;
    int count = registry.ProbeLocalLocks(ownName);
    if (count == 0) {
        count = registry.ProbeGlobalLocks(ownName);
        global = true;
    }
    for (int i = 0; i < count; ++i) {
        const char* holder = global ? registry.GlobalHolderName(i) : registry.LocalHolderName(i);
        if (i > 0) {
            names += ", ";
        }
        names += holder != nullptr ? holder : "";
    }
    return count > 0 ? 1 : 0;
}

}  // namespace

int FindRunningApplication(const char* ownName, std::string& names) {
    names.clear();
    if (FindLockHolders(ownName, names) != 0) {
        return 1;
    }
    for (const char* title : RUNNING_DIALOG_TITLES) {
        if (DialogRunning(title)) {
            names = title;
            return 1;
        }
    }
    if (DialogRunning(SIMPLE_MODE_TITLE)) {
        names = SIMPLE_MODE_NAME;
        return 1;
    }
    if (FindWindowA(JUKEBOX_CLASS, JUKEBOX_TITLE) != nullptr) {
        names = JUKEBOX_TITLE;
        return 1;
    }
    return 0;
}

}  // namespace netrefit
