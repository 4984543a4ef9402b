// From the user's OK to the installer, and the installer's notice back: restart or close.
#include <windows.h>

#include <string>

#include "app/FolderTree.h"
#include "app/ModuleListDialog.h"
#include "app/SystemActions.h"
#include "download/ProgressDialog.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/SystemEnvironment.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

const char kShutdownPrivilege[] = "SeShutdownPrivilege";

}  // namespace

void ModuleListDialog::BeginDownloadPhase() {
    INT_PTR result;
    {
        ProgressDialog progress(nullptr);
        progress.SetList(downloadList);
        progress.SetDownloadFolder(workFolder);
        progress.SetExtractFolder(extractFolder);
        ::ShowWindow(Window(), SW_HIDE);
        result = progress.RunModal();
    }
    if (result == 1) {
        if (CheckRunningApplications()) {
            RunInstaller();
            return;
        }
        DeleteFolderTree(extractFolder.c_str());
    } else if (result == 3) {
        DeleteFolderTree(workFolder.c_str());
    } else {
        // 2, and any result of a window that could not run: keep the downloads for a later run.
        DeleteFolderTree(extractFolder.c_str());
    }
    End(IDCANCEL);
}

bool ModuleListDialog::CheckRunningApplications() {
    std::string names;
    if (!FindRunningApplication(kAppTitle, names)) {
        return true;
    }
    ShowMessage(Window(), IDS_APPLICATION_RUNNING, MB_ICONEXCLAMATION, {names, names, names});
    return false;
}

void ModuleListDialog::RunInstaller() {
    std::string installer = extractFolder + "Setup.exe";
    // Quoted: the temporary folder usually holds blanks, and an unquoted line would let a
    // planted "C:\Documents.exe" run instead.
    std::string commandLine = "\"" + installer + "\"";
    ::ShowWindow(Window(), SW_HIDE);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = ::CreateProcessA(installer.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                    0, nullptr, nullptr, &startup, &process);
    installerStarted = true;
    if (started) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
        return;
    }
    ShowMessage(Window(), IDS_INSTALLER_FAILED, MB_ICONERROR);
    DeleteFolderTree(workFolder.c_str());
    OnCancel();
}

void ModuleListDialog::OnInstallerNotice(WPARAM wParam, LPARAM lParam) {
    if (wParam != 1) {
        return;
    }
    if (lParam == 1) {
        OnCancel();
    } else if (lParam == 2) {
        DeleteFolderTree(workFolder.c_str());
        ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ForceForeground(Window());
        ShowMessage(Window(), IDS_INSTALL_DONE, MB_ICONEXCLAMATION | MB_TOPMOST);
        RestartComputer();
    }
}

void ModuleListDialog::OnCancel() {
    if (!installerStarted && !closing) {
        if (ShowMessage(Window(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            return;
        }
    }
    DeleteFolderTree(extractFolder.c_str());
    End(IDCANCEL);
}

void ModuleListDialog::RestartComputer() {
    SystemEnvironment environment;
    bool restarting;
    if (environment.OsCode() >= kOsWindows2000) {
        restarting = EnablePrivilege(kShutdownPrivilege, nullptr, true) &&
                     ::ExitWindowsEx(EWX_REBOOT, 0);
        if (restarting) {
            EnablePrivilege(kShutdownPrivilege, nullptr, false);
        }
    } else {
        restarting = ::ExitWindowsEx(EWX_REBOOT, 0) != 0;
    }
    if (!restarting) {
        ShowMessage(Window(), IDS_RESTART_FAILED, MB_ICONEXCLAMATION);
    }
    // Also after an accepted request: the program has nothing left to do, and must not stay
    // behind hidden where the system accepts the request without restarting.
    ::PostMessageA(Window(), WM_CLOSE, 0, 0);
}

}  // namespace netrefit
