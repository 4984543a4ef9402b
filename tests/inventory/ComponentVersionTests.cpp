#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "inventory/ComponentCatalog.h"
#include "inventory/ComponentVersion.h"

using namespace netrefit;

namespace {

ComponentVersion Make(int32_t kind, const char* version) {
    ComponentVersion record(kind);
    record.ParseVersion(version);
    return record;
}

std::string Formatted(const ComponentVersion& record) {
    char text[32] = "";
    record.FormatVersion(text, sizeof(text));
    return text;
}

std::string Shown(const ComponentVersion& record) {
    char text[64] = "";
    EXPECT_EQ(1, record.DisplayName(text, sizeof(text)));
    return text;
}

// Counts live records so that tests can see which ones a catalogue freed.
struct CountedRecord : ComponentVersion {
    explicit CountedRecord(int* live) : ComponentVersion(kKindMelorra), live_(live) { ++*live_; }
    ~CountedRecord() override { --*live_; }
    int* live_;
};

struct TestCatalog : ComponentCatalog {
    using ComponentCatalog::Store;
};

}  // namespace

TEST(ComponentVersion, ParseKeepsLow16BitsAndStopsAtTheFirstMismatch) {
    EXPECT_EQ("0.0.0.1", Formatted(Make(kKindMelorra, "65536.0.0.1")));
    EXPECT_EQ("1.2.0.0", Formatted(Make(kKindMelorra, "1.2")));
    EXPECT_EQ("0.0.0.0", Formatted(Make(kKindMelorra, "")));
    EXPECT_EQ("3.0.0.0", Formatted(Make(kKindMelorra, "3.x.7.7")));
    EXPECT_EQ("65535.1.2.3", Formatted(Make(kKindMelorra, "-1.1.2.3")));
    EXPECT_EQ("7.8.0.0", Formatted(Make(kKindMelorra, " 7.\t+8.")));
    // Beyond an int: wrapped in 32 bits, as the 23 characters the server file allows can say.
    EXPECT_EQ("1.0.0.1", Formatted(Make(kKindMelorra, "4294967297.0.0.1")));
    EXPECT_EQ("65535.0.0.0", Formatted(Make(kKindMelorra, "99999999999999999999999")));
    EXPECT_EQ("2.61440.0.0", Formatted(Make(kKindMelorra, "2.-1000000000000")));

    ComponentVersion untouched = Make(kKindMelorra, "4.5.6.7");
    untouched.ParseVersion(nullptr);
    EXPECT_EQ("4.5.6.7", Formatted(untouched));
}

TEST(ComponentVersion, ComparisonIsNumericPartByPart) {
    ComponentVersion newer = Make(kKindMelorra, "1.10.0.0");
    ComponentVersion older = Make(kKindMelorra, "1.9.0.0");
    EXPECT_EQ(1, newer.IsNewerThan(older));
    EXPECT_EQ(0, newer.IsOlderThan(older));
    EXPECT_EQ(1, older.IsOlderThan(newer));
    EXPECT_EQ(0, older.IsSameAs(newer));

    EXPECT_EQ(1, Make(kKindMelorra, "2.0.0.9").IsOlderThan(Make(kKindMelorra, "2.0.0.10")));
    EXPECT_EQ(1, Make(kKindMelorra, "2.0.1.0").IsNewerThan(Make(kKindMelorra, "2.0.0.65535")));
    EXPECT_EQ(1, Make(kKindMelorra, "40000.0.0.0").IsNewerThan(Make(kKindMelorra, "30000.0.0.0")));
    EXPECT_EQ(1, Make(kKindMelorra, "2.0.0.123").IsSameAs(Make(kKindMelorra, "2.0.0.123")));
}

TEST(ComponentVersion, MdacComparesMajorAndTensOfMinorOnly) {
    ComponentVersion v280 = Make(kKindMdac, "2.80.1022.0");
    ComponentVersion v281 = Make(kKindMdac, "2.81.1117.0");
    ComponentVersion v271 = Make(kKindMdac, "2.71.9030.0");
    EXPECT_EQ(1, v280.IsSameAs(v281));
    EXPECT_EQ(0, v280.IsOlderThan(v281));
    EXPECT_EQ(0, v281.IsNewerThan(v280));
    EXPECT_EQ(1, v271.IsOlderThan(v280));
    EXPECT_EQ(1, v280.IsNewerThan(v271));
    EXPECT_EQ(1, Make(kKindMdac, "3.0.0.0").IsNewerThan(Make(kKindMdac, "2.99.0.0")));
}

TEST(ComponentVersion, DifferentKindsNeverCompare) {
    ComponentVersion a = Make(kKindMelorra, "1.0.0.0");
    ComponentVersion b = Make(kKindKeldraPlayer, "2.0.0.0");
    ComponentVersion same = Make(kKindKeldraPlayer, "1.0.0.0");
    EXPECT_EQ(0, a.IsOlderThan(b));
    EXPECT_EQ(0, a.IsNewerThan(b));
    EXPECT_EQ(0, a.IsSameAs(same));
    // All extensions share one kind, so they do compare with each other.
    EXPECT_EQ(
        1,
        Make(kKindMelorraExtension, "1.0.0.0").IsOlderThan(Make(kKindMelorraExtension, "1.0.0.1")));
}

TEST(ComponentVersion, DisplayNames) {
    EXPECT_EQ("Melorra 2.0", Shown(Make(kKindMelorra, "2.0.0.123")));
    EXPECT_EQ("DirectX 9.0", Shown(Make(kKindDirectX, "4.9.0.904")));
    EXPECT_EQ("MDAC 2.80", Shown(Make(kKindMdac, "2.80.1022.0")));
    EXPECT_EQ("Melorra Extension ", Shown(Make(kKindMelorraExtension, "7.1.0.0")));
    EXPECT_EQ("Setup Starter ", Shown(Make(kKindSetupStarter, "3.2.1.0")));
    EXPECT_EQ("Windows Media Format 9.0", Shown(Make(kKindWindowsMediaFormat, "9.0.0.3250")));
    EXPECT_EQ(" ", Shown(ComponentVersion(15)));
    EXPECT_EQ(" ", Shown(ComponentVersion(0)));
}

TEST(ComponentVersion, DisplayNameThatDoesNotFitLeavesTheBufferUntouched) {
    ComponentVersion record = Make(kKindMelorra, "2.0.0.0");  // "Melorra 2.0": 11 + NUL
    char text[16];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(0, record.DisplayName(text, 11));
    for (char c : text) {
        ASSERT_EQ('#', c);
    }
    EXPECT_EQ(1, record.DisplayName(text, 12));
    EXPECT_STREQ("Melorra 2.0", text);
    EXPECT_EQ(0, record.DisplayName(nullptr, 64));
}

TEST(ComponentVersion, FormatVersionOnlyWhenItFits) {
    ComponentVersion record = Make(kKindMelorra, "12.34.56.78");  // 11 characters
    char text[16];
    std::memset(text, '#', sizeof(text));
    record.FormatVersion(text, 11);
    EXPECT_EQ('#', text[0]);
    record.FormatVersion(text, 12);
    EXPECT_STREQ("12.34.56.78", text);

    uint16_t parts[4] = {};
    record.GetVersion(&parts[0], &parts[1], &parts[2], nullptr);
    EXPECT_EQ(0, parts[0]);
    record.GetVersion(&parts[0], &parts[1], &parts[2], &parts[3]);
    EXPECT_EQ(12, parts[0]);
    EXPECT_EQ(78, parts[3]);
}

TEST(ComponentVersion, HotFixes) {
    ComponentVersion record(kKindKeldraSecureModule);
    record.AddHotFixes({"Q1 A", "", "Q3 C"});
    record.AddHotFix(nullptr);
    EXPECT_EQ(3u, record.HotFixCount());
    EXPECT_EQ("Q3 C", record.HotFix(2));
    EXPECT_EQ("", record.HotFix(5));
    EXPECT_EQ("", record.HotFix(3));

    TextList copied = {"kept"};
    record.CopyHotFixes(copied);
    EXPECT_EQ((TextList{"kept", "Q1 A", "Q3 C"}), copied);

    record.ClearHotFixes();
    EXPECT_EQ(0u, record.HotFixCount());
    EXPECT_EQ(1033, record.Language());
}

TEST(ServerComponent, GettersCopyOnlyWhenTheTextFits) {
    ServerComponent record(kKindKeldraPlayer);
    record.SetRemotePath("http://host/m.zip");
    record.SetSizeText("1234");
    record.SetMd5Text("0123456789abcdef0123456789abcdef");
    record.SetSizeText(nullptr);

    char text[64];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(0, record.GetSizeText(text, 4));
    EXPECT_EQ('#', text[0]);
    EXPECT_EQ(1, record.GetSizeText(text, 5));
    EXPECT_STREQ("1234", text);
    EXPECT_EQ(0, record.GetMd5Text(text, 0));
    EXPECT_EQ(0, record.GetMd5Text(nullptr, 64));
    EXPECT_EQ(1, record.GetMd5Text(text, 33));
    EXPECT_EQ(1, record.GetRemotePath(text, sizeof(text)));
    EXPECT_STREQ("http://host/m.zip", text);
}

TEST(ComponentCatalog, SlotsOwnTheirRecords) {
    int live = 0;
    {
        TestCatalog catalog;
        for (int slot = 0; slot < kSlotCount; ++slot) {
            EXPECT_EQ(nullptr, catalog.Get(static_cast<CatalogSlot>(slot), "C:\\"));
        }
        CountedRecord* first = new CountedRecord(&live);
        catalog.Store(kSlotKeldraPlayer, first);
        EXPECT_EQ(first, catalog.KeldraPlayer());

        catalog.Store(kSlotKeldraPlayer, nullptr);
        EXPECT_EQ(first, catalog.KeldraPlayer());
        EXPECT_EQ(1, live);

        CountedRecord* second = new CountedRecord(&live);
        catalog.Store(kSlotKeldraPlayer, second);
        EXPECT_EQ(1, live) << "the first record was not freed";
        EXPECT_EQ(second, catalog.Get(kSlotKeldraPlayer));

        catalog.Store(kSlotUpdateAgent, new CountedRecord(&live));
        EXPECT_NE(nullptr, catalog.UpdateAgent("ignored"));
        EXPECT_EQ(2, live);
    }
    EXPECT_EQ(0, live) << "the catalogue did not free its records";
}
