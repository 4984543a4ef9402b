#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "inventory/ServerCatalog.h"
#include "support/TestFiles.h"

using namespace netrefit;
using netrefit::test::TempDir;
using netrefit::test::WriteFileBytes;

namespace {

const char kMd5[] = "0123456789abcdef0123456789ABCDEF";

// A complete component section; extra lines follow the four keys.
std::string Component(const std::string& name,
                      const std::string& version,
                      const std::string& extra = "") {
    return "[" + name + "]\r\nVersion=" + version + "\r\npath=http://updates.invalid/" + name +
           ".zip\r\nSize=1234\r\nMD5=" + kMd5 + "\r\n" + extra;
}

struct Row {
    const char* section;
    CatalogSlot slot;
    int32_t kind;
};

const Row kRows[] = {
    {"Melorra", kSlotMelorra, kKindMelorra},
    {"MelorraDiscWriter", kSlotMelorraDiscWriter, kKindMelorraDiscWriter},
    {"KeldraPlayer", kSlotKeldraPlayer, kKindKeldraPlayer},
    {"KeldraSecureModule", kSlotKeldraSecureModule, kKindKeldraSecureModule},
    {"MelorraCommonLibrary", kSlotMelorraCommonLibrary, kKindMelorraCommonLibrary},
    {"MelorraAddonCddb", kSlotMelorraAddonCddb, kKindMelorraExtension},
    {"MelorraAddonNocddb", kSlotMelorraAddonNocddb, kKindMelorraExtension},
    {"MelorraAddonCdBurn", kSlotMelorraAddonCdBurn, kKindMelorraExtension},
    {"MelorraAddonTesselCdBurn", kSlotMelorraAddonTesselCdBurn, kKindMelorraExtension},
    {"DirectX", kSlotDirectX, kKindDirectX},
    {"MDAC", kSlotMdac, kKindMdac},
    {"WMFSDK", kSlotWmfSdk, kKindWindowsMediaFormat},
};

std::string VersionOf(const ComponentVersion* record) {
    char text[32] = "";
    record->FormatVersion(text, sizeof(text));
    return text;
}

ServerComponent* AsServer(ComponentVersion* record) {
    return dynamic_cast<ServerComponent*>(record);
}

class ServerFile : public ::testing::Test {
  protected:
    // A new file name for every write: the profile functions may keep a cached copy.
    std::string Write(const std::string& text) {
        std::string path = dir_.File("Version_English" + std::to_string(++files_) + ".ini");
        EXPECT_TRUE(WriteFileBytes(path, text));
        return path;
    }

    // Loads text into catalog_, expecting success.
    void Load(const std::string& text) {
        ASSERT_EQ(kServerLoadOk, catalog_.Load(Write(text).c_str()));
    }

    TempDir dir_;
    int files_ = 0;
    ServerCatalog catalog_;
};

}  // namespace

TEST_F(ServerFile, EveryComponentSectionLandsInItsSlot) {
    std::string text;
    int minor = 0;
    for (const Row& row : kRows) {
        text += Component(row.section, "1." + std::to_string(++minor) + ".0.7");
    }
    text += "[UpdateAgent]\r\nVersion=3.1.4.1\r\n";
    Load(text);

    minor = 0;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.section);
        ServerComponent* record = AsServer(catalog_.Get(row.slot));
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(row.kind, record->Kind());
        EXPECT_EQ("1." + std::to_string(++minor) + ".0.7", VersionOf(record));
        EXPECT_EQ(std::string("http://updates.invalid/") + row.section + ".zip",
                  record->RemotePath());
        EXPECT_EQ("1234", record->SizeText());
        EXPECT_EQ(kMd5, record->Md5Text());
        EXPECT_EQ(0u, record->HotFixCount());
    }
    ComponentVersion* agent = catalog_.UpdateAgent("C:\\ignored\\");
    ASSERT_NE(nullptr, agent);
    EXPECT_EQ(kKindUpdateAgent, agent->Kind());
    EXPECT_EQ("3.1.4.1", VersionOf(agent));
    EXPECT_EQ(agent, catalog_.UpdateAgent(nullptr));
    EXPECT_EQ(nullptr, catalog_.Launcher());
}

TEST_F(ServerFile, EmptyFileLoadsWithEverySlotEmpty) {
    Load("");
    for (int slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(nullptr, catalog_.Get(static_cast<CatalogSlot>(slot))) << slot;
    }
    EXPECT_EQ(nullptr, catalog_.Launcher());
    EXPECT_EQ(0, catalog_.FreeCddb());
    EXPECT_EQ(0, catalog_.Connect());
    EXPECT_EQ("", catalog_.ReferenceMl());
}

TEST_F(ServerFile, LauncherNeverTakesASlot) {
    Load(Component("LauncherMl", "5.0.0.1"));
    for (int slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(nullptr, catalog_.Get(static_cast<CatalogSlot>(slot))) << slot;
    }
    ServerComponent* launcher = catalog_.Launcher();
    ASSERT_NE(nullptr, launcher);
    EXPECT_EQ(kKindSetupStarter, launcher->Kind());
    EXPECT_EQ("5.0.0.1", VersionOf(launcher));
    EXPECT_EQ("http://updates.invalid/LauncherMl.zip", launcher->RemotePath());
}

TEST_F(ServerFile, UpdateAgentNeedsOnlyItsVersion) {
    Load("[UpdateAgent]\r\nVersion=2.0.0.5\r\n");
    ASSERT_NE(nullptr, catalog_.UpdateAgent(""));
    EXPECT_EQ("2.0.0.5", VersionOf(catalog_.UpdateAgent("")));

    ServerCatalog without;
    std::string path =
        Write("[UpdateAgent]\r\npath=http://u.invalid/a.exe\r\nSize=1\r\nMD5=" + std::string(kMd5) +
              "\r\nVersion=\r\n");
    ASSERT_EQ(kServerLoadOk, without.Load(path.c_str()));
    EXPECT_EQ(nullptr, without.UpdateAgent(""));
}

TEST_F(ServerFile, IncompleteSectionsLeaveTheSlotEmpty) {
    struct Case {
        const char* name;
        std::string body;
        bool stored;
    };
    const std::string md5 = std::string("MD5=") + kMd5 + "\r\n";
    const Case cases[] = {
        {"complete", "Version=1.0.0.0\r\npath=http://u.invalid/a.zip\r\nSize=9\r\n" + md5, true},
        {"no version", "path=http://u.invalid/a.zip\r\nSize=9\r\n" + md5, true},
        {"no path", "Version=1.0.0.0\r\nSize=9\r\n" + md5, false},
        {"empty path", "Version=1.0.0.0\r\npath=\r\nSize=9\r\n" + md5, false},
        {"no size", "Version=1.0.0.0\r\npath=http://u.invalid/a.zip\r\n" + md5, false},
        {"empty size", "Version=1.0.0.0\r\npath=http://u.invalid/a.zip\r\nSize=\r\n" + md5, false},
        {"no md5", "Version=1.0.0.0\r\npath=http://u.invalid/a.zip\r\nSize=9\r\n", false},
        {"empty md5", "Version=1.0.0.0\r\npath=http://u.invalid/a.zip\r\nSize=9\r\nMD5=\r\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerCatalog catalog;
        ASSERT_EQ(kServerLoadOk, catalog.Load(Write("[KeldraPlayer]\r\n" + c.body).c_str()));
        ComponentVersion* record = catalog.KeldraPlayer();
        EXPECT_EQ(c.stored, record != nullptr);
        if (record != nullptr && std::string(c.name) == "no version") {
            EXPECT_EQ("0.0.0.0", VersionOf(record));
        }
    }
}

TEST_F(ServerFile, IncompleteReadLeavesTheRecordUntouched) {
    std::string path = Write("[DirectX]\r\nVersion=4.9.0.904\r\npath=http://u.invalid/dx.zip\r\n");
    ServerComponent record(kKindDirectX);
    record.ParseVersion("1.2.3.4");
    record.AddHotFix("Q1 S1");
    EXPECT_EQ(0, catalog_.ReadComponentSection(path.c_str(), "DirectX", &record));
    EXPECT_EQ("1.2.3.4", VersionOf(&record));
    EXPECT_EQ("", record.RemotePath());
    EXPECT_EQ(1u, record.HotFixCount());
}

TEST_F(ServerFile, MissingArgumentsReadNothing) {
    std::string path = Write(Component("Melorra", "1.0.0.0"));
    ServerComponent record(kKindMelorra);
    EXPECT_EQ(1, catalog_.ReadComponentSection(path.c_str(), "Melorra", &record));
    EXPECT_EQ(0, catalog_.ReadComponentSection(nullptr, "Melorra", &record));
    EXPECT_EQ(0, catalog_.ReadComponentSection(path.c_str(), nullptr, &record));
    EXPECT_EQ(0, catalog_.ReadComponentSection(path.c_str(), "", &record));
    EXPECT_EQ(0, catalog_.ReadComponentSection("", "Melorra", &record));
    EXPECT_EQ(0, catalog_.ReadComponentSection(path.c_str(), "Melorra", nullptr));
    EXPECT_EQ(1, catalog_.ReadVersionSection(path.c_str(), "Melorra", &record));
    EXPECT_EQ(0, catalog_.ReadVersionSection(nullptr, "Melorra", &record));
    EXPECT_EQ(0, catalog_.ReadVersionSection(path.c_str(), nullptr, &record));
    EXPECT_EQ(0, catalog_.ReadVersionSection(path.c_str(), "Melorra", nullptr));
    EXPECT_EQ(0, catalog_.ReadVersionSection(path.c_str(), "Absent", &record));
}

TEST_F(ServerFile, SectionAndKeyNamesMatchWithoutRegardToCase) {
    Load(
        "[keldrasecuremodule]\r\nVERSION=6.0.0.1\r\nPATH=http://u.invalid/k.zip\r\nsize=5\r\n"
        "md5=" +
        std::string(kMd5) + "\r\nhotfix01=KB1\r\nHOTFIXSERIES01=A\r\n");
    ComponentVersion* record = catalog_.KeldraSecureModule();
    ASSERT_NE(nullptr, record);
    EXPECT_EQ("6.0.0.1", VersionOf(record));
    EXPECT_EQ("KB1 A", record->HotFix(0));
}

TEST_F(ServerFile, HotFixesRunFromOneUpToTheFirstGap) {
    Load(Component("KeldraSecureModule", "1.0.0.0",
                   "HotFix01=KB100\r\nHotFixSeries01=SP1\r\nHotFix02=KB200\r\n"
                   "HotFix04=KB400\r\nHotFixSeries04=SP4\r\n") +
         Component("Melorra", "1.0.0.0", "HotFix01=KB1\r\nHotFix03=KB3\r\n") +
         Component("DirectX", "1.0.0.0", "HotFix02=KB2\r\nHotFixSeries01=S1\r\n"));
    ComponentVersion* secure = catalog_.KeldraSecureModule();
    ASSERT_NE(nullptr, secure);
    ASSERT_EQ(2u, secure->HotFixCount());
    EXPECT_EQ("KB100 SP1", secure->HotFix(0));
    EXPECT_EQ("KB200 ", secure->HotFix(1));  // an empty series leaves the blank

    ASSERT_NE(nullptr, catalog_.Melorra());
    ASSERT_EQ(1u, catalog_.Melorra()->HotFixCount());
    EXPECT_EQ("KB1 ", catalog_.Melorra()->HotFix(0));

    ASSERT_NE(nullptr, catalog_.DirectX());
    EXPECT_EQ(0u, catalog_.DirectX()->HotFixCount());
}

TEST_F(ServerFile, AtMostNinetyNineHotFixesInFileOrder) {
    std::string extra;
    for (int n = 1; n <= 100; ++n) {
        char line[64];
        std::snprintf(line, sizeof(line), "HotFix%02d=KB%d\r\nHotFixSeries%02d=S%d\r\n", n, n, n,
                      n);
        extra += line;
    }
    Load(Component("KeldraSecureModule", "1.0.0.0", extra));
    ComponentVersion* record = catalog_.KeldraSecureModule();
    ASSERT_NE(nullptr, record);
    ASSERT_EQ(99u, record->HotFixCount());
    EXPECT_EQ("KB1 S1", record->HotFix(0));
    EXPECT_EQ("KB10 S10", record->HotFix(9));
    EXPECT_EQ("KB99 S99", record->HotFix(98));
}

TEST_F(ServerFile, ReadingReplacesTheRecordsHotFixes) {
    std::string path =
        Write(Component("Melorra", "2.0.0.0", "HotFix01=New\r\nHotFixSeries01=X\r\n"));
    ServerComponent record(kKindMelorra);
    record.AddHotFix("Old1 A");
    record.AddHotFix("Old2 B");
    ASSERT_EQ(1, catalog_.ReadComponentSection(path.c_str(), "Melorra", &record));
    ASSERT_EQ(1u, record.HotFixCount());
    EXPECT_EQ("New X", record.HotFix(0));
    EXPECT_EQ("2.0.0.0", VersionOf(&record));
}

TEST_F(ServerFile, FlagsAreSetOnlyByExactlyOne) {
    struct Case {
        const char* value;
        int set;
    };
    const Case cases[] = {{"1", 1}, {"01", 0}, {"true", 0}, {"2", 0},
                          {"", 0},  {"11", 0}, {"1x", 0},   {"yes", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ServerCatalog catalog;
        std::string text =
            std::string("[Settings]\r\nFreeCDDB=") + c.value + "\r\nConnect=" + c.value + "\r\n";
        ASSERT_EQ(kServerLoadOk, catalog.Load(Write(text).c_str()));
        EXPECT_EQ(c.set, catalog.FreeCddb());
        EXPECT_EQ(c.set, catalog.Connect());
    }
    ServerCatalog mixed;
    ASSERT_EQ(kServerLoadOk, mixed.Load(Write("[Settings]\r\nConnect=1\r\n").c_str()));
    EXPECT_EQ(0, mixed.FreeCddb());
    EXPECT_EQ(1, mixed.Connect());
}

TEST_F(ServerFile, ReferenceVersionsAreCopiedAsText) {
    Load("[Settings]\r\nML=2.0.0.123\r\nMLDW=1.5.0.0\r\nMLP=3.0.1.2\r\nKDPL=" +
         std::string(40, '9') + "\r\n");
    EXPECT_EQ("2.0.0.123", catalog_.ReferenceMl());
    EXPECT_EQ("1.5.0.0", catalog_.ReferenceMldw());
    EXPECT_EQ("3.0.1.2", catalog_.ReferenceMlp());
    EXPECT_EQ(std::string(ServerCatalog::kMaxVersionChars, '9'), catalog_.ReferenceKdpl());
}

TEST_F(ServerFile, ShortTextsAreCutToTheirLimits) {
    std::string md5 = std::string(kMd5) + "EXTRA";
    Load("[MDAC]\r\nVersion=2.80.1022.0" + std::string(30, '0') +
         "\r\npath=http://u.invalid/m.zip\r\nSize=" + std::string(30, '5') + "\r\nMD5=" + md5 +
         "\r\nHotFix01=" + std::string(300, 'h') + "\r\n");
    ServerComponent* record = AsServer(catalog_.MDAC());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(std::string(ServerCatalog::kMaxSizeChars, '5'), record->SizeText());
    EXPECT_EQ(kMd5, record->Md5Text());
    EXPECT_EQ(std::string(ServerCatalog::kMaxHotFixChars, 'h') + " ", record->HotFix(0));
}

TEST_F(ServerFile, RemotePathIsKeptWholeOrNotAtAll) {
    std::string base = "http://updates.invalid/";
    std::string longest =
        base + std::string(ServerCatalog::kMaxRemotePathChars - base.size() - 4, 'p') + ".zip";
    ASSERT_EQ(ServerCatalog::kMaxRemotePathChars, longest.size());
    std::string overlong = base + std::string(longest.size() - base.size() - 3, 'p') + ".zip";
    std::string md5 = std::string("\r\nSize=1\r\nMD5=") + kMd5 + "\r\n";
    Load("[Melorra]\r\npath=" + longest + md5 + "[DirectX]\r\npath=" + overlong + md5);
    ServerComponent* record = AsServer(catalog_.Melorra());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(longest, record->RemotePath());
    // A cut path would name a different file to fetch: the section counts as incomplete.
    EXPECT_EQ(nullptr, catalog_.DirectX());
}

// A signed file gives every module section a digest; one missing or malformed anywhere (the
// version-only [UpdateAgent] aside) is noticed whether or not the section will be fetched.
TEST_F(ServerFile, EveryModuleNeedsAWellFormedSha256) {
    const std::string good = std::string(64, 'a');
    struct {
        const char* name;
        std::string extra;  // second module section's SHA256 line
        bool everyModule;
        std::string kept;  // as the record holds it
    } cases[] = {
        {"Present", "SHA256=" + good + "\r\n", true, good},
        {"Absent", "", false, ""},
        {"UpperCase", "SHA256=" + std::string(64, 'A') + "\r\n", false, std::string(64, 'A')},
        {"OneDigitLong", "SHA256=" + good + "0\r\n", false, good + "0"},
        {"Overlong", "SHA256=" + good + std::string(100, '0') + "\r\n", false, good + "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Load(Component("Melorra", "2.0", "SHA256=" + good + "\r\n") +
             Component("MDAC", "2.8", c.extra) + "[UpdateAgent]\r\nVersion=1.0\r\n");
        EXPECT_EQ(c.everyModule, catalog_.EveryModuleHasSha256());
        ServerComponent* record = AsServer(catalog_.MDAC());
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(c.kept, record->Sha256Text());
    }
}

// Mirrors= lists up to four further URLs; more, or a value too long to read whole, would hide
// URLs the deployer wrote, and leaves the section incomplete as a cut path does.
TEST_F(ServerFile, MirrorsAreReadInOrderAndAnOverfullListDropsTheSection) {
    const std::string url = "http://m.example/" + std::string(250, 'p');
    struct {
        const char* name;
        std::string line;
        bool kept;
        TextList mirrors;
    } cases[] = {
        {"None", "", true, {}},
        {"Two",
         "Mirrors=http://a/m.zip, https://b:8443/x%2Cy.zip\r\n",
         true,
         {"http://a/m.zip", "https://b:8443/x,y.zip"}},
        {"FourLongest",
         "Mirrors=" + url + "," + url + "," + url + "," + url + "\r\n",
         true,
         {url, url, url, url}},
        {"Five", "Mirrors=http://a,http://b,http://c,http://d,http://e\r\n", false, {}},
        {"Overlong",
         "Mirrors=http://a/" + std::string(ServerCatalog::kMaxMirrorsChars, 'x') + "\r\n",
         false,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerCatalog catalog;  // a fresh one: an incomplete section keeps what a slot held
        ASSERT_EQ(kServerLoadOk, catalog.Load(Write(Component("MDAC", "2.8", c.line)).c_str()));
        ServerComponent* record = AsServer(catalog.MDAC());
        ASSERT_EQ(c.kept, record != nullptr);
        if (record != nullptr) {
            EXPECT_EQ(c.mirrors, record->Mirrors());
        }
    }
}

TEST_F(ServerFile, LoadRefusesMissingAndOverlongPaths) {
    EXPECT_EQ(kServerLoadBadPath, catalog_.Load(nullptr));
    EXPECT_EQ(kServerLoadBadPath, catalog_.Load(""));

    // A path of exactly the longest length passes the check and fails only at opening.
    std::string longest = dir_.Path();
    longest += std::string(ServerCatalog::kMaxPathChars - longest.size(), 'v');
    EXPECT_EQ(kServerLoadCannotOpen, catalog_.Load(longest.c_str()));
    EXPECT_EQ(longest, catalog_.FilePath());
    EXPECT_EQ(kServerLoadBadPath, catalog_.Load((longest + "v").c_str()));
    EXPECT_EQ(longest, catalog_.FilePath());
}

TEST_F(ServerFile, LoadOfAnAbsentFileIsTwo) {
    EXPECT_EQ(kServerLoadCannotOpen, catalog_.Load(dir_.File("Version_Absent.ini").c_str()));
    EXPECT_EQ(nullptr, catalog_.Melorra());
}

TEST_F(ServerFile, LoadOfAFileHeldOpenIsTwo) {
    std::string path = Write(Component("Melorra", "1.0.0.0"));
    {
        // Even a holder that shares everything keeps the file from being loaded.
        FileHandle holder(::CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder.valid());
        EXPECT_EQ(kServerLoadCannotOpen, catalog_.Load(path.c_str()));
        EXPECT_EQ(nullptr, catalog_.Melorra());
    }
    EXPECT_EQ(kServerLoadOk, catalog_.Load(path.c_str()));
    EXPECT_NE(nullptr, catalog_.Melorra());
    EXPECT_EQ(path, catalog_.FilePath());
}
