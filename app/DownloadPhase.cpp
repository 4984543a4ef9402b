// From the user's OK to the installer, and the installer's notice back: restart or close.
#include <windows.h>

#include <memory>
#include <string>

#include "app/FolderTree.h"
#include "app/InstallerProcess.h"
#include "app/ModuleListDialog.h"
#include "app/SystemActions.h"
#include "app/UpgradeApp.h"
#include "common/SupportLog.h"
#include "download/ProgressDialog.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/SystemEnvironment.h"
#include "resources/ResourceIds.h"
#include "ui/Foreground.h"
#include "ui/MessageRoute.h"
#include "ui/ResourceModule.h"
#include "unzip/PasswordDialog.h"

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

// The password of the command line comes first; unattended, nobody can be asked after it.
PasswordPrompt MakePasswordPrompt(const std::string& given, bool quiet) {
    auto tried = std::make_shared<bool>(false);
    return [given, quiet, tried](PromptSlot& slot) {
        if (quiet || (!given.empty() && !*tried)) {
            *tried = true;
            LogLine(given.empty() ? "An encrypted module needs a password; none was given"
                                  : "An encrypted module: the given password is tried");
            return given;
        }
        return PasswordDialog::Ask(slot);
    };
}

}  // namespace

void ModuleListDialog::BeginDownloadPhase() {
    INT_PTR result;
    {
        ProgressDialog progress(nullptr);
        progress.SetList(downloadList);
        progress.SetDownloadFolder(workFolder);
        progress.SetExtractFolder(extractFolder);
        if (runOptions_.quiet || !runOptions_.password.empty()) {
            progress.SetPasswordPrompt(MakePasswordPrompt(runOptions_.password, runOptions_.quiet));
        }
        staysHidden_ = true;
        ::ShowWindow(Window(), SW_HIDE);
        int messages = RoutedMessages();
        result = progress.RunModal();
        LogLine(result == ProgressDone            ? "Modules downloaded, verified and unpacked"
                : result == ProgressExtractFailed ? "Unpacking failed"
                                                  : "Download phase stopped");
        if (result == ProgressStopped && messages == RoutedMessages()) {
            SetRunExitCode(kExitCancelled);
        }
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
        LogLine("Conflicting applications: none running");
        return true;
    }
    LogLine("Conflicting applications running: " + names);
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
    LogLine((started ? "Installer started: " : "Installer could not be started: ") + installer);
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
    LogLine(end == InstallerEnd::AllProcesses   ? "Installer ended, every process of it"
            : end == InstallerEnd::NoticeQueued ? "Installer ended, its notice waiting"
                                                : "Setup.exe ended");
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
    LogLine(lParam == kNoticeClose ? "Installer notice: close" : "Installer notice: installed");
    if (lParam == kNoticeClose) {
        SetRunExitCode(kExitSuccess);
        OnCancel();
        return;
    }
    DeleteFolderTree(workFolder.c_str());
    if (runOptions_.noRestart) {
        LogLine("Restart left to the administrator (/norestart)");
        SetRunExitCode(kExitRestartNeeded);
        OnCancel();
        return;
    }
    if (!runOptions_.quiet) {
        ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ForceForeground(Window());
    }
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
    LogLine("No notice came from the installer");
    SetRunExitCode(kExitSuccess);
    noticeExpected_ = false;
    ::KillTimer(Window(), kNoticeTimer);
    OnCancel();
}

void ModuleListDialog::OnCancel() {
    if (!installerStarted && !closing) {
        if (ShowMessage(Window(), IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            return;
        }
        SetRunExitCode(kExitCancelled);
    }
    extractFolderHold_.reset();
    if (!runOptions_.check) {
        DeleteFolderTree(extractFolder.c_str());
    }
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
    if (restarting) {
        LogLine("Restart of Windows started");
        SetRunExitCode(kExitRestartStarted);
    } else {
        ShowMessage(Window(), IDS_RESTART_FAILED, MB_ICONEXCLAMATION);
    }
    // Also after an accepted request: the program has nothing left to do, and must not stay
    // behind hidden where the system accepts the request without restarting.
    ::PostMessageA(Window(), WM_CLOSE, 0, 0);
}

}  // namespace netrefit
