// The decision over the real catalogues: a server information file on disk and this computer's
// registry and files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "InventoryTestSupport.h"
#include "inventory/DownloadDecision.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/ServerCatalog.h"
#include "support/CurrentDirectoryScope.h"
#include "support/MachineRegistry.h"
#include "support/TestFiles.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

const std::string kVendor = "Software\\Tavrin Corporation";
const std::string kMainUninstall =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";
const std::string kHotFix2 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Keldra HotFix2";

struct TestCatalog : ComponentCatalog {
    using ComponentCatalog::Store;
};

const char kServerFile[] =
    "[Settings]\r\n"
    "FreeCDDB=0\r\n"
    "Connect=0\r\n"
    "[Melorra]\r\n"
    "Version=2.0.0.200\r\n"
    "path=http://updates.example/modules/Melorra.zip\r\n"
    "Size=123456\r\n"
    "MD5=0123456789abcdef0123456789abcdef\r\n"
    "[KeldraSecureModule]\r\n"
    "Version=1.0.0.5\r\n"
    "path=http://updates.example/modules/Secure.zip\r\n"
    "Size=1000\r\n"
    "MD5=00000000000000000000000000000001\r\n"
    "HotFix01=3\r\n"
    "HotFixSeries01=2\r\n"
    "[MelorraCommonLibrary]\r\n"
    "Version=1.2.0.0\r\n"
    "path=http://updates.example/modules/Common.zip\r\n"
    "Size=2000\r\n"
    "MD5=00000000000000000000000000000002\r\n"
    "[MelorraAddonNocddb]\r\n"
    "Version=1.0.0.2\r\n"
    "path=http://updates.example/modules/Nocddb.zip\r\n"
    "Size=3000\r\n"
    "MD5=00000000000000000000000000000003\r\n"
    "[LauncherMl]\r\n"
    "Version=1.0.0.0\r\n"
    "path=http://updates.example/modules/Starter.exe\r\n"
    "Size=4000\r\n"
    "MD5=00000000000000000000000000000004\r\n"
    "[UpdateAgent]\r\n"
    "Version=3.1.4.15\r\n";

class UpgradeDecision : public ::testing::Test {
  protected:
    void SetUp() override {
        Clean();
        ASSERT_TRUE(WriteFileBytes(serverFile_, kServerFile));
        ASSERT_EQ(kServerLoadOk, server_.Load(serverFile_.c_str()));
        ASSERT_TRUE(SetMachineText(kMainUninstall, "UninstallString", "C:\\uninstall.exe"));
        ASSERT_TRUE(SetMachineText(kVendor + "\\Melorra\\Jukebox", "InstalledPath",
                                   work_.File("Melorra.exe")));
        ASSERT_TRUE(SetMachineText(kVendor + "\\Melorra\\Version", "", "2.0.0.123"));
        ASSERT_TRUE(SetMachineText(kVendor + "\\Keldra", "InstallerVersion", "1.0.0.5"));
        ASSERT_TRUE(SetMachineText(kVendor + "\\Shared Info\\AppDB\\Melorra Common Library",
                                   "Version", "1.2.0.0"));
        std::string nocddb = kVendor + "\\Melorra\\Addon\\{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}";
        ASSERT_TRUE(SetMachineNumber(nocddb, "UninstallCount", 0));
        ASSERT_TRUE(SetMachineText(nocddb, "Version", "1.0.0.2"));
    }
    void TearDown() override { Clean(); }

    static void Clean() {
        DeleteMachineKey(kVendor);
        DeleteMachineKey(kMainUninstall);
        DeleteMachineKey(kHotFix2);
    }

    TempDir work_;
    std::string serverFile_ = work_.File("Version_English.ini");
    ServerCatalog server_;
};

}  // namespace

TEST_F(UpgradeDecision, MissingHotFixAndOlderMainProductAreOfferedWithSetupStarterLast) {
    ASSERT_TRUE(SetMachineText(kHotFix2, "DisplayName", "Keldra Player HotFix 2"));
    InstalledCatalog installed;
    DownloadList list;
    BuildDownloadList(list, installed, server_, UpgradeMode::Upgrade, work_.Path());
    std::vector<std::string> expected = {"Secure.zip", "Melorra.zip", "Starter.exe"};
    EXPECT_EQ(expected, FileNames(list));
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(work_.File("Melorra.zip"), list[1].LocalPath());
    EXPECT_EQ(123456, list[1].Size());
    EXPECT_EQ("Melorra 2.0", list[1].Name());
}

TEST_F(UpgradeDecision, InstalledHotFixLeavesOnlyTheMainProduct) {
    ASSERT_TRUE(SetMachineText(kHotFix2, "DisplayName", "Keldra Player HotFix 3"));
    InstalledCatalog installed;
    DownloadList list;
    BuildDownloadList(list, installed, server_, UpgradeMode::Upgrade, work_.Path());
    std::vector<std::string> expected = {"Melorra.zip", "Starter.exe"};
    EXPECT_EQ(expected, FileNames(list));
}

TEST_F(UpgradeDecision, CurrentInstallationOffersAReinstallInstead) {
    ASSERT_TRUE(SetMachineText(kHotFix2, "DisplayName", "Keldra Player HotFix 3"));
    ASSERT_TRUE(SetMachineText(kVendor + "\\Melorra\\Version", "", "2.0.0.200"));
    InstalledCatalog installed;
    DownloadList list;
    BuildDownloadList(list, installed, server_, UpgradeMode::Upgrade, work_.Path());
    EXPECT_TRUE(list.empty());
    BuildDownloadList(list, installed, server_, UpgradeMode::Reinstall, work_.Path());
    std::vector<std::string> expected = {"Secure.zip", "Common.zip", "Melorra.zip", "Nocddb.zip",
                                         "Starter.exe"};
    EXPECT_EQ(expected, FileNames(list));
}

TEST_F(UpgradeDecision, ReferenceVersionsFromTheServerFileDecideTheTarget) {
    {
        InstalledCatalog installed;
        ApplyReferenceVersions(installed, server_);  // the file names none
        EXPECT_EQ(1, installed.IsTargetPresent());
    }
    const std::pair<const char*, int> rows[] = {
        {"ML=2.0.0.100", 1}, {"ML=2.0.0.123", 0}, {"MLP=1.0.0.0", 0},
        {"MLDW=1.0.0.0", 0}, {"KDPL=1.0.0.0", 0}, {"ML=", 1},
    };
    for (const auto& [setting, present] : rows) {
        std::string text = std::string("[Settings]\r\n") + setting + "\r\n";
        ASSERT_TRUE(WriteFileBytes(serverFile_, text));
        ServerCatalog server;
        ASSERT_EQ(kServerLoadOk, server.Load(serverFile_.c_str()));
        InstalledCatalog installed;
        ApplyReferenceVersions(installed, server);
        EXPECT_EQ(present, installed.IsTargetPresent()) << setting;
    }
}

TEST(SelfVersion, OlderProgramThanTheServersUpdateAgentMustNotGoOn) {
    CurrentDirectoryScope restore;
    ASSERT_TRUE(::SetCurrentDirectoryA(ModuleFolder().c_str()));
    const struct {
        const char* server;  // nullptr: the server lists no update agent
        bool goOn;
    } rows[] = {
        {"3.1.4.16", false}, {"3.2.0.0", false}, {"3.1.4.15", true},
        {"3.1.4.14", true},  {"2.9.9.9", true},  {nullptr, true},
    };
    for (const auto& row : rows) {
        InstalledCatalog installed;
        TestCatalog server;
        if (row.server != nullptr) {
            auto* agent = new ComponentVersion(kKindUpdateAgent);
            agent->ParseVersion(row.server);
            server.Store(kSlotUpdateAgent, agent);
        }
        EXPECT_EQ(row.goOn, CheckSelfVersion(installed, server)) << row.server;
    }
}

TEST(SelfVersion, ProgramWithoutVersionResourceGoesOn) {
    CurrentDirectoryScope restore;
    TempDir elsewhere;
    ASSERT_TRUE(::SetCurrentDirectoryA(elsewhere.Path().c_str()));
    InstalledCatalog installed;
    TestCatalog server;
    auto* agent = new ComponentVersion(kKindUpdateAgent);
    agent->ParseVersion("9.0.0.0");
    server.Store(kSlotUpdateAgent, agent);
    EXPECT_TRUE(CheckSelfVersion(installed, server));
    EXPECT_FALSE(CheckSelfVersion(installed, server, ModuleFolder().c_str()));
}
