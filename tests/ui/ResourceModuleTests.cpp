// Texts by number from the current resource module, and their formatting.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "NetrefitVersion.h"
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

TEST(ResourceStrings, VersionResourceNamesTheProjectVersion) {
    // The text form pads the third part to two digits and the build to five: "1.1.00.03240".
    char expected[32];
    std::snprintf(expected, sizeof(expected), "%u.%u.%02u.%05u", NETREFIT_VERSION_MAJOR,
                  NETREFIT_VERSION_MINOR, NETREFIT_VERSION_PATCH, NETREFIT_VERSION_BUILD);
    EXPECT_STREQ(NETREFIT_VERSION_TEXT, expected);

    char path[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD handle = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path, &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    const DWORD high = MAKELONG(NETREFIT_VERSION_MINOR, NETREFIT_VERSION_MAJOR);
    const DWORD low = MAKELONG(NETREFIT_VERSION_BUILD, NETREFIT_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    for (const char* key : {"FileVersion", "ProductVersion"}) {
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + key;
        ASSERT_TRUE(
            ::VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &size))
            << key;
        EXPECT_STREQ(text, NETREFIT_VERSION_TEXT) << key;
    }
}

}  // namespace
}  // namespace netrefit
