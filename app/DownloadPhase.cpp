// From the user's OK to the installer, and the installer's notice back: restart or close.
#include <windows.h>

#include <string>

#include "app/FolderTree.h"
#include "app/InstallerProcess.h"
#include "app/ModuleListDialog.h"
#include "app/SystemActions.h"
#include "app/UpgradeApp.h"
#include "download/ProgressDialog.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/SystemEnvironment.h"
#include "resources/ResourceIds.h"
#include "ui/Foreground.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

const char kShutdownPrivilege[] = "SeShutdownPrivilege";

// The installer's notice: wParam names the sender, lParam what to do.
constexpr WPARAM kNoticeFromInstaller = 1;
constexpr LPARAM kNoticeClose = 1;
constexpr LPARAM kNoticeInstalled = 2;

// The time left for a notice once the installer is over.
constexpr UINT_PTR kNoticeTimer = 1;

bool IsNoticeAction(WPARAM wParam, LPARAM lParam) {
    return wParam == kNoticeFromInstaller && (lParam == kNoticeClose || lParam == kNoticeInstalled);
}

}  // namespace

void ModuleListDialog::BeginDownloadPhase() {
    INT_PTR result;
    {
        ProgressDialog progress(nullptr);
        progress.SetList(downloadList);
        progress.SetDownloadFolder(workFolder);
        progress.SetExtractFolder(extractFolder);
        staysHidden_ = true;
        ::ShowWindow(Window(), SW_HIDE);
        result = progress.RunModal();
    }
    if (result == ProgressDone) {
        if (CheckRunningApplications()) {
            RunInstaller();
            return;
        }
        extractFolderHold_.reset();
        DeleteFolderTree(extractFolder.c_str());
    } else if (result == ProgressExtractFailed) {
        extractFolderHold_.reset();
        DeleteFolderTree(workFolder.c_str());
    } else {
        // Stopped, and any result of a window that could not run: keep the downloads for a
        // later run.
        extractFolderHold_.reset();
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
    DropQueuedNotices();
    InstallerProcess process;
    // A link in the installer's place is not followed.
    bool started = !IsLinkPath(installer) && process.Start(installer, commandLine);
    extractFolderHold_.reset();
    installerStarted = true;
    if (!started) {
        ShowMessage(Window(), IDS_INSTALLER_FAILED, MB_ICONERROR);
        DeleteFolderTree(workFolder.c_str());
        OnCancel();
        return;
    }
    noticeExpected_ = true;
    waitingForInstaller_ = true;
    InstallerEnd end = process.WaitForEnd([this] { return NoticeQueued(); });
    waitingForInstaller_ = false;
    // A notice already queued is handled first; a helper's may still come.
    if (!::SetTimer(Window(), kNoticeTimer, NoticeWaitMs(end), nullptr)) {
        EndWithoutNotice();
    }
}

// Whether a notice that acts waits in the queue; notices that would be ignored are dropped,
// so that they hide none behind them.
bool ModuleListDialog::NoticeQueued() {
    MSG message;
    while (InstallerNotice != 0 &&
           ::PeekMessageA(&message, Window(), InstallerNotice, InstallerNotice, PM_NOREMOVE)) {
        if (IsNoticeAction(message.wParam, message.lParam)) {
            return true;
        }
        ::PeekMessageA(&message, Window(), InstallerNotice, InstallerNotice, PM_REMOVE);
    }
    return false;
}

// Any local program can post the notice: one that came before this run's installer started
// is not the installer's.
void ModuleListDialog::DropQueuedNotices() {
    MSG message;
    while (InstallerNotice != 0 &&
           ::PeekMessageA(&message, Window(), InstallerNotice, InstallerNotice, PM_REMOVE)) {
    }
}

void ModuleListDialog::OnInstallerNotice(WPARAM wParam, LPARAM lParam) {
    if (!noticeExpected_ || !IsNoticeAction(wParam, lParam)) {
        return;
    }
    if (waitingForInstaller_) {
        // Sent while the installer runs: answered at once so that the sender goes on, and
        // acted on once the installer has ended, as a posted one is.
        ::PostMessageA(Window(), InstallerNotice, wParam, lParam);
        return;
    }
    // Once: a second notice must not run the ending again from inside the first one's box.
    noticeExpected_ = false;
    ::KillTimer(Window(), kNoticeTimer);
    if (lParam == kNoticeClose) {
        OnCancel();
        return;
    }
    DeleteFolderTree(workFolder.c_str());
    ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ForceForeground(Window());
    ShowMessage(Window(), IDS_INSTALL_DONE, MB_ICONEXCLAMATION | MB_TOPMOST);
    RestartComputer();
}

bool ModuleListDialog::OnTimer(UINT_PTR timerId) {
    if (timerId != kNoticeTimer) {
        return false;
    }
    EndWithoutNotice();
    return true;
}

void ModuleListDialog::EndWithoutNotice() {
    noticeExpected_ = false;
    ::KillTimer(Window(), kNoticeTimer);
    OnCancel();
}

void ModuleListDialog::OnCancel() {
    if (!installerStarted && !closing) {
        if (ShowMessage(Window(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            return;
        }
    }
    extractFolderHold_.reset();
    DeleteFolderTree(extractFolder.c_str());
    End(IDCANCEL);
}

void ModuleListDialog::RestartComputer() {
    SystemEnvironment environment;
    bool restarting;
    if (environment.OsCode() >= kOsWindows2000) {
        restarting =
            EnablePrivilege(kShutdownPrivilege, nullptr, true) && ::ExitWindowsEx(EWX_REBOOT, 0);
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
