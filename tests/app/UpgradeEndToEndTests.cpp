#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "EndToEnd.h"

using namespace netrefit::test;

namespace {

const char* const kInstallDone = kInstallDoneText;

std::string ReadLog(const std::string& path) {
    std::string text;
    ReadFileBytes(path, &text);
    return text;
}

}  // namespace

// The whole road from the module list to the installer's notice, with every module fetched.
class FullUpgrade : public EndToEnd {
  protected:
    void RunToTheInstallersNotice() {
        Start();
        HWND list = WaitModuleList();
        ASSERT_NE(nullptr, list);
        EXPECT_EQ(
            (std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5",
                                      "Melorra 2.1", "Melorra Extension ", "Setup Starter "}),
            ListViewColumn(::GetDlgItem(list, 1006), 0));
        EXPECT_EQ((std::vector<std::string>{"-", "-", "-", "-", "-"}),
                  ListViewColumn(::GetDlgItem(list, 1006), 1));
        PressButton(list, 1014);

        ASSERT_TRUE(TypePassword("melorra"));
        EXPECT_EQ(kInstallDone, Answer(IDOK, 60000));
        EXPECT_EQ(0u, WaitForEnd());

        std::string log = ReadLog(StandinLog());
        EXPECT_NE(std::string::npos, log.find("missing 0\n")) << log;
        EXPECT_NE(std::string::npos, log.find("notice 1 2 to window")) << log;
        EXPECT_NE(std::string::npos, log.find("same Addons\\nocddb.dll")) << log;
        EXPECT_EQ(FilesOfTheModules(), FilesSeenByInstaller());
        EXPECT_FALSE(FileExists(WorkFolder())) << "the work folder outlived a successful install";
    }
};

// The whole road as users of each Windows the program is for see it: Wine's own version, and
// the prefix reporting Windows XP and Windows 98 SE to the program.
class EndToEndOnWindows : public FullUpgrade, public ::testing::WithParamInterface<const char*> {};

const auto kWindowsName = [](const ::testing::TestParamInfo<const char*>& info) {
    return std::string(info.param[0] ? info.param : "prefix");
};

INSTANTIATE_TEST_SUITE_P(Versions,
                         EndToEndOnWindows,
                         ::testing::Values("", "winxp", "win98"),
                         kWindowsName);

TEST_P(EndToEndOnWindows, FullUpgradeToTheInstallersNotice) {
    RunAsWindows(GetParam());
    RunToTheInstallersNotice();
}

// The files of a release folder as a deployer ships them (NETREFIT_RELEASE_DIR, set by the test
// command after scripts/release): the program, its library and every language library, beside
// the release's own example Netrefit.ini with only Server= pointed at the test site.
class ReleaseFolderEndToEnd : public FullUpgrade,
                              public ::testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override {
        if (ReleaseFolder().empty()) {
            GTEST_SKIP() << "NETREFIT_RELEASE_DIR names no release folder";
        }
        EndToEnd::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        const std::string release = ReleaseFolder();
        WIN32_FIND_DATAA found;
        HANDLE find = ::FindFirstFileA((release + "Netrefit*.dll").c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, find) << release;
        int libraries = 0;
        do {
            ASSERT_TRUE(::CopyFileA((release + found.cFileName).c_str(),
                                    program_.File(found.cFileName).c_str(), FALSE));
            ++libraries;
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
        EXPECT_EQ(7, libraries);

        std::string settings;
        ASSERT_TRUE(ReadFileBytes(release + "Netrefit.ini", &settings));
        settings = Replace(settings, "\r\nServer=http://updates.example.com/melorra/\r\n",
                           "\r\nServer=http://127.0.0.4/\r\n");
        ASSERT_TRUE(WriteFileBytes(program_.File("Netrefit.ini"), settings));
    }
};

INSTANTIATE_TEST_SUITE_P(ReleaseFolder,
                         ReleaseFolderEndToEnd,
                         ::testing::Values("", "win98"),
                         kWindowsName);

TEST_P(ReleaseFolderEndToEnd, FullUpgradeToTheInstallersNotice) {
    RunAsWindows(GetParam());
    RunToTheInstallersNotice();
}

TEST_F(EndToEnd, FilesLeftInTheExtractFolderNeverReachTheInstaller) {
    // An earlier run was stopped while it unpacked, or after its installer had started.
    for (const std::string& folder :
         {WorkFolder(), ExtractFolder(), ExtractFolder() + "Melorra", ExtractFolder() + "Leftover",
          ExtractFolder() + "Leftover\\deep"}) {
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    const std::pair<const char*, DWORD> stale[] = {
        {"Stale.dll", FILE_ATTRIBUTE_READONLY},
        {"Melorra\\Old.dll", FILE_ATTRIBUTE_NORMAL},
        {"Leftover\\deep\\hidden.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"Setup.exe", FILE_ATTRIBUTE_NORMAL},
    };
    for (const auto& [name, attributes] : stale) {
        ASSERT_TRUE(WriteFileBytes(ExtractFolder() + name, "from an earlier run")) << name;
        ASSERT_TRUE(::SetFileAttributesA((ExtractFolder() + name).c_str(), attributes)) << name;
    }
    Start();
    AcceptAndFinishUpgrade();
    EXPECT_NE(std::string::npos, ReadLog(StandinLog()).find("missing 0\n"));
}

TEST_F(EndToEnd, RefusalsNeverShowTheMainWindow) {
    struct Case {
        const char* name;
        Settings settings;
        const char* message;
        const char* windows = "";
    };
    Settings noLanguage;
    noLanguage.applicationLanguages = "Klingon";
    Settings refusedLanguage;
    refusedLanguage.nonOsLanguages = "English";
    Settings refusedVersion;
    refusedVersion.supportOS = "1";
    Settings serverDown;
    serverDown.server = "http://127.0.0.254/";
    Settings no98SE;
    no98SE.supportOS = "119";  // all but Windows 98 SE
    Settings noXP;
    noXP.supportOS = "63";  // all but Windows XP and later
    Settings badKey;
    badKey.publicKey = "not a key";
    Settings smallOrderKey;  // the neutral point: anyone can sign for it
    smallOrderKey.publicKey = "01" + std::string(62, '0');
    Settings keyInResource;  // appended at the end of the file, where no key is read
    keyInResource.resources = {"German=NetrefitGerman.dll", "PublicKey=" + TestPublicKey()};
    Settings fiveMirrors;
    fiveMirrors.mirrors = "http://a/,http://b/,http://c/,http://d/,http://e/";
    Settings mirrorsDown;  // every place tried, the last failure reported
    mirrorsDown.server = "http://127.0.0.254/";
    mirrorsDown.mirrors = "http://127.0.0.4/cases/nowhere/,http://127.0.0.4:8079/";
    const Case cases[] = {
        {"no language", noLanguage, "Application initialization failed(005)."},
        {"Windows language", refusedLanguage, "Cannot install for this Windows language."},
        {"Windows version", refusedVersion, "Cannot install for this Windows version."},
        {"server down", serverDown,
         "Data was unable to be retrieved from the server.\nPlease check your Internet "
         "connection and try again."},
        {"Windows 98 SE excluded", no98SE, "Cannot install for this Windows version.", "win98"},
        {"Windows XP excluded", noXP, "Cannot install for this Windows version.", "winxp"},
        {"malformed key", badKey, "Application initialization failed(001)."},
        {"small-order key", smallOrderKey, "Application initialization failed(001)."},
        {"key outside [Setup]", keyInResource, "Application initialization failed(001)."},
        {"five mirrors", fiveMirrors, "Application initialization failed(001)."},
        {"server and mirrors down", mirrorsDown,
         "Data was unable to be retrieved from the server.\nPlease check your Internet "
         "connection and try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunAsWindows(c.windows);
        WriteSettings(c.settings);
        Start();
        EXPECT_EQ(c.message, Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        EXPECT_FALSE(MainWindowWasShown());
        EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    }
}

TEST_F(EndToEnd, MissingSettingsFileIsRefused) {
    ::DeleteFileA(program_.File("Netrefit.ini").c_str());
    Start();
    EXPECT_EQ("Application initialization failed(001).", Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
}

TEST_F(EndToEnd, OutdatedProgramIsRefusedAndTheServerFileRemoved) {
    ServeCase("outdated", Replace(SiteServerText(), "[UpdateAgent]\r\nVersion=1.1.0.3240",
                                  "[UpdateAgent]\r\nVersion=1.2.0.0"));
    Start();
    EXPECT_EQ(
        "Melorra Installer you are running is not the latest version.  \nPlease download "
        "again.",
        Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    EXPECT_TRUE(FileExists(WorkFolder())) << "the downloads folder is kept for a later run";
}

TEST_F(EndToEnd, TheInstallerStartedIsTheOneInTheExtractFolderEvenBelowBlanks) {
    // Unquoted, "...\Program Files\Netrefit\Extract\Setup.exe" would start "...\Program.exe".
    TempDir scratch;
    std::string temp = scratch.File("Program Files");
    ASSERT_TRUE(::CreateDirectoryA(temp.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA((ModuleFolder() + "StandinSetup.exe").c_str(),
                            scratch.File("Program.exe").c_str(), FALSE));
    Start({"TMP=" + temp + "\\", "TEMP=" + temp + "\\"});
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    EXPECT_EQ(kInstallDone, Answer(IDOK, 60000));
    EXPECT_EQ(0u, WaitForEnd());

    // The stand-in writes its log into the temporary folder it inherited; an elevated program
    // stages in the protected folder whatever that temporary folder is.
    std::string work = StagesElevated() ? WorkFolder() : temp + "\\Netrefit\\";
    std::string log = ReadLog(temp + "\\NetrefitStandin.log");
    EXPECT_EQ(0u, log.find("folder " + work + "Extract\\\n")) << log;
    EXPECT_NE(std::string::npos, log.find("missing 0\n")) << log;
    EXPECT_FALSE(FileExists(work)) << "the work folder outlived the install";
}
