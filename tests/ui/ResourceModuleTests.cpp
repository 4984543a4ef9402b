// Texts by number from the current resource module, and their formatting.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

TEST(FormatText, PutsArgumentsInPlaceOfEachPercentS) {
    EXPECT_EQ(FormatText("Download failed. [%s]\nRetry.", {"Melorra"}),
              "Download failed. [Melorra]\nRetry.");
    EXPECT_EQ(FormatText("%s and %s and %s", {"a", "b", "c"}), "a and b and c");
}

TEST(FormatText, TranslatedTextCannotReachForMissingArguments) {
    // A language library is outside our control: a %s too many stays empty, and other
    // conversions are shown as written instead of reading arguments that do not exist.
    EXPECT_EQ(FormatText("%s / %s", {"one"}), "one / ");
    EXPECT_EQ(FormatText("%d%% %n %x %s", {"ok"}), "%d% %n %x ok");
    EXPECT_EQ(FormatText("ends with %", {}), "ends with %");
    EXPECT_EQ(FormatText("no place", {"unused"}), "no place");
}

TEST(FormatText, ArgumentsAreNotFormatsThemselves) {
    EXPECT_EQ(FormatText("[%s]", {"100%s%d"}), "[100%s%d]");
}

TEST(ResourceStrings, BuiltInTextsKeepTheirExactSpacing) {
    EXPECT_EQ(LoadResString(IDS_NOTHING_TO_UPGRADE),
              "It is not necessary to upgrade.  \nThe latest version of Melorra is already "
              "installed. ");
    EXPECT_EQ(LoadResString(IDS_DISK_SPACE),
              "Cannot complete upgrade installation due to insufficient hard disk drive space. "
              "\nYou must have 400MB of free space available.   Drive : %s");
    EXPECT_EQ(FormatResString(IDS_APPLICATION_RUNNING, {"Keldra", "Keldra", "Keldra"}),
              "Keldra is currently running. \nCannot upgrade Melorra2.0 while Keldra is running. "
              "\nClose Keldra and try again.");
    std::string player = LoadResString(IDS_OLD_PLAYER);
    EXPECT_EQ(player.size(), 347u);
    EXPECT_NE(player.find("Tavrin products, \nwill be uninstalled"), std::string::npos);
    EXPECT_EQ(player.substr(player.size() - 66),
              ".\n\nPlease click OK to uninstall Keldra Player and install Melorra.");
}

TEST(ResourceStrings, NumbersWithoutATextGiveAnEmptyText) {
    EXPECT_EQ(LoadResString(106), "");
    EXPECT_EQ(LoadResString(152), "");
}

TEST(ResourceStrings, EveryTextOfTheTableIsPresent) {
    const UINT ids[] = {101, 102, 103, 104, 105, 107, 108, 109, 110, 112, 113, 114, 116, 117,
                        119, 120, 121, 123, 124, 125, 127, 130, 131, 132, 134, 135, 136, 137,
                        138, 139, 140, 142, 144, 145, 146, 147, 148, 149, 150, 151};
    for (UINT id : ids) {
        EXPECT_FALSE(LoadResString(id).empty()) << id;
    }
}

TEST(ResourceStrings, VersionResourceNamesTheReleasedVersion) {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
    DWORD size = ::SizeofResource(nullptr, found);
    // The fixed part holds 1.1.0.3240; the text version is stored as UTF-16.
    std::wstring text(reinterpret_cast<const wchar_t*>(data), size / 2);
    EXPECT_NE(text.find(L"1.1.00.03240"), std::wstring::npos);
}

}  // namespace
}  // namespace netrefit
