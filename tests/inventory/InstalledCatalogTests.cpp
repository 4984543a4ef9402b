#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "InventoryTestSupport.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/MachineProbes.h"
#include "support/MachineRegistry.h"
#include "support/TestFiles.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

const std::string kVendor = "Software\\Tavrin Corporation";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kMainUninstall1 = kUninstall + "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";
const std::string kMainUninstall2 = kUninstall + "{0D93B4E2-7A61-4F58-B2C7-91E0F3A6D854}";
const std::string kMainJukebox = kVendor + "\\Melorra\\Jukebox";
const std::string kMainVersion = kVendor + "\\Melorra\\Version";
const std::string kPlusJukebox = kVendor + "\\Melorra Plus\\Jukebox";
const std::string kPlusVersion = kVendor + "\\Melorra Plus\\Version";
const std::string kPlayerJukebox = kVendor + "\\Keldra Player\\Jukebox";
const std::string kCoverArt = kVendor + "\\Keldra Player\\Custom\\CoverArt";
const std::string kAddon = kVendor + "\\Melorra\\Addon\\";
const std::string kAddonCddb = kAddon + "{C47E2A19-6D05-4B8A-A3F1-5E9D07B2C6E1}";
const std::string kAddonNocddb = kAddon + "{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}";
const std::string kAddonCdBurn = kAddon + "{61A8D5C3-F74B-4E92-B01D-7C3E2A9F584B}";
const std::string kHotFix = kUninstall + "Keldra HotFix";

// Every test starts and ends with none of the suite's registrations on the machine.
class InstalledDetection : public ::testing::Test {
  protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean() {
        DeleteMachineKey(kVendor);
        DeleteMachineKey(kMainUninstall1);
        DeleteMachineKey(kMainUninstall2);
        for (const char* series : {"2", "3", "7"}) {
            DeleteMachineKey(kHotFix + series);
        }
    }

    // Registers the main product with its program in folder_ and returns the program's path.
    std::string RegisterMain(const std::string& uninstallKey) {
        std::string program = folder_.File("Melorra.exe");
        EXPECT_TRUE(SetMachineText(uninstallKey, "UninstallString", "C:\\uninstall.exe"));
        EXPECT_TRUE(SetMachineText(kMainJukebox, "InstalledPath", program));
        return program;
    }

    TempDir folder_;
};

}  // namespace

TEST_F(InstalledDetection, MainRegisteredWithoutInstalledPathIsNotInstalled) {
    ASSERT_TRUE(SetMachineText(kMainUninstall1, "UninstallString", "C:\\uninstall.exe"));
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.0.0.1"));
    InstalledCatalog catalog;
    EXPECT_EQ(1, catalog.IsMainRegistered());
    EXPECT_EQ(nullptr, catalog.Melorra());
    EXPECT_EQ(0, catalog.IsMainInstalled());
}

TEST_F(InstalledDetection, MainNotRegisteredIsNotInstalledWhateverElseExists) {
    ASSERT_TRUE(SetMachineText(kMainJukebox, "InstalledPath", folder_.File("Melorra.exe")));
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.0.0.1"));
    InstalledCatalog catalog;
    EXPECT_EQ(0, catalog.IsMainRegistered());
    EXPECT_EQ(nullptr, catalog.Melorra());
}

TEST_F(InstalledDetection, MainVersionIsTheFirstLineOfVersionTxtWithCrLf) {
    RegisterMain(kMainUninstall2);
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "1.0.0.0"));
    ASSERT_TRUE(WriteFileBytes(folder_.File("Version.txt"), "2.0.0.123\r\n3.0.0.0\r\n"));
    InstalledCatalog catalog;
    EXPECT_EQ("2.0.0.123", VersionText(catalog.Melorra()));
    EXPECT_EQ(kKindMelorra, catalog.Melorra()->Kind());
}

TEST_F(InstalledDetection, MainVersionFallsBackToTheRegistryWithoutVersionTxt) {
    RegisterMain(kMainUninstall1);
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.1.0.7"));
    InstalledCatalog catalog;
    EXPECT_EQ("2.1.0.7", VersionText(catalog.Melorra()));
}

TEST_F(InstalledDetection, VersionTxtThatCannotBeOpenedMeansNotInstalled) {
    RegisterMain(kMainUninstall1);
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.1.0.7"));
    std::string versionFile = folder_.File("Version.txt");
    ASSERT_TRUE(WriteFileBytes(versionFile, "2.0.0.123\r\n"));
    HANDLE held =
        ::CreateFileA(versionFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.Melorra());
    ::CloseHandle(held);
    EXPECT_EQ("2.0.0.123", VersionText(catalog.Melorra()));
}

TEST_F(InstalledDetection, FailedDetectionIsRetriedOnceTheProductAppears) {
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.Melorra());
    EXPECT_EQ(nullptr, catalog.MelorraDiscWriter());
    RegisterMain(kMainUninstall1);
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.0.0.5"));
    ASSERT_TRUE(SetMachineText(kVendor + "\\Melorra Disc Writer\\Version", "", "1.2.3.4"));
    ComponentVersion* found = catalog.Melorra();
    EXPECT_EQ("2.0.0.5", VersionText(found));
    EXPECT_EQ("1.2.3.4", VersionText(catalog.MelorraDiscWriter()));
    // Once found, the record is kept: later registry changes do not replace it.
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "9.0.0.0"));
    EXPECT_EQ(found, catalog.Melorra());
    EXPECT_EQ("2.0.0.5", VersionText(catalog.Melorra()));
}

TEST_F(InstalledDetection, PlusLinkdiscAndCommonLibraryFromTheirKeys) {
    ASSERT_TRUE(SetMachineText(kPlusVersion, "", "1.5.0.0"));
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.Plus()) << "Plus needs its InstalledPath";
    ASSERT_TRUE(SetMachineText(kPlusJukebox, "InstalledPath", folder_.File("Plus.exe")));
    EXPECT_EQ(1, catalog.IsPlusRegistered());
    EXPECT_EQ("1.5.0.0", VersionText(catalog.Plus()));
    EXPECT_EQ(kKindMelorraPlus, catalog.Plus()->Kind());

    ASSERT_TRUE(SetMachineText(kVendor + "\\Linkdisc Disc Writer\\Version", "", "4.4"));
    EXPECT_EQ("4.4.0.0", VersionText(catalog.LinkdiscWriter()));
    EXPECT_EQ(kKindLinkdiscDiscWriter, catalog.LinkdiscWriter()->Kind());

    std::string libraryKey = kVendor + "\\Shared Info\\AppDB\\Melorra Common Library";
    ASSERT_TRUE(SetMachineText(libraryKey, "Version", "1.0.2.33"));
    EXPECT_EQ("1.0.2.33", VersionText(catalog.MelorraCommonLibrary()));
}

TEST_F(InstalledDetection, RegistryTextThatFillsItsBufferWithoutTerminatorIsMissing) {
    std::string key = kVendor + "\\Keldra";
    const std::string full(24, '7');  // exactly the 24-byte buffer, no terminator
    ASSERT_TRUE(SetMachineRaw(key, "InstallerVersion", REG_SZ, full));
    {
        InstalledCatalog catalog;
        EXPECT_EQ(nullptr, catalog.KeldraSecureModule());
    }
    // 23 characters and the terminator fit.
    ASSERT_TRUE(SetMachineText(key, "InstallerVersion", "1.2.3.4" + std::string(16, ' ')));
    {
        InstalledCatalog catalog;
        EXPECT_EQ("1.2.3.4", VersionText(catalog.KeldraSecureModule()));
    }
    // 24 characters need 25 bytes: too long for the buffer, so missing.
    ASSERT_TRUE(SetMachineText(key, "InstallerVersion", "1.2.3.4" + std::string(17, ' ')));
    {
        InstalledCatalog catalog;
        EXPECT_EQ(nullptr, catalog.KeldraSecureModule());
    }
    // A short text stored without its terminator is still read whole.
    ASSERT_TRUE(SetMachineRaw(key, "InstallerVersion", REG_SZ, "5.6.7.8"));
    {
        InstalledCatalog catalog;
        EXPECT_EQ("5.6.7.8", VersionText(catalog.KeldraSecureModule()));
    }
}

TEST_F(InstalledDetection, RegistryValueOfTheWrongTypeIsMissing) {
    ASSERT_TRUE(SetMachineNumber(kVendor + "\\Keldra", "InstallerVersion", 0x312E32));
    ASSERT_TRUE(SetMachineText(kAddonCddb, "UninstallCount", "0"));
    ASSERT_TRUE(SetMachineText(kAddonCddb, "Version", "1.0.0.0"));
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.KeldraSecureModule());
    EXPECT_EQ(nullptr, catalog.MelorraAddonCddb());
}

TEST_F(InstalledDetection, ExtensionCountsOnlyWhileItsUninstallCountIsZero) {
    ASSERT_TRUE(SetMachineNumber(kAddonCddb, "UninstallCount", 1));
    ASSERT_TRUE(SetMachineText(kAddonCddb, "Version", "1.1.0.0"));
    ASSERT_TRUE(SetMachineNumber(kAddonNocddb, "UninstallCount", 0));
    ASSERT_TRUE(SetMachineText(kAddonNocddb, "Version", "1.2.0.0"));
    ASSERT_TRUE(SetMachineText(kAddonCdBurn, "Version", "1.3.0.0"));  // no UninstallCount
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.MelorraAddonCddb());
    EXPECT_EQ("1.2.0.0", VersionText(catalog.MelorraAddonNocddb()));
    EXPECT_EQ(kKindMelorraExtension, catalog.MelorraAddonNocddb()->Kind());
    EXPECT_EQ(nullptr, catalog.MelorraAddonCdBurn());
}

TEST_F(InstalledDetection, TesselSlotIsTheCdBurningRecordItself) {
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.MelorraAddonTesselCdBurn());
    ASSERT_TRUE(SetMachineNumber(kAddonCdBurn, "UninstallCount", 0));
    ASSERT_TRUE(SetMachineText(kAddonCdBurn, "Version", "2.0.1.0"));
    ComponentVersion* tessel = catalog.MelorraAddonTesselCdBurn();
    ASSERT_NE(nullptr, tessel);
    EXPECT_EQ(catalog.MelorraAddonCdBurn(), tessel);
    EXPECT_EQ(tessel, catalog.Get(kSlotMelorraAddonTesselCdBurn));
    EXPECT_EQ("2.0.1.0", VersionText(tessel));
}

TEST_F(InstalledDetection, CoverArtKeyZeroHidesANewerPlayer) {
    std::string program = folder_.File("Player.exe");
    ASSERT_TRUE(SetMachineText(kPlayerJukebox, "InstalledPath", program));
    ASSERT_TRUE(WriteFileBytes(folder_.File("Version.txt"), "3.0.0.0\n"));
    ASSERT_TRUE(SetMachineNumber(kCoverArt, "Key", 0));
    InstalledCatalog catalog;
    catalog.SetReference(kKindKeldraPlayer, "2.0.0.0");
    EXPECT_EQ("3.0.0.0", VersionText(catalog.KeldraPlayer()));
    EXPECT_EQ(1, catalog.IsPlayerCoverArt());
    EXPECT_EQ(0, catalog.IsPlayerNewerThanReference());
    EXPECT_EQ(0, catalog.IsTargetPresent());
}

TEST_F(InstalledDetection, CoverArtKeyOneOrMissingLeavesThePlayerComparable) {
    std::string program = folder_.File("Player.exe");
    ASSERT_TRUE(SetMachineText(kPlayerJukebox, "InstalledPath", program));
    ASSERT_TRUE(WriteFileBytes(folder_.File("Version.txt"), "3.0.0.0"));
    for (bool keyPresent : {true, false}) {
        DeleteMachineKey(kCoverArt);
        if (keyPresent) {
            ASSERT_TRUE(SetMachineNumber(kCoverArt, "Key", 1));
        }
        InstalledCatalog catalog;
        catalog.SetReference5("2.0.0.0");
        EXPECT_EQ(0, catalog.IsPlayerCoverArt()) << keyPresent;
        EXPECT_EQ(1, catalog.IsPlayerNewerThanReference()) << keyPresent;
        EXPECT_EQ(1, catalog.IsTargetPresent()) << keyPresent;
    }
}

TEST_F(InstalledDetection, PlayerWithoutVersionTxtUsesItsProgramVersionResource) {
    std::string program = folder_.File("Player.exe");
    ASSERT_TRUE(::CopyFileA((ModuleFolder() + "wmf_standin.dll").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(SetMachineText(kPlayerJukebox, "InstalledPath", program));
    InstalledCatalog catalog;
    EXPECT_EQ("9.0.0.3250", VersionText(catalog.KeldraPlayer()));
    EXPECT_EQ(kKindKeldraPlayer, catalog.KeldraPlayer()->Kind());
}

TEST_F(InstalledDetection, PlayerWithNeitherVersionSourceIsNotInstalled) {
    std::string program = folder_.File("Player.exe");
    ASSERT_TRUE(WriteFileBytes(program, "not a program"));
    ASSERT_TRUE(SetMachineText(kPlayerJukebox, "InstalledPath", program));
    InstalledCatalog catalog;
    EXPECT_EQ(1, catalog.IsPlayerRegistered());
    EXPECT_EQ(nullptr, catalog.KeldraPlayer());
    EXPECT_EQ(0, catalog.IsPlayerInstalled());
}

TEST_F(InstalledDetection, HotFixIsMatchedByTheFourthWordOfItsDisplayName) {
    ASSERT_TRUE(SetMachineText(kHotFix + "2", "DisplayName", "Keldra Player HotFix 3"));
    ASSERT_TRUE(SetMachineText(kHotFix + "7", "DisplayName", "Keldra  HotFix b"));
    InstalledCatalog catalog;
    EXPECT_EQ(1, catalog.IsHotFixInstalled("3 2"));
    EXPECT_EQ(1, catalog.IsHotFixInstalled("2 2"));
    EXPECT_EQ(0, catalog.IsHotFixInstalled("4 2"));
    EXPECT_EQ(0, catalog.IsHotFixInstalled("3 "));  // series 3 is not installed
    EXPECT_EQ(0, catalog.IsHotFixInstalled("b 7")) << "only three words";
    EXPECT_EQ(0, catalog.IsHotFixInstalled(""));
    EXPECT_EQ(0, catalog.IsHotFixInstalled(nullptr));

    ASSERT_TRUE(SetMachineText(kHotFix + "3", "DisplayName", "Keldra Secure HotFix B"));
    EXPECT_EQ(1, catalog.IsHotFixInstalled("3 ")) << "an empty series is the id itself";
    EXPECT_EQ(1, catalog.IsHotFixInstalled("b 3")) << "compared without regard to case";
    EXPECT_EQ(0, catalog.IsHotFixInstalled("c 3"));
}

TEST_F(InstalledDetection, EnableCddbIsReadOnceAndOnlyOneCounts) {
    std::string key = kVendor + "\\Melorra\\CDInfo";
    {
        InstalledCatalog catalog;
        EXPECT_EQ(0, catalog.EnableCddb());
    }
    ASSERT_TRUE(SetMachineNumber(key, "enableCDDB", 1));
    InstalledCatalog enabled;
    EXPECT_EQ(1, enabled.EnableCddb());
    ASSERT_TRUE(SetMachineNumber(key, "enableCDDB", 2));
    EXPECT_EQ(1, enabled.EnableCddb()) << "read by the constructor only";
    InstalledCatalog two;
    EXPECT_EQ(0, two.EnableCddb());
}

TEST_F(InstalledDetection, TargetPresentFollowsTheReferenceVersions) {
    RegisterMain(kMainUninstall1);
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.0.0.123"));
    {
        InstalledCatalog catalog;
        EXPECT_EQ(1, catalog.IsTargetPresent()) << "no references at all";
        catalog.SetReference(kKindMelorra, "");
        catalog.SetReference(kKindMelorra, nullptr);
        EXPECT_EQ(1, catalog.IsTargetPresent()) << "empty references are ignored";
        catalog.SetReference(kKindMelorra, "2.0.0.122");
        EXPECT_EQ(1, catalog.IsMainNewerThanReference());
        EXPECT_EQ(1, catalog.IsTargetPresent());
        catalog.SetReference1("2.0.0.123");
        EXPECT_EQ(0, catalog.IsMainNewerThanReference());
        EXPECT_EQ(0, catalog.IsTargetPresent());
    }
    {
        InstalledCatalog catalog;
        catalog.SetReference(kKindMelorraDiscWriter, "1.0.0.0");
        EXPECT_EQ(0, catalog.IsTargetPresent()) << "no disc writer installed";
        ASSERT_TRUE(SetMachineText(kVendor + "\\Melorra Disc Writer\\Version", "", "1.0.0.1"));
        EXPECT_EQ(1, catalog.IsDiscWriterNewerThanReference());
        EXPECT_EQ(1, catalog.IsTargetPresent());
    }
    {
        InstalledCatalog catalog;
        ASSERT_TRUE(SetMachineText(kPlusJukebox, "InstalledPath", folder_.File("Plus.exe")));
        ASSERT_TRUE(SetMachineText(kPlusVersion, "", "1.1.0.0"));
        catalog.SetReference2("1.0.0.0");
        EXPECT_EQ(1, catalog.IsPlusNewerThanReference());
        catalog.SetReference(kKindMelorraPlus, "1.1.0.0");
        EXPECT_EQ(0, catalog.IsPlusNewerThanReference());
    }
}

TEST_F(InstalledDetection, InstalledPathNearTheLengthLimitIsNeverOverflowed) {
    // The program path fits its 261-byte value, but "Version.txt" beside it would pass 260
    // characters: the file counts as missing and the registry version is used.
    std::string deep = "C:\\" + std::string(250, 'd') + "\\";
    std::string program = deep + std::string(259 - deep.size(), 'p');
    ASSERT_EQ(259u, program.size());
    ASSERT_TRUE(SetMachineText(kMainUninstall1, "UninstallString", "C:\\uninstall.exe"));
    ASSERT_TRUE(SetMachineText(kMainJukebox, "InstalledPath", program));
    ASSERT_TRUE(SetMachineText(kMainVersion, "", "2.2.2.2"));
    InstalledCatalog catalog;
    EXPECT_EQ("2.2.2.2", VersionText(catalog.Melorra()));
    // A 261-character path does not fit the value's buffer at all.
    ASSERT_TRUE(SetMachineText(kMainJukebox, "InstalledPath", program + "xx"));
    InstalledCatalog tooLong;
    EXPECT_EQ(nullptr, tooLong.Melorra());
}
