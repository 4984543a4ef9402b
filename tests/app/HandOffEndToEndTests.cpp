// The end of the download phase and the single running copy: an archive set without the
// installer, a second start while the first copy is downloading, and the installer's notice:
// from the installer or from a helper that outlives it, not at all, or from somebody else.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "EndToEnd.h"
#include "ForeignWindow.h"
#include "app/InstallerProcess.h"

using namespace netrefit::test;

namespace {

const int kModuleCancel = 1013;
const int kModuleOk = 1014;
const int kProgressCancel = 1011;

UINT InstallerNotice() {
    return ::RegisterWindowMessageA("TAVRIN_UPDATE_AGENT");
}

// How the stand-in installer gives its notice (STANDIN_NOTICE), and whether a helper gives it.
struct NoticeCase {
    const char* name;
    const char* mode;
    bool helper;
};

void PrintTo(const NoticeCase& c, std::ostream* out) {
    *out << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<NoticeCase>& info) {
    return info.param.name;
}

// Every file below folder (and below its subfolders), relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::string& inner : FilesBelow(folder + name + "\\")) {
                files.push_back(name + "\\" + inner);
            }
        } else {
            files.push_back(name);
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return files;
}

}  // namespace

class HandOff : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        // While it exists, the stand-in's helper holds its notice until it is set.
        release_ = ::CreateEventA(nullptr, TRUE, FALSE, "NetrefitStandinRelease");
        ASSERT_NE(nullptr, release_);
    }
    void TearDown() override {
        ::SetEvent(release_);
        ::CloseHandle(release_);
        EndToEnd::TearDown();
    }

    void StartWith(const NoticeCase& c) {
        ::ResetEvent(release_);
        ::DeleteFileA(StandinLog().c_str());
        Start({std::string("STANDIN_NOTICE=") + c.mode});
    }
    std::string Log() const {
        std::string text;
        ReadFileBytes(StandinLog(), &text);
        return text;
    }
    // Once Setup.exe has ended, keeps its helper from giving its notice or ending for longer
    // than the program gives a notice after the installer's last process; then lets it go.
    void HoldHelperPastTheGraceTime() {
        ASSERT_TRUE(
            WaitUntil([&] { return Log().find(" parent ended\n") != std::string::npos; }, 60000))
            << Log();
        ::Sleep(netrefit::kNoticeGraceMs + 2000);
        EXPECT_EQ(STILL_ACTIVE, process_.Wait(0)) << "ended while the installer's helper ran";
        ::SetEvent(release_);
    }

    HANDLE release_ = nullptr;
};

class NoticeArrives : public HandOff, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(NoticeArrives, AndTheInstallationEndsWithTheRestart) {
    const NoticeCase& c = GetParam();
    StartWith(c);
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    if (c.helper) {
        HoldHelperPastTheGraceTime();
    }
    EXPECT_EQ(kInstallDoneText, Answer(IDOK, 60000));
    EXPECT_EQ(0u, WaitForEnd());
    std::string given = c.helper ? "helper notice 1 2 to window\n" : "notice 1 2 to window\n";
    EXPECT_NE(std::string::npos, Log().find(given)) << Log();
    EXPECT_FALSE(FileExists(WorkFolder())) << "the work folder outlived a successful install";
}

// Posted by Setup.exe itself is the plain upgrade of UpgradeEndToEndTests.
INSTANTIATE_TEST_SUITE_P(Installer,
                         NoticeArrives,
                         ::testing::Values(NoticeCase{"SentBySetup", "send", false},
                                           NoticeCase{"PostedByAHelper", "helper-post", true},
                                           NoticeCase{"SentByAHelper", "helper-send", true}),
                         CaseName);

class NoNotice : public HandOff, public ::testing::WithParamInterface<NoticeCase> {
  protected:
    // After the installer's processes ended, the program ends by itself, without a message,
    // and keeps the downloads for a later run.
    void ExpectQuietEnd() {
        if (GetParam().helper) {
            HoldHelperPastTheGraceTime();
        }
        EXPECT_NE(STILL_ACTIVE, WaitForEnd(kWindowWait)) << "the program stayed behind";
        EXPECT_NE(std::string::npos, Log().find("notice none\n")) << Log();
        EXPECT_FALSE(FileExists(ExtractFolder()));
        EXPECT_EQ(5u, JournalNames().size());
    }
};

TEST_P(NoNotice, ProgramEndsByItselfAndCanBeStartedAgain) {
    StartWith(GetParam());
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    ExpectQuietEnd();

    // Not refused as a second copy; everything is downloaded, so the installer runs at once.
    StartWith(GetParam());
    ASSERT_NE(nullptr, WaitProgress());
    ASSERT_TRUE(TypePassword("melorra"));
    ExpectQuietEnd();
    EXPECT_FALSE(MainWindowWasShown()) << "the unfilled main window appeared";
}

INSTANTIATE_TEST_SUITE_P(Installer,
                         NoNotice,
                         ::testing::Values(NoticeCase{"FromSetup", "none", false},
                                           NoticeCase{"FromAHelper", "helper-none", true}),
                         CaseName);

TEST_F(EndToEnd, NoticesBeforeTheInstallerStartedAreIgnored) {
    std::string slow = SiteServerText();
    for (const char* file : {"Melorra.zip", "Extension.zip", "SetupStarter.zip"}) {
        slow = SlowDown(slow, file);
    }
    ServeCase("early", slow);
    Start();
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    // Posted messages come in order: the click is handled after both notices.
    ::PostMessageA(list, InstallerNotice(), 1, 1);
    ::PostMessageA(list, InstallerNotice(), 1, 2);
    PressButton(list, kModuleCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDNO));
    EXPECT_EQ(STILL_ACTIVE, process_.Wait(0));
    EXPECT_TRUE(::IsWindowVisible(list));
    EXPECT_TRUE(FileExists(ExtractFolder()));

    PressButton(list, kModuleOk);
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);
    ::PostMessageA(list, InstallerNotice(), 1, 2);
    ::PostMessageA(list, InstallerNotice(), 1, 1);
    PressButton(progress, kProgressCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_TRUE(FileExists(WorkFolder() + "Netrefit.log")) << "a notice removed the downloads";
    EXPECT_FALSE(FileExists(StandinLog()));
}

// Cancel pressed in the progress window while the password prompt is open, and Yes to the
// question: the open prompt is ended with the extraction, so the program ends at once instead
// of waiting for an answer, and nothing is left in the extraction folder.
TEST_F(EndToEnd, CancelWhileThePasswordPromptIsOpenEndsTheProgram) {
    Start();
    ASSERT_TRUE(AcceptModuleList());
    HWND prompt = WaitPasswordDialog();
    ASSERT_NE(nullptr, prompt);
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);
    PressButton(progress, kProgressCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    // Generous against a slow machine; a program waiting for the prompt never ends by itself.
    EXPECT_NE(STILL_ACTIVE, WaitForEnd(15000)) << "the program waited for the open prompt";
    EXPECT_FALSE(::IsWindow(prompt)) << "the prompt was left on the screen";
    EXPECT_EQ(std::vector<std::string>(), FilesBelow(ExtractFolder()));
    EXPECT_FALSE(FileExists(ExtractFolder()));
    EXPECT_EQ(5u, JournalNames().size()) << "the downloads are kept for a later run";
}

TEST_F(EndToEnd, NoticeQueuedJustBeforeTheInstallerStartsIsDropped) {
    // Held, the applications' serialising lock stops the program in its check for running
    // applications: after the progress window, before the installer.
    struct HeldMutex {
        HANDLE handle = ::CreateMutexA(nullptr, TRUE, "Tavrin_KdrBootCheckerWait1");
        bool owned = handle != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS;
        void Release() {
            if (owned) {
                ::ReleaseMutex(handle);
            }
            owned = false;
        }
        ~HeldMutex() {
            Release();
            ::CloseHandle(handle);
        }
    } serialising;
    ASSERT_TRUE(serialising.owned);
    Start({"STANDIN_NOTICE=none"});
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    PressButton(list, kModuleOk);
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(TypePassword("melorra"));
    ASSERT_TRUE(WaitForWindowGone(progress, 60000));
    // A window thread stuck in a wait answers nothing.
    ASSERT_TRUE(WaitUntil([&] {
        DWORD_PTR answer = 0;
        return !::SendMessageTimeoutA(list, WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer);
    }));
    ::PostMessageA(list, InstallerNotice(), 1, 2);
    serialising.Release();

    EXPECT_NE(STILL_ACTIVE, WaitForEnd(kWindowWait)) << "the notice was taken for the installer's";
    std::string log;
    ReadFileBytes(StandinLog(), &log);
    EXPECT_NE(std::string::npos, log.find("notice none\n")) << log;
    EXPECT_EQ(5u, JournalNames().size()) << "a notice removed the downloads";
}

TEST_F(EndToEnd, ArchivesWithoutTheInstallerAreRefused) {
    std::string text = SiteServerText();
    std::string launcher = "[LauncherMl]\r\nVersion=2.1.0.0\r\npath=" + Settings().server +
                           "modules/SetupStarter.zip\r\nSize=" + ModuleSize("SetupStarter.zip") +
                           "\r\nMD5=" + ModuleDigest("SetupStarter.zip") + "\r\n";
    std::string noSetup = "[LauncherMl]\r\nVersion=2.1.0.0\r\npath=" + Settings().server +
                          "modules/NoSetup.zip\r\nSize=" + ModuleSize("NoSetup.zip") +
                          "\r\nMD5=" + ModuleDigest("NoSetup.zip") + "\r\n";
    ServeCase("nosetup", Replace(text, launcher, noSetup));
    Start();
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    EXPECT_EQ(
        "Installer execution failed. \nThe downloaded files may be damaged. \nPlease try "
        "again.",
        Answer(IDOK, 60000));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(FileExists(WorkFolder())) << "damaged downloads must not be resumed";
    EXPECT_FALSE(FileExists(StandinLog()));
}

TEST_F(EndToEnd, SecondStartBringsTheProgressWindowForward) {
    std::string slow = SiteServerText();
    for (const char* file : {"SecureModule.zip", "CommonLib.zip", "Melorra.zip"}) {
        slow = SlowDown(slow, file);
    }
    ServeCase("second", slow);
    Start();
    ASSERT_TRUE(AcceptModuleList());
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);

    // Something else holds the foreground when the second copy starts.
    ForeignWindow other("Another program", false);
    ASSERT_TRUE(WaitUntil([&] {
        other.BringForward();
        return ::GetForegroundWindow() == other.Window();
    }));
    ChildProcess second;
    std::string folder = program_.Path();
    folder.pop_back();
    ASSERT_TRUE(second.Start(program_.File("Netrefit.exe"), "", folder));
    EXPECT_NE(STILL_ACTIVE, second.Wait(kWindowWait)) << "the second copy stayed";
    EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == progress; }, 10000));
    EXPECT_TRUE(TopLevelWindows(second.Id()).empty());

    // The first copy is still downloading, undisturbed.
    ASSERT_EQ(STILL_ACTIVE, process_.Wait(0));
    EXPECT_TRUE(JournalNames().size() < 3u);
    PressButton(progress, 1011);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
}
