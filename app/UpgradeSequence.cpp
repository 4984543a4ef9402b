// The ordered steps that decide an upgrade, run inside the main window's initialisation before
// it is first shown. Every refusal shows one message and closes the window unseen.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "app/FolderTree.h"
#include "app/ModuleListDialog.h"
#include "app/RunLog.h"
#include "app/WorkFolder.h"
#include "common/ProfileText.h"
#include "common/SupportLog.h"
#include "download/DownloadLog.h"
#include "download/ModuleDigest.h"
#include "download/ServerFileEntry.h"
#include "download/ServerFileTrust.h"
#include "download/ServerWaitDialog.h"
#include "download/SigningRecord.h"
#include "download/UpToDateDialog.h"
#include "inventory/DownloadDecision.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/MachineProbes.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "inventory/UpgradePlan.h"
#include "resources/ResourceIds.h"
#include "ui/MessageRoute.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

const ULONGLONG kRequiredFreeBytes = 409600000ull;

std::string CurrentFolder() {
    char folder[261] = "";
    DWORD length = ::GetCurrentDirectoryA(sizeof(folder), folder);
    if (length == 0 || length >= sizeof(folder)) {
        return std::string();
    }
    return std::string(folder, length) + "\\";
}

// Enters the folder, creating it when it cannot be entered. A folder that had to be created
// does not become the current directory.
bool EnterOrCreate(const std::string& folder) {
    return ::SetCurrentDirectoryA(folder.c_str()) || ::CreateDirectoryA(folder.c_str(), nullptr);
}

// The installer must find only what this run unpacks, never files of an earlier run that was
// stopped, so the folder starts empty; false when something in it cannot be removed. A folder
// that existed ends as the current directory, as if it had only been entered.
bool EnterEmptied(const std::string& folder) {
    // The clean-up enters the folder first anyway.
    bool existed = ::SetCurrentDirectoryA(folder.c_str()) != 0;
    DeleteFolderTree(folder.c_str());
    if (!EnterOrCreate(folder)) {
        return false;
    }
    if (existed) {
        ::SetCurrentDirectoryA(folder.c_str());
    }
    return IsEmptyFolder(folder.c_str());
}

// The file that keeps the latest signing time accepted per server: under the user's local
// application data (the roaming one where the shell has no local one), never in the temporary
// folder, which the program empties. "" when neither can be found or made: no record is kept.
std::string SigningRecordPath() {
    char folder[MAX_PATH] = "";
    if (!GetSpecialFolder(CSIDL_LOCAL_APPDATA, folder, sizeof(folder)) &&
        !GetSpecialFolder(CSIDL_APPDATA, folder, sizeof(folder))) {
        return std::string();
    }
    std::string path = std::string(folder) + "\\Netrefit";
    if (path.size() + 12 >= MAX_PATH ||
        (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)) {
        return std::string();
    }
    return path + "\\Signed.ini";
}

}  // namespace

SequenceOutcome ModuleListDialog::Close(UINT messageId, UINT icon) {
    ShowMessage(Window(), messageId, icon);
    return CloseSilently();
}

SequenceOutcome ModuleListDialog::CloseSilently() {
    closing = true;
    ::PostMessageA(Window(), WM_CLOSE, 0, 0);
    return SequenceOutcome::Refused;
}

void ModuleListDialog::DeleteServerFile() {
    serverFileHold.reset();
    if (!serverInfoPath.empty()) {
        ::DeleteFileA(serverInfoPath.c_str());
    }
    if (!signaturePath.empty()) {
        ::DeleteFileA(signaturePath.c_str());
    }
}

SequenceOutcome ModuleListDialog::RunUpgradeSequence() {
    programFolder = CurrentFolder();
    SetupInfo setup;
    setup.SetPath(programFolder + "\\Netrefit.ini");
    if (programFolder.empty() || !setup.ReadSetup()) {
        return Close(IDS_INIT_FAILED_001, MB_ICONERROR);
    }
    publicKeys = setup.PublicKeys();
    std::string language;
    {
        SystemEnvironment environment;
        if (!environment.ApplicationLanguage(setup.SupportApplicationLang().c_str(), language)) {
            return Close(IDS_INIT_FAILED_005, MB_ICONERROR);
        }
    }
    LogSettings(setup, language);
    std::string library = setup.ReadResource(language);
    if (!library.empty()) {
        LoadResourceLibrary(programFolder + library);
    }
    if (!CheckEnvironment(setup)) {
        return CloseSilently();
    }
    workFolder = ChooseWorkFolder(CurrentTokenKind());
    if (workFolder.empty()) {
        return Close(IDS_INIT_FAILED_003, MB_ICONERROR);
    }
    if (!PrepareFolders(language)) {
        return Close(IDS_INIT_FAILED_002, MB_ICONERROR);
    }
    if (!CheckDiskSpace(workFolder)) {
        return CloseSilently();
    }
    return RunServerSteps(setup, language);
}

// Steps from the server information file to the final download list.
SequenceOutcome ModuleListDialog::RunServerSteps(const SetupInfo& setup,
                                                 const std::string& language) {
    INT_PTR fetched = FetchServerInformation(setup.ServerFileUrls(language));
    LogLine(fetched == ServerFileFetched     ? "Server file fetched"
            : fetched == ServerWaitCancelled ? "Server file: cancelled"
            : fetched == SignatureFileFailed ? "Server file fetched, its signature file not"
                                             : "Server file could not be fetched");
    if (fetched == ServerWaitCancelled) {
        DeleteServerFile();
        SetRunExitCode(kExitCancelled);
        return CloseSilently();
    }
    // Signing times are kept under the Server= URL whichever place served the file, so that a
    // mirror cannot serve a file older than one taken before.
    if (fetched == SignatureFileFailed ||
        (fetched == ServerFileFetched && !SignatureAccepted(setup.ServerFileUrl(language)))) {
        DeleteServerFile();
        return Close(IDS_UNVERIFIED_UPDATE, MB_ICONERROR);
    }
    if (fetched != ServerFileFetched) {
        DeleteServerFile();
        return Close(IDS_SERVER_UNREACHABLE, MB_ICONERROR);
    }
    ServerCatalog server;
    int loaded = serverFileHold ? server.LoadHeld(serverInfoPath.c_str())
                                : server.Load(serverInfoPath.c_str());
    serverFileHold.reset();
    if (loaded != kServerLoadOk) {
        DeleteServerFile();
        return Close(IDS_INIT_FAILED_004, MB_ICONEXCLAMATION);
    }
    if (!publicKeys.empty() && !server.EveryModuleHasSha256()) {
        DeleteServerFile();
        return Close(IDS_UNVERIFIED_UPDATE, MB_ICONERROR);
    }
    InstalledCatalog installed;
    ApplyReferenceVersions(installed, server);
    SystemEnvironment environment;
    UpgradePlan plan = PlanUpgrade(installed, server, environment, programFolder, workFolder);
    LogComponents(installed, server, programFolder);
    LogPlan(plan);
    if (plan.outcome == PlanOutcome::Refused && plan.messageId == IDS_NOT_LATEST_VERSION) {
        DeleteServerFile();
        return Close(IDS_NOT_LATEST_VERSION, MB_ICONEXCLAMATION);
    }
    if (plan.outcome == PlanOutcome::Refused && plan.messageId == IDS_NO_TARGET_APPLICATION) {
        DeleteServerFile();
        ShowMessage(Window(), IDS_NO_TARGET_APPLICATION, MB_ICONERROR);
        if (!runOptions_.check && !ContainsZipArchives(workFolder.c_str())) {
            extractFolderHold_.reset();
            DeleteFolderTree(workFolder.c_str());
        }
        return CloseSilently();
    }
    if (plan.outcome == PlanOutcome::Refused && plan.messageId == IDS_DOUBLE_BYTE_USER) {
        ShowMessage(Window(), IDS_DOUBLE_BYTE_USER, MB_ICONEXCLAMATION);
        DeleteServerFile();
        return CloseSilently();
    }
    if (plan.asksOldPlayer &&
        ShowMessage(Window(), IDS_OLD_PLAYER, MB_ICONEXCLAMATION | MB_OKCANCEL) == IDCANCEL) {
        DeleteServerFile();
        return CloseSilently();
    }
    return RunListSteps(plan);
}

// Steps from the download list to the window (or straight to the download phase).
SequenceOutcome ModuleListDialog::RunListSteps(UpgradePlan& plan) {
    downloadList = plan.list;
    DeleteServerFile();
    if (plan.outcome == PlanOutcome::Refused) {
        Close(IDS_NOTHING_TO_UPGRADE, MB_ICONEXCLAMATION);
        SetRunExitCode(kExitSuccess);
        return SequenceOutcome::Refused;
    }
    if (plan.outcome == PlanOutcome::Reinstall) {
        // Unattended, the reinstall is never chosen: everything is up to date.
        bool unattended = runOptions_.quiet || runOptions_.check;
        UpToDateDialog upToDate(nullptr);
        if (unattended || upToDate.RunModal() == UpToDateKeep) {
            LogLine("Reinstall not chosen");
            SetRunExitCode(kExitSuccess);
            return CloseSilently();
        }
    }
    BindToSignedSizes();
    MarkEarlierDownloads();
    bool allDone = true;
    for (const DownloadEntry& entry : downloadList) {
        allDone = allDone && entry.AlreadyDownloaded();
    }
    if (runOptions_.check) {
        LogModules("Would download", downloadList);
        // Modules fetched before but not installed are an upgrade still to make.
        SetRunExitCode(downloadList.empty() ? kExitSuccess : kExitUpdatesFound);
        return CloseSilently();
    }
    if (allDone || runOptions_.quiet) {
        BeginDownloadPhase();
        return SequenceOutcome::DownloadPhaseEntered;
    }
    FillModuleList();
    return SequenceOutcome::ListShown;
}

bool ModuleListDialog::CheckEnvironment(const SetupInfo& setup) {
    SystemEnvironment environment;
    if (unsigned refusal = EnvironmentRefusal(setup, environment)) {
        ShowMessage(Window(), refusal, MB_ICONERROR);
        return false;
    }
    return true;
}

// The folders inside workFolder, which is chosen already; neither may be a link. The extraction
// folder is held from here until the installer has started from it.
bool ModuleListDialog::PrepareFolders(const std::string& language) {
    extractFolder = workFolder + "Extract\\";
    serverInfoPath = workFolder + SetupInfo::ServerFileName(language);
    signaturePath = SignatureFileName(serverInfoPath);
    // Longer paths would be cut by every later step into a different path.
    if (extractFolder.size() >= MAX_PATH || signaturePath.size() >= MAX_PATH) {
        return false;
    }
    if (!EnterOrCreate(workFolder) || IsLinkPath(workFolder)) {
        return false;
    }
    // A check leaves what an earlier run unpacked as it is.
    if (runOptions_.check) {
        return true;
    }
    if (!EnterEmptied(extractFolder) || IsLinkPath(extractFolder)) {
        return false;
    }
    bool required = false;
    extractFolderHold_ = HoldFolder(extractFolder, &required);
    return extractFolderHold_.valid() || !required;
}

bool ModuleListDialog::CheckDiskSpace(const std::string& folder) {
    ULARGE_INTEGER available, total, free;
    if (!::GetDiskFreeSpaceExA(folder.c_str(), &available, &total, &free)) {
        ShowMessage(Window(), IDS_INIT_FAILED_003, MB_ICONERROR);
        return false;
    }
    if (available.QuadPart < kRequiredFreeBytes) {
        ShowMessage(Window(), IDS_DISK_SPACE, MB_ICONEXCLAMATION, {folder.substr(0, 1)});
        return false;
    }
    return true;
}

// The server file (and its signature) from the first URL, else whole from each next one.
INT_PTR ModuleListDialog::FetchServerInformation(const std::vector<std::string>& urls) {
    ServerWaitDialog wait(Window());
    wait.SetFolder(workFolder);
    for (const std::string& url : urls) {
        DownloadList entries{MakeServerFileEntry(url)};
        if (!publicKeys.empty()) {
            entries.push_back(MakeSignatureFileEntry(url));
        }
        wait.AddFallback(entries);
    }
    return wait.RunModal();
}

// Without keys nothing is asked, as before signed updates. With keys the fetched file must be
// signed by one of them and not expired before a line of it is read. Either way it is held from
// here until it has been read, so that what is read is what was checked.
bool ModuleListDialog::SignatureAccepted(const std::string& url) {
    serverFileHold = HoldFile(serverInfoPath);
    if (publicKeys.empty()) {
        LogLine("Server file not signed: the settings hold no PublicKey");
        return true;
    }
    std::string text;
    if (!serverFileHold ||
        !ServerFileIsTrusted(serverFileHold.get(), signaturePath, publicKeys, TodayUtc()) ||
        !ReadWholeHandle(serverFileHold.get(), kMaxServerFileBytes, &text)) {
        LogLine("Signature or expiry refused");
        return false;
    }
    // Signed, but not older than what this PC took from the same place before.
    SigningRecord record(SigningRecordPath());
    std::string signedAt = ProfileTextValue(text, "Signature", "Signed");
    bool accepted = runOptions_.check
                        ? (IsSigningTime(signedAt) ? signedAt : std::string()) >= record.Latest(url)
                        : record.Accept(url, signedAt);
    LogLine(std::string("Signature and expiry accepted; signing time ") + signedAt +
            (accepted ? " accepted" : " older than one accepted before"));
    return accepted;
}

// With keys the signed Size bounds each module's body; without, only the drive's free space.
void ModuleListDialog::BindToSignedSizes() {
    if (publicKeys.empty()) {
        return;
    }
    for (DownloadEntry& entry : downloadList) {
        entry.SetMaxBytes(entry.DeclaredBytes());
    }
}

void ModuleListDialog::LoadResourceLibrary(const std::string& path) {
    // Never freed: every later string, dialog and icon may come from it.
    if (HMODULE library = ::LoadLibraryA(path.c_str())) {
        SetResourceModule(library);
    }
}

// Reuses the files of an earlier run that are both journalled and intact.
void ModuleListDialog::MarkEarlierDownloads() {
    DownloadLog journal;
    journal.SetPath(workFolder + "Netrefit.log");
    if (!journal.Exists()) {
        return;
    }
    for (DownloadEntry& entry : downloadList) {
        bool listed = journal.Contains(entry);
        bool intact = VerifyModuleFile(entry);
        LogLine("Earlier download " + entry.Name() +
                (listed ? ": journalled" : ": not journalled") +
                (intact ? ", digest matches" : ", digest does not match"));
        if (listed && intact) {
            entry.SetAlreadyDownloaded(1);
        } else if (!runOptions_.check) {
            ::DeleteFileA(entry.LocalPath().c_str());
            entry.SetAlreadyDownloaded(0);
        }
    }
}

}  // namespace netrefit
