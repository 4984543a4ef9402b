#pragma once
// End-to-end runs of the real Netrefit.exe: a copy beside its own Netrefit.ini, the suite's
// registry state written into the prefix, the site served by nginx on 127.0.0.4, and a driver
// that answers the program's windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/TestThreads.h"

#include "support/TestFiles.h"
#include "support/WindowDriver.h"

namespace netrefit::test {

// Whether the program, started from this process, stages as an elevated program on Vista and
// later does (Wine starts programs with an elevated token).
bool StagesElevated();

// The lines of a text, without their line ends (LF or CRLF).
std::vector<std::string> TextLines(const std::string& text);

// Texts of the program that several cases wait for.
inline constexpr char kConfirmCancelText[] =
    "Setup process is not complete. \nIf you cancel the installation process, Melorra2.0 will "
    "not be installed. \nDo you want to terminate the installation process?";
inline constexpr char kInstallDoneText[] =
    "You have just completed a successful installation. \nYour computer will be rebooted.";

// Settings of one run's Netrefit.ini.
struct Settings {
    std::string server = "http://127.0.0.4/";
    std::string supportOS = "127";
    std::string applicationLanguages = "English";
    std::string osLanguages = "";
    std::string nonOsLanguages = "";
    // Lines of the [Resource] section ("German=NetrefitGerman.dll").
    std::vector<std::string> resources;
    // [Setup] PublicKey, written only when not empty.
    std::string publicKey;
    // [Setup] Mirrors, written only when not empty.
    std::string mirrors;
};

// Keys the tests sign server files with: the public key's text, and a signature file's line over
// text by the same key.
std::string TestPublicKey(int key = 0);
std::string TestSignature(const std::string& text, int key = 0);

// The folder the program's files are copied from, with a trailing backslash: the release folder
// that NETREFIT_RELEASE_DIR names (scripts/release's dist/Netrefit-<version>; a Linux path is
// read through Wine's drive Z:), else the build's own.
std::string ReleaseFolder();
std::string ShippedFolder();

// Registry of the suite in the prefix (HKEY_LOCAL_MACHINE).
void ClearSuiteRegistry();
// Installed versions of the suite's components, written as the suite's own set-up does.
struct Suite {
    std::string melorra = "2.0.0.123";
    std::string secureModule = "3.0.0.0";
    std::string commonLibrary = "1.4.0.0";
    std::string extension = "1.0.0.0";
};
void InstallSuite(const Suite& suite);
// The suite older than the site's: Melorra 2.0.0.123, common library 1.4, secure module 3.0,
// the second extension 1.0.
void InstallOlderSuite();
// Every component at the site's version, and every component one minor version above it.
Suite SuiteAtSiteVersions();
Suite SuiteNewerThanSite();

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The site's own server information file, and a variant of it served under cases/<name>/
    // (the settings are pointed there, at serverBase + "cases/<name>").
    std::string SiteServerText() const;
    void ServeCase(const std::string& name,
                   const std::string& serverText,
                   const std::string& serverBase = "http://127.0.0.4/");
    void WriteSettings(const Settings& settings);
    // The same with signed updates: the case's signature file holds signatureText (none when
    // empty), and the settings hold publicKey.
    void ServeSignedCase(const std::string& name,
                         const std::string& serverText,
                         const std::string& signatureText,
                         const std::string& publicKey = TestPublicKey());
    // The server file's text with SHA256= after every module's path, as a signed site has it.
    std::string WithSha256(std::string text) const;
    // Replaces "key=value" lines of [section name] text wholesale: "Key=" + old -> "Key=" + new.
    static std::string Replace(std::string text, const std::string& from, const std::string& to);
    // The server file's text with the module's URL moved to the site's slow path.
    static std::string SlowDown(const std::string& text, const std::string& file);
    // The value of key in [section] of a server information file's text; empty when absent.
    static std::string ServerValue(const std::string& text,
                                   const std::string& section,
                                   const std::string& key);
    // A site module's size and MD5 text, read from the file the site serves.
    std::string ModuleSize(const std::string& file) const;
    std::string ModuleDigest(const std::string& file) const;
    // How often nginx has been asked for this URL path ("/modules/Melorra.zip") so far.
    int Requests(const std::string& urlPath) const;

    // Makes the prefix report this Windows version ("winxp", "win98", ...) to the program's copy
    // alone (Wine's per-program AppDefaults); "" restores the prefix's own version.
    void RunAsWindows(const std::string& version);
    // Starts the copy of the program with "NAME=value" environment overrides and switches.
    void Start(const std::vector<std::string>& environment = {}, const std::string& arguments = "");
    // Waits for the program to end; its exit code, or STILL_ACTIVE after timeoutMs.
    DWORD WaitForEnd(DWORD timeoutMs = 60000);

    HWND WaitModuleList(DWORD timeoutMs = kWindowWait);
    HWND WaitProgress(DWORD timeoutMs = kWindowWait);
    // Waits for the module list and presses its OK button; false when it never showed.
    bool AcceptModuleList();
    // Adds a failure naming the program's windows, whether it still runs and the prefix's
    // processes: what a wait that gave up found instead.
    void DescribeProgramState();
    // Waits for a message box of the program and answers it with button; returns its text.
    std::string Answer(int button, DWORD timeoutMs = kWindowWait);
    // The password dialog of the program (found by its controls, its title is translated).
    HWND WaitPasswordDialog();
    // Types the archive password into the password dialog and confirms it.
    bool TypePassword(const std::string& password);
    // From an emptied work folder, runs the program to Melorra's failed download (114), the two
    // modules before it fetched and journalled, nothing of Melorra kept, no installer run.
    void ExpectMelorraFailed();
    // The rest of a whole upgrade once started: OK in the module list, the archive password, the
    // installer's notice answered; the installer must have found exactly the modules' files.
    void AcceptAndFinishUpgrade();

    std::string WorkFolder() const;
    std::string ExtractFolder() const { return WorkFolder() + "Extract\\"; }
    std::string StandinLog() const;
    // The files the stand-in installer found below its folder when it started, sorted.
    std::vector<std::string> FilesSeenByInstaller() const;
    // Every file the site's modules unpack, relative to the extraction folder, sorted.
    std::vector<std::string> FilesOfTheModules() const;
    // The names recorded in the work folder's download journal, in order.
    std::vector<std::string> JournalNames() const;
    bool MainWindowWasShown() const { return mainWindowShown_; }
    // Whether any window of the program (a box, a dialog, the main window) became visible.
    bool AnyWindowWasShown() const { return anyWindowShown_; }
    // %TEMP%\Netrefit.log, the unattended run's log unless /log names another.
    static std::string DefaultSupportLog();

    TempDir program_;
    ChildProcess process_;
    std::string site_;

  private:
    void WatchMainWindow();

    std::atomic<bool> watching_{false};
    std::atomic<bool> mainWindowShown_{false};
    std::atomic<bool> anyWindowShown_{false};
    test::Thread watcher_;
};

}  // namespace netrefit::test
