#pragma once
// The program's main window, which carries one upgrade from its start to its end. The road, in
// order, through the window's three source files:
//   UpgradeSequence.cpp   "Netrefit.ini", the checks of the computer, the server information
//                         file, the download list and what an earlier run left, all inside the
//                         window's initialisation, before it is ever shown;
//   ModuleListDialog.cpp  the list of modules for the user to confirm;
//   DownloadPhase.cpp     the progress window, "Setup.exe" and the installer's notice, after
//                         which the program closes or Windows restarts.

#include <string>

#include "common/CommandLine.h"
#include "common/UniqueHandle.h"
#include "download/RemoteFile.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/UpgradePlan.h"
#include "ui/Controls.h"
#include "ui/DialogBase.h"

namespace netrefit {

// System-menu command that opens the version box.
constexpr UINT IDM_ABOUTBOX = 0x10;

// Where the upgrade sequence left the program.
enum class SequenceOutcome {
    Refused,               // its message shown (if any), the window closes unseen
    ListShown,             // the module list waits for the user
    DownloadPhaseEntered,  // every file was there already: the download phase ran at once
};

class ModuleListDialog : public Dialog {
  public:
    // The status column's width in pixels; the file column takes the rest of the list.
    static constexpr int kStatusColumnWidth = 90;

    explicit ModuleListDialog(HWND parent);
    ~ModuleListDialog() override = default;

    // Shows the rows of downloadList and the total of the entries still to fetch.
    void FillModuleList();
    // Changes only the image of one row.
    bool SetItemImage(int row, int image);
    // The switches of the run: /quiet takes every choice's default, /check stops at the list.
    void SetRunOptions(const RunOptions& options) { runOptions_ = options; }

  protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnTimer(UINT_PTR timerId) override;

    // The upgrade sequence; the window is shown only for ListShown.
    virtual SequenceOutcome RunUpgradeSequence();
    // The OK button (1014) and Enter: download, unpack, then hand over to the installer.
    virtual void BeginDownloadPhase();
    // Every ending by cancel: asks first unless a refusal or the installer already decided.
    void OnCancel() override;

    // For windows that show a list without running the sequence.
    void SetDownloadList(const DownloadList& list) { downloadList = list; }
    const ListView& List() const { return moduleList; }
    HICON Icon() const { return icon; }

  private:
    // The steps of the upgrade sequence.
    SequenceOutcome RunServerSteps(const SetupInfo& setup, const std::string& language);
    SequenceOutcome RunListSteps(UpgradePlan& plan);
    bool CheckEnvironment(const SetupInfo& setup);
    bool PrepareFolders(const std::string& language);
    bool CheckDiskSpace(const std::string& folder);
    INT_PTR FetchServerInformation(const std::vector<std::string>& urls);
    // Signed updates: the server file's signature and expiry; each module's size bound.
    bool SignatureAccepted(const std::string& url);
    void BindToSignedSizes();
    void LoadResourceLibrary(const std::string& path);
    void MarkEarlierDownloads();
    // The server file and its signature file, once read or refused.
    void DeleteServerFile();
    // The refusal path: the message (if any), then a close the user never sees.
    SequenceOutcome Close(UINT messageId, UINT icon);
    SequenceOutcome CloseSilently();

    // The download phase and the installer hand-off.
    bool CheckRunningApplications();
    void RunInstaller();
    void OnInstallerNotice(WPARAM wParam, LPARAM lParam);
    bool NoticeQueued();
    void DropQueuedNotices();
    // No notice came in time: the installer's work is over, so is this program's.
    void EndWithoutNotice();
    void RestartComputer();

    void AttachControls();
    void AddAboutMenuItem();
    bool OnSysCommand(WPARAM command);
    bool PaintMinimised();
    void AddStatusImages();
    void KeepHidden(WINDOWPOS* position);

    RunOptions runOptions_;
    // Owned for the whole run; filled by the upgrade sequence.
    DownloadList downloadList;
    bool closing = false;
    bool installerStarted = false;
    std::string workFolder;
    std::string programFolder;
    std::string serverInfoPath;
    std::string signaturePath;
    // Open from the check of the server file until it has been read: nothing can change it
    // between the two.
    FileHandle serverFileHold;
    // The deployer's keys from the settings; empty when updates are not signed.
    PublicKeyList publicKeys;
    std::string extractFolder;
    // From its creation until the installer has started from it: nobody can rename or replace
    // the folder meanwhile. Let go before the folder is deleted.
    FileHandle extractFolderHold_;

    ListView moduleList;
    Static groupBox;
    Static sizeText;
    Static sizeLabel;
    Static hintText;
    Button okButton;
    Button cancelButton;
    HICON icon = nullptr;

    // Hidden from the download phase on, for good: the dialog manager would otherwise show it
    // at its first idle moment when the phase was entered from the initialisation.
    bool staysHidden_ = false;
    // Set only once this run's installer is running, so that nobody else's notice counts.
    bool noticeExpected_ = false;
    // While the installer's processes are waited for; a notice sent meanwhile is put off.
    bool waitingForInstaller_ = false;
};

}  // namespace netrefit
