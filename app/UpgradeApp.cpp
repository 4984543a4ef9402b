#include "app/UpgradeApp.h"

#include <utility>

#include "app/ModuleListDialog.h"
#include "common/NamedObjects.h"
#include "ui/ResourceModule.h"

namespace netrefit {

const UINT InstallerNotice = ::RegisterWindowMessageA(kInstallerNoticeName);

namespace {

// Later steps make the download folder the current directory; a DLL planted there must never be
// loaded in place of a system one. Older systems lack the call, so it is looked up.
void RemoveCurrentDirectoryFromDllSearch() {
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto setDllDirectory = kernel ? reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(
                                        ::GetProcAddress(kernel, "SetDllDirectoryA")))
                                  : nullptr;
    if (setDllDirectory) {
        setDllDirectory("");
    }
}

}  // namespace

int UpgradeApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool UpgradeApp::InitInstance() {
    RemoveCurrentDirectoryFromDllSearch();
    NamedObject instance = CreateNamedMutex(kAppTitle, false);
    instanceMutex_ = std::move(instance.handle);
    if (!instanceMutex_) {
        return false;
    }
    if (instance.existed) {
        HWND first = ::FindWindowA(nullptr, kAppTitle);
        if (first) {
            ::SetForegroundWindow(first);
        }
        return false;
    }
    RunMainWindow();
    return false;
}

int UpgradeApp::ExitInstance() {
    if (instanceMutex_) {
        // Never owned, so this fails harmlessly; the close is what frees the name.
        ::ReleaseMutex(instanceMutex_.get());
        instanceMutex_.reset();
    }
    return 0;
}

void UpgradeApp::RunMainWindow() {
    ModuleListDialog dialog(nullptr);
    dialog.RunModal();
}

}  // namespace netrefit
