#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "InventoryTestSupport.h"
#include "inventory/DownloadDecision.h"

using namespace netrefit;

namespace {

const char kFolder[] = "C:\\work\\Netrefit\\";

struct TestCatalog : ComponentCatalog {
    using ComponentCatalog::Store;
};

struct SlotInfo {
    CatalogSlot slot;
    int32_t kind;
    const char* file;     // server module file name
    const char* version;  // what both sides hold unless a case says otherwise
};

const SlotInfo kSlots[] = {
    {kSlotMelorra, kKindMelorra, "melorra.zip", "2.0.0.123"},
    {kSlotMelorraDiscWriter, kKindMelorraDiscWriter, "writer.zip", nullptr},
    {kSlotKeldraPlayer, kKindKeldraPlayer, "player.zip", nullptr},
    {kSlotKeldraSecureModule, kKindKeldraSecureModule, "secure.zip", "1.0.0.5"},
    {kSlotMelorraCommonLibrary, kKindMelorraCommonLibrary, "common.zip", "1.2.0.0"},
    {kSlotMelorraAddonCddb, kKindMelorraExtension, "cddb.zip", "1.0.0.1"},
    {kSlotMelorraAddonNocddb, kKindMelorraExtension, "nocddb.zip", "1.0.0.2"},
    {kSlotMelorraAddonCdBurn, kKindMelorraExtension, "cdburn.zip", "1.0.0.3"},
    {kSlotMelorraAddonTesselCdBurn, kKindMelorraExtension, "tessel.zip", "1.0.0.3"},
    {kSlotDirectX, kKindDirectX, "directx.zip", "4.9.0.904"},
    {kSlotMdac, kKindMdac, "mdac.zip", "2.81.0.0"},
    {kSlotWmfSdk, kKindWindowsMediaFormat, "wmf.zip", "9.0.0.3250"},
    {kSlotUpdateAgent, kKindUpdateAgent, "agent.exe", "1.1.0.0"},
};

using Overrides = std::vector<std::pair<CatalogSlot, const char*>>;  // nullptr: absent

const char* VersionFor(const SlotInfo& info, const Overrides& overrides, bool* present) {
    const char* version = info.version;
    *present = version != nullptr;
    for (const auto& [slot, value] : overrides) {
        if (slot == info.slot) {
            version = value;
            *present = value != nullptr;
        }
    }
    return version;
}

ServerComponent* Offer(int32_t kind, const char* version, const std::string& file) {
    auto* record = new ServerComponent(kind);
    record->ParseVersion(version);
    record->SetRemotePath(("http://updates.example/modules/" + file).c_str());
    record->SetSizeText("1000");
    record->SetMd5Text("0123456789abcdef0123456789abcdef");
    return record;
}

void Fill(TestCatalog& installed,
          TestCatalog& server,
          const Overrides& have,
          const Overrides& offer) {
    for (const SlotInfo& info : kSlots) {
        bool present = false;
        const char* version = VersionFor(info, have, &present);
        if (present && info.slot != kSlotMelorraAddonTesselCdBurn) {  // shares the CD-burn record
            auto* record = new ComponentVersion(info.kind);
            record->ParseVersion(version);
            installed.Store(info.slot, record);
        }
        version = VersionFor(info, offer, &present);
        if (present) {
            server.Store(info.slot, Offer(info.kind, version, info.file));
        }
    }
}

// Everything on the server is installed in the same version, Windows XP, no switches.
struct Case {
    const char* name;
    UpgradeMode mode;
    Overrides have;
    Overrides offer;
    std::vector<std::string> expected;
    int osCode = 64;
    int connect = 0;
    int freeCddb = 0;
    int enableCddb = 0;
    bool launcher = true;
    std::vector<const char*> requiredHotFixes = {};
    std::set<std::string> installedHotFixes = {};
};

const UpgradeMode kUp = UpgradeMode::Upgrade;
const UpgradeMode kRe = UpgradeMode::Reinstall;

// The server offers only these slots (and the update agent).
Overrides OnlyOffer(std::vector<std::pair<CatalogSlot, const char*>> kept) {
    Overrides offer;
    for (const SlotInfo& info : kSlots) {
        if (info.version != nullptr && info.slot != kSlotUpdateAgent) {
            offer.push_back({info.slot, nullptr});
        }
    }
    offer.insert(offer.end(), kept.begin(), kept.end());
    return offer;
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"EverythingCurrentOffersNothing", kUp, {}, {}, {}},
        {"EverythingCurrentReinstallEndsWithSetupStarter",
         kRe,
         {},
         {},
         {"secure.zip", "directx.zip", "mdac.zip", "wmf.zip", "common.zip", "melorra.zip",
          "nocddb.zip", "starter.exe"}},
        {"Mdac280CountsAsSameAs281", kUp, {{kSlotMdac, "2.80.1022.0"}}, {}, {}},
        {"Mdac280ReinstalledWithTheCommonLibrary",
         kRe,
         {{kSlotMdac, "2.80.1022.0"}},
         OnlyOffer({{kSlotMdac, "2.81.0.0"}, {kSlotMelorraCommonLibrary, "1.2.0.0"}}),
         {"mdac.zip", "common.zip", "starter.exe"}},
        {"Mdac271IsOlder",
         kUp,
         {{kSlotMdac, "2.71.9030.0"}},
         {},
         {"mdac.zip", "common.zip", "starter.exe"}},
        {"DirectX90cNeverOfferedWithoutReinstall", kUp, {}, {{kSlotDirectX, "4.9.0.1000"}}, {}},
        {"DirectX81NeverOfferedWithoutReinstall", kUp, {{kSlotDirectX, "4.8.1.881"}}, {}, {}},
        {"DirectX80IsOffered",
         kUp,
         {{kSlotDirectX, "4.8.0.400"}},
         {},
         {"directx.zip", "common.zip", "starter.exe"}},
        {"DirectXMissingIsOffered",
         kUp,
         {{kSlotDirectX, nullptr}},
         {},
         {"directx.zip", "common.zip", "starter.exe"}},
        {"DirectX81OlderThanTheServersIsReinstalled",
         kRe,
         {{kSlotDirectX, "4.8.1.881"}},
         OnlyOffer({{kSlotDirectX, "4.9.0.904"}}),
         {"directx.zip", "starter.exe"}},
        {"DirectXNewerThanTheServersIsNotReinstalled",
         kRe,
         {{kSlotDirectX, "4.9.0.1000"}},
         OnlyOffer({{kSlotDirectX, "4.9.0.904"}, {kSlotMelorraCommonLibrary, "1.2.0.0"}}),
         {"common.zip", "starter.exe"}},
        {"WindowsMediaFormatPullsTheCommonLibrary",
         kUp,
         {},
         {{kSlotWmfSdk, "10.0.0.1"}},
         {"wmf.zip", "common.zip", "starter.exe"}},
        {"CommonLibraryAloneWhenOlder",
         kUp,
         {{kSlotMelorraCommonLibrary, "1.1.9.9"}},
         {},
         {"common.zip", "starter.exe"}},
        {"SecureModuleWithAMissingHotFixIsOfferedAgain",
         kUp,
         {},
         {},
         {"secure.zip", "starter.exe"},
         64,
         0,
         0,
         0,
         true,
         {"3 2", "4 2"},
         {"3 2"}},
        {"SecureModuleWithAllHotFixesIsCurrent",
         kUp,
         {},
         {},
         {},
         64,
         0,
         0,
         0,
         true,
         {"3 2", "4 2"},
         {"3 2", "4 2"}},
        {"SecureModuleOlder",
         kUp,
         {{kSlotKeldraSecureModule, "1.0.0.4"}},
         {},
         {"secure.zip", "starter.exe"}},
        {"ConnectOnWindows2000PicksTessel",
         kUp,
         {},
         {{kSlotMelorraAddonCdBurn, "1.0.0.4"}, {kSlotMelorraAddonTesselCdBurn, "1.0.0.4"}},
         {"tessel.zip", "starter.exe"},
         32,
         1},
        {"ConnectOnWindowsXpPicksCdBurning",
         kUp,
         {},
         {{kSlotMelorraAddonCdBurn, "1.0.0.4"}, {kSlotMelorraAddonTesselCdBurn, "1.0.0.4"}},
         {"cdburn.zip", "starter.exe"},
         64,
         1},
        {"ConnectOnAnUnknownWindowsPicksTessel",
         kUp,
         {{kSlotMelorraAddonCdBurn, nullptr}},
         {},
         {"tessel.zip", "starter.exe"},
         -1,
         1},
        {"ConnectReinstallsTheInstalledCdBurning",
         kRe,
         {},
         OnlyOffer({{kSlotMelorraAddonCdBurn, "1.0.0.3"}}),
         {"cdburn.zip", "starter.exe"},
         64,
         1},
        {"FreeCddbForcesTheLookupExtension", kUp, {}, {}, {"cddb.zip", "starter.exe"}, 64, 0, 1},
        {"FreeCddbWithLookupEnabledIsNotForced", kUp, {}, {}, {}, 64, 0, 1, 1},
        {"FreeCddbForcesTheConnectExtensionToo",
         kUp,
         {},
         {},
         {"cdburn.zip", "starter.exe"},
         64,
         1,
         1},
        {"LookupEnabledComparesTheLookupExtension",
         kUp,
         {{kSlotMelorraAddonCddb, "1.0.0.0"}},
         {},
         {"cddb.zip", "starter.exe"},
         64,
         0,
         0,
         1},
        {"DiscWriterPresentChoosesTheLookupExtension",
         kUp,
         {{kSlotMelorraDiscWriter, "1.0.0.0"}},
         {{kSlotMelorraAddonCddb, "1.0.0.9"}},
         {"cddb.zip", "starter.exe"}},
        {"MainProductOlder",
         kUp,
         {{kSlotMelorra, "2.0.0.122"}},
         {},
         {"melorra.zip", "starter.exe"}},
        {"MainProductMissing", kUp, {{kSlotMelorra, nullptr}}, {}, {"melorra.zip", "starter.exe"}},
        {"MainProductNewerIsNeitherUpgradedNorReinstalled",
         kRe,
         {{kSlotMelorra, "3.0.0.0"}},
         OnlyOffer({{kSlotMelorra, "2.0.0.123"}}),
         {}},
        {"WriterPlayerAndAgentAreNeverListed",
         kUp,
         {{kSlotUpdateAgent, "1.0.0.0"}},
         {{kSlotMelorraDiscWriter, "9.0.0.0"},
          {kSlotKeldraPlayer, "9.0.0.0"},
          {kSlotUpdateAgent, "9.0.0.0"}},
         {}},
        {"WithoutALauncherNothingIsAppendedLast",
         kUp,
         {{kSlotMelorra, "1.0.0.0"}},
         {},
         {"melorra.zip"},
         64,
         0,
         0,
         0,
         false},
        {"EmptyServerSlotOffersNothing",
         kUp,
         {{kSlotMelorra, nullptr}},
         {{kSlotMelorra, nullptr}},
         {}},
    };
    return cases;
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class DownloadDecision : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(DownloadDecision, ListHoldsExactlyTheExpectedModulesInOrder) {
    const Case& c = GetParam();
    TestCatalog installed;
    TestCatalog server;
    Fill(installed, server, c.have, c.offer);
    ServerComponent* secure = static_cast<ServerComponent*>(server.KeldraSecureModule());
    for (const char* hotFix : c.requiredHotFixes) {
        secure->AddHotFix(hotFix);
    }
    ServerComponent launcher(kKindSetupStarter);
    launcher.SetRemotePath("http://updates.example/modules/starter.exe");

    DecisionContext context;
    context.osCode = c.osCode;
    context.connect = c.connect;
    context.freeCddb = c.freeCddb;
    context.enableCddb = c.enableCddb;
    context.launcher = c.launcher ? &launcher : nullptr;
    context.isHotFixInstalled = [&c](const std::string& hotFix) {
        return c.installedHotFixes.count(hotFix) != 0;
    };
    context.downloadFolder = kFolder;

    DownloadList list(2);  // left over from an earlier pass: cleared first
    BuildDownloadList(list, installed, server, context, c.mode);
    EXPECT_EQ(c.expected, test::FileNames(list));
    for (const DownloadEntry& entry : list) {
        EXPECT_EQ(kFolder + entry.FileName(), entry.LocalPath());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases,
                         DownloadDecision,
                         ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

TEST(DownloadDecisionEntry, FieldsComeFromTheServerRecord) {
    ServerComponent mdac(kKindMdac);
    mdac.ParseVersion("2.81.1117.0");
    mdac.SetRemotePath("http://updates.example/platform/Mdac_typ.zip");
    mdac.SetSizeText("7654321");
    mdac.SetMd5Text("00112233445566778899aabbccddeeff");
    DownloadEntry entry;
    ASSERT_TRUE(MakeDownloadEntry(entry, mdac, kFolder));
    EXPECT_EQ("http://updates.example/platform/Mdac_typ.zip", entry.Url());
    EXPECT_EQ("updates.example", entry.Server());
    EXPECT_EQ("Mdac_typ.zip", entry.FileName());
    EXPECT_EQ(std::string(kFolder) + "Mdac_typ.zip", entry.LocalPath());
    EXPECT_EQ(7654321, entry.Size());
    EXPECT_EQ("MDAC 2.81", entry.Name());
    EXPECT_EQ("00112233445566778899aabbccddeeff", entry.Md5());
    EXPECT_EQ(0, entry.AlreadyDownloaded());
}

TEST(DownloadDecisionEntry, SizeIsTheLeadingDecimalNumber) {
    const std::pair<const char*, int32_t> sizes[] = {
        {"1234abc", 1234},
        {"abc", 0},
        {"", 0},
        {"-5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"99999999999999999999", 0},
        {"007", 7},
    };
    for (const auto& [text, expected] : sizes) {
        ServerComponent record(kKindMelorra);
        record.SetRemotePath("http://updates.example/melorra.zip");
        record.SetSizeText(text);
        DownloadEntry entry;
        ASSERT_TRUE(MakeDownloadEntry(entry, record, kFolder)) << text;
        EXPECT_EQ(expected, entry.Size()) << text;
    }
}

TEST(DownloadDecisionEntry, UnusableServerPathsMakeNoEntry) {
    const std::string longest = "http://updates.example/" + std::string(254 - 27, 'a') + ".zip";
    ASSERT_EQ(254u, longest.size());
    const std::pair<std::string, bool> paths[] = {
        {longest, true},
        {"http://updates.example/" + std::string(255 - 27, 'a') + ".zip", false},
        {"", false},
        {"http://updates.example/modules/", false},
        {"http://updates.example/modules/..", false},
        {"http://updates.example/get?file=a.zip", false},
        {"melorra.zip", false},
        {"http://updates.example/modules/CON", false},
        {"http://updates.example/modules/com1.zip", false},
        {"http://updates.example/modules/Nul.ini", false},
        {"http://updates.example/modules/aux.tar.gz", false},
        {"http://updates.example/modules/LPT9", false},
        {"http://updates.example/modules/prn.", false},
        {"http://updates.example/modules/melorra.", false},
        {"http://updates.example/modules/melorra.zip.", false},
        // The canonical URL keeps no trailing blank, so the name made from it has none either.
        {"http://updates.example/modules/melorra.zip ", true},
        {"http://updates.example/modules/melorra.zip%20", true},
        {"http://updates.example/modules/console.zip", true},
        {"http://updates.example/modules/com10.zip", true},
        {"http://updates.example/con/melorra.zip", true},
    };
    for (const auto& [path, usable] : paths) {
        ServerComponent record(kKindMelorra);
        record.SetRemotePath(path.c_str());
        DownloadEntry entry;
        EXPECT_EQ(usable, MakeDownloadEntry(entry, record, kFolder)) << path;
        if (usable) {
            char last = entry.FileName().back();
            EXPECT_TRUE(last != ' ' && last != '.') << path << " -> " << entry.FileName();
        }
        DownloadList list;
        EXPECT_EQ(usable, AddIfNeeded(list, nullptr, &record, false, kFolder)) << path;
        EXPECT_EQ(usable ? 1u : 0u, list.size());
    }
}

// Mirrors pass to the entry in order; one that could not stand as the path refuses the module
// as a bad path does.
TEST(DownloadDecisionEntry, MirrorsAreHeldToThePathsLimits) {
    const std::string longest = "http://m.example/" + std::string(kMaxEntryUrlChars - 17, 'm');
    const struct {
        TextList mirrors;
        bool usable;
    } cases[] = {
        {{}, true},
        {{"http://b.example/m.zip", "https://c.example:8443/m.zip"}, true},
        {{longest}, true},
        {{longest + "m"}, false},
        {{"http://b.example/m.zip", "not a url"}, false},
    };
    for (const auto& c : cases) {
        ServerComponent record(kKindMelorra);
        record.SetRemotePath("http://updates.example/modules/melorra.zip");
        record.SetMirrors(c.mirrors);
        DownloadEntry entry;
        ASSERT_EQ(c.usable, MakeDownloadEntry(entry, record, kFolder)) << c.mirrors.size();
        if (c.usable) {
            EXPECT_EQ(c.mirrors, entry.Mirrors());
        }
    }
}

TEST(DownloadDecisionEntry, LocalPathMustFitAWindowsPath) {
    ServerComponent record(kKindMelorra);
    record.SetRemotePath("http://updates.example/melorra.zip");  // 11 characters of file name
    DownloadEntry entry;
    EXPECT_TRUE(MakeDownloadEntry(entry, record, "C:\\" + std::string(244, 'f') + "\\"));
    EXPECT_FALSE(MakeDownloadEntry(entry, record, "C:\\" + std::string(245, 'f') + "\\"));
}

TEST(DownloadDecisionAdd, RulesOfAddIfNeeded) {
    auto version = [](int32_t kind, const char* text) {
        ComponentVersion record(kind);
        record.ParseVersion(text);
        return record;
    };
    std::unique_ptr<ServerComponent> offer(Offer(kKindMelorra, "2.0.0.0", "melorra.zip"));
    ComponentVersion older = version(kKindMelorra, "1.9.0.0");
    ComponentVersion same = version(kKindMelorra, "2.0.0.0");
    ComponentVersion newer = version(kKindMelorra, "2.0.0.1");
    ComponentVersion otherKind = version(kKindMelorraPlus, "1.0.0.0");
    struct Row {
        const ComponentVersion* installed;
        const ServerComponent* server;
        bool reinstall;
        bool appended;
    } rows[] = {
        {&older, nullptr, false, false},         {nullptr, nullptr, true, false},
        {nullptr, offer.get(), false, true},     {nullptr, offer.get(), true, true},
        {&older, offer.get(), false, true},      {&older, offer.get(), true, false},
        {&same, offer.get(), false, false},      {&same, offer.get(), true, true},
        {&newer, offer.get(), false, false},     {&newer, offer.get(), true, false},
        {&otherKind, offer.get(), false, false}, {&otherKind, offer.get(), true, false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
        DownloadList list;
        EXPECT_EQ(rows[i].appended,
                  AddIfNeeded(list, rows[i].installed, rows[i].server, rows[i].reinstall, kFolder))
            << "row " << i;
        EXPECT_EQ(rows[i].appended ? 1u : 0u, list.size()) << "row " << i;
    }
}
