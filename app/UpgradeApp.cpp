#include "app/UpgradeApp.h"

#include <utility>

#include "NetrefitVersion.h"
#include "app/ModuleListDialog.h"
#include "common/NamedObjects.h"
#include "common/SupportLog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "ui/MessageRoute.h"
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

std::string TemporaryLogPath() {
    char folder[MAX_PATH] = "";
    DWORD length = ::GetTempPathA(sizeof(folder), folder);
    std::string path = (length == 0 || length >= sizeof(folder)) ? "C:\\" : folder;
    return path + "Netrefit.log";
}

// Which switches were given, never a value: the password stays out of the log.
std::string SwitchesText(const RunOptions& options) {
    std::string text;
    const std::pair<bool, const char*> flags[] = {
        {options.quiet, " /quiet"},          {options.noRestart, " /norestart"},
        {options.check, " /check"},          {!options.password.empty(), " /password=(given)"},
        {!options.logPath.empty(), " /log"}, {options.usage, " /?"}};
    for (const auto& [given, name] : flags) {
        if (given) {
            text += name;
        }
    }
    return text.empty() ? " none" : text;
}

void ShowUsage(bool quiet) {
    if (quiet) {
        LogLine(std::string("Usage: ") + kUsageText);
    } else {
        ::MessageBoxA(nullptr, kUsageText, kAppTitle, MB_ICONINFORMATION);
    }
}

}  // namespace

int UpgradeApp::Run() {
    int early = StartRun();
    if (early >= 0) {
        LogLine("Exit code " + std::to_string(early));
        CloseSupportLog();
        return early;
    }
    InitInstance();
    int code = ExitInstance();
    if (options_.anySwitch) {
        code = RunExitCode();
    }
    LogLine("Exit code " + std::to_string(code));
    CloseSupportLog();
    return code;
}

int UpgradeApp::StartRun() {
    bool valid = ParseCommandLine(commandLine_, &options_);
    SetQuietRun(options_.quiet);
    OpenLog();
    SystemEnvironment environment;
    LogLine(std::string("Netrefit ") + NETREFIT_VERSION_TEXT + " started; Windows version code " +
            std::to_string(environment.OsCode()) + "; switches:" + SwitchesText(options_));
    if (!valid) {
        LogLine("Unknown or malformed switch on the command line");
        ShowUsage(options_.quiet);
        return kExitBadCommandLine;
    }
    if (options_.usage) {
        ShowUsage(options_.quiet);
        return kExitSuccess;
    }
    return -1;
}

// The first of /log, /quiet's default and the settings file's LogFile; none: no log at all.
void UpgradeApp::OpenLog() {
    std::string path = options_.logPath;
    if (path.empty() && options_.quiet) {
        path = TemporaryLogPath();
    }
    if (path.empty()) {
        char folder[MAX_PATH] = "";
        DWORD length = ::GetCurrentDirectoryA(sizeof(folder), folder);
        if (length != 0 && length < sizeof(folder)) {
            path = SetupInfo::ReadLogFile(std::string(folder) + "\\Netrefit.ini");
        }
    }
    if (!path.empty()) {
        OpenSupportLog(path);
    }
}

bool UpgradeApp::InitInstance() {
    RemoveCurrentDirectoryFromDllSearch();
    NamedObject instance = CreateNamedMutex(kAppTitle, false);
    instanceMutex_ = std::move(instance.handle);
    if (!instanceMutex_) {
        return false;
    }
    if (instance.existed) {
        LogLine("Another copy of the program is running");
        SetRunExitCode(kExitAlreadyRunning);
        HWND first = options_.quiet ? nullptr : ::FindWindowA(nullptr, kAppTitle);
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
    dialog.SetRunOptions(options_);
    dialog.RunModal();
}

}  // namespace netrefit
