#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "inventory/SystemEnvironment.h"

using namespace netrefit;

namespace {

constexpr uint16_t GERMAN_AUSTRIA = 0x0C07;
constexpr uint16_t ENGLISH_UK = 0x0809;
constexpr uint16_t TRADITIONAL_CHINESE = 0x0404;
constexpr uint16_t CHINESE_HONG_KONG = 0x0C04;
constexpr uint16_t CHINESE_SINGAPORE = 0x1004;
constexpr uint16_t PORTUGUESE_BRAZIL = 0x0416;

SystemEnvironment Environment(int32_t osCode, uint16_t systemLanguage, int32_t isAdmin = 1) {
    EnvironmentFacts facts;
    facts.osCode = osCode;
    facts.language = NormaliseLanguage(systemLanguage);
    facts.isAdmin = isAdmin;
    return SystemEnvironment(facts);
}

struct VersionCase {
    const char* system;
    uint32_t platform, major, minor, build;
    const char* csd;
    int32_t expected;
};

}  // namespace

TEST(SystemEnvironmentOsCode, FromVersionFields) {
    const VersionCase cases[] = {
        {"Win32s", 0, 3, 10, 0, "", kOsWin32s},
        {"Windows 95", 1, 4, 0, 950, "", kOsWindows95},
        {"Windows 95 OSR2", 1, 4, 0, 1111, " B", kOsWindows95},
        {"Windows 98", 1, 4, 10, 1998, " ", kOsWindows98},
        {"Windows 98 without service text", 1, 4, 10, 1998, "", kOsWindows98},
        {"Windows 98 SE", 1, 4, 10, 2222, " A", kOsWindows98SE},
        {"Windows 98 SE with trailing blank", 1, 4, 10, 2222, " A ", kOsWindows98SE},
        {"Windows 98, letter A first", 1, 4, 10, 2222, "A", kOsWindows98},
        {"Windows Me", 1, 4, 90, 3000, " ", kOsWindowsMe},
        {"Windows Me, version in the high word", 1, 4, 90, 0x045A0BB8, " ", kOsWindowsMe},
        {"Windows 9x of another major", 1, 5, 0, 3000, "", kOsUnknown},
        {"NT 3.51", 2, 3, 51, 1057, "", kOsWindowsNt4},
        {"NT 4.0", 2, 4, 0, 1381, "Service Pack 6", kOsWindowsNt4},
        {"Windows 2000", 2, 5, 0, 2195, "Service Pack 4", kOsWindows2000},
        {"Windows XP", 2, 5, 1, 2600, "Service Pack 2", kOsWindowsXP},
        {"Windows Server 2003", 2, 5, 2, 3790, "", kOsWindowsXP},
        {"Windows 7", 2, 6, 1, 7601, "", kOsWindowsXP},
        {"Windows CE", 3, 4, 0, 0, "", kOsUnknown},
    };
    for (const VersionCase& c : cases) {
        EXPECT_EQ(c.expected, OsCodeFromVersion(c.platform, c.major, c.minor, c.build, c.csd))
            << c.system;
    }
    EXPECT_EQ(kOsWindows98, OsCodeFromVersion(1, 4, 10, 1998, nullptr));
}

TEST(SystemEnvironmentOsCode, RealCallMatchesVersionFields) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    const int32_t expected =
        OsCodeFromVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                          info.dwBuildNumber, info.szCSDVersion);
    EXPECT_EQ(expected, SystemEnvironment().OsCode());
    // The test prefix reports an NT version of 5.1 or later.
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_EQ(kOsWindowsXP, ProbeOsCode());
}

TEST(SystemEnvironmentLanguage, NormalisesVariantsOfNamedLanguages) {
    EXPECT_EQ(1031, NormaliseLanguage(GERMAN_AUSTRIA));
    EXPECT_EQ(1031, NormaliseLanguage(0x0807));  // German (Switzerland)
    EXPECT_EQ(1033, NormaliseLanguage(ENGLISH_UK));
    EXPECT_EQ(1034, NormaliseLanguage(0x0C0A));  // Spanish (modern sort)
    EXPECT_EQ(1036, NormaliseLanguage(0x0C0C));  // French (Canada)
    EXPECT_EQ(1040, NormaliseLanguage(0x0810));  // Italian (Switzerland)
    EXPECT_EQ(1041, NormaliseLanguage(0x0411));
    EXPECT_EQ(1042, NormaliseLanguage(0x0412));
    EXPECT_EQ(2052, NormaliseLanguage(0x0804));
    // Languages without a name of their own, other Chinese too, keep the system value.
    EXPECT_EQ(TRADITIONAL_CHINESE, NormaliseLanguage(TRADITIONAL_CHINESE));
    EXPECT_EQ(CHINESE_HONG_KONG, NormaliseLanguage(CHINESE_HONG_KONG));
    EXPECT_EQ(CHINESE_SINGAPORE, NormaliseLanguage(CHINESE_SINGAPORE));
    EXPECT_EQ(PORTUGUESE_BRAZIL, NormaliseLanguage(PORTUGUESE_BRAZIL));
}

TEST(SystemEnvironmentLanguage, GermanAustriaIsGerman) {
    SystemEnvironment environment = Environment(kOsWindowsXP, GERMAN_AUSTRIA);
    EXPECT_EQ(1031, environment.Language());
    std::string name;
    ASSERT_EQ(1, environment.ApplicationLanguage("English, German", name));
    EXPECT_EQ("German", name);
}

TEST(SystemEnvironmentLanguage, NamesAndIdsBothWays) {
    const struct {
        const char* name;
        uint16_t id;
    } names[] = {{"Japanese", 1041}, {"English", 1033}, {"French", 1036}, {"German", 1031},
                 {"Italian", 1040},  {"Spanish", 1034}, {"Korean", 1042}, {"SChinese", 2052}};
    for (const auto& n : names) {
        EXPECT_EQ(n.id, LanguageFromName(n.name)) << n.name;
        EXPECT_STREQ(n.name, LanguageName(n.id)) << n.id;
    }
    EXPECT_EQ(1031, LanguageFromName("gERMAN"));
    EXPECT_EQ(2052, LanguageFromName("schinese"));
    EXPECT_EQ(0, LanguageFromName("Germany"));
    EXPECT_EQ(0, LanguageFromName("Germa"));
    EXPECT_EQ(0, LanguageFromName(""));
    EXPECT_EQ(0, LanguageFromName(nullptr));
    EXPECT_EQ(0, LanguageFromName("TChinese"));
    EXPECT_STREQ("German", LanguageName(GERMAN_AUSTRIA));
    EXPECT_STREQ("English", LanguageName(PORTUGUESE_BRAZIL));
    EXPECT_STREQ("English", LanguageName(TRADITIONAL_CHINESE));
    EXPECT_STREQ("English", LanguageName(CHINESE_SINGAPORE));
}

TEST(SystemEnvironmentLanguage, ListsTrimSkipAndKeepDuplicates) {
    const LanguageList list = ParseLanguageList(" german ,JAPANESE,, Frensh ,\tEnglish,English,");
    EXPECT_EQ((LanguageList{1031, 1041, 1033, 1033}), list);
    EXPECT_TRUE(ParseLanguageList("").empty());
    EXPECT_TRUE(ParseLanguageList(nullptr).empty());
    EXPECT_TRUE(ParseLanguageList(" , ,").empty());
    EXPECT_EQ((LanguageList{1042}), ParseLanguageList("Korean"));
}

TEST(SystemEnvironmentLanguage, ApplicationLanguageChoices) {
    const struct {
        int32_t osCode;
        uint16_t system;
        const char* list;
        const char* expected;
    } cases[] = {
        {kOsWindowsXP, 0x040C, "English,Japanese", "English"},   // French: first listed
        {kOsWindowsXP, 0x0411, "English,Japanese", "Japanese"},  // listed: its own
        {kOsWindows98, 0x0804, "English", "English"},
        {kOsWindowsXP, 0x0804, "English", "English"},
        // The old systems take Simplified Chinese as English even where it is listed.
        {kOsWindows98, 0x0804, "Japanese,English,SChinese", "English"},
        {kOsWindowsMe, 0x0804, "SChinese,English", "English"},
        {kOsWindowsNt4, 0x0804, "SChinese,English", "English"},
        {kOsWindows95, 0x0804, "SChinese,English", "English"},
        {kOsWindows98SE, 0x0804, "SChinese,English", "English"},
        {kOsWindows2000, 0x0804, "English,SChinese", "SChinese"},
        {kOsWindowsXP, 0x0804, "English,SChinese", "SChinese"},
        // ...and on them an English system without English listed gets the first listed.
        {kOsWindows98, 0x0804, "Japanese,SChinese", "Japanese"},
        {kOsWindowsXP, TRADITIONAL_CHINESE, "SChinese,English", "SChinese"},
        {kOsWindowsXP, GERMAN_AUSTRIA, "Japanese, Germn, German", "German"},
    };
    for (const auto& c : cases) {
        std::string name = "untouched";
        EXPECT_EQ(1, Environment(c.osCode, c.system).ApplicationLanguage(c.list, name)) << c.list;
        EXPECT_EQ(c.expected, name) << c.list << " on " << c.osCode << "/" << c.system;
    }
}

TEST(SystemEnvironmentLanguage, ApplicationLanguageWithoutKnownNames) {
    SystemEnvironment environment = Environment(kOsWindowsXP, 0x0409);
    for (const char* list : {"Englsh", "Englsh, Japanse", "", " , ", "ERROR"}) {
        std::string name = "untouched";
        EXPECT_EQ(0, environment.ApplicationLanguage(list, name)) << list;
        EXPECT_EQ("untouched", name) << list;
    }
    std::string name = "untouched";
    EXPECT_EQ(0, environment.ApplicationLanguage(nullptr, name));
    EXPECT_EQ("untouched", name);
}

TEST(SystemEnvironmentLanguage, TraditionalChineseRefusedEvenWithoutSupportList) {
    for (uint16_t chinese : {TRADITIONAL_CHINESE, CHINESE_HONG_KONG, CHINESE_SINGAPORE}) {
        SystemEnvironment environment = Environment(kOsWindowsXP, chinese);
        environment.SetLanguageLists("", "");
        EXPECT_EQ(0, environment.IsOsLanguageSupported()) << chinese;
        environment.SetLanguageLists("SChinese,English", "");
        EXPECT_EQ(0, environment.IsOsLanguageSupported()) << chinese;
    }
    SystemEnvironment simplified = Environment(kOsWindowsXP, 0x0804);
    simplified.SetLanguageLists("", "");
    EXPECT_EQ(1, simplified.IsOsLanguageSupported());
}

TEST(SystemEnvironmentLanguage, NonSupportKoreanOnly) {
    const uint16_t systems[] = {0x0407, 0x0409, ENGLISH_UK,        0x040A, 0x040C, 0x0410,
                                0x0411, 0x0804, PORTUGUESE_BRAZIL, 0x0419};
    for (uint16_t system : systems) {
        SystemEnvironment environment = Environment(kOsWindowsXP, system);
        environment.SetLanguageLists("", "Korean");
        EXPECT_EQ(1, environment.IsOsLanguageSupported()) << system;
    }
    SystemEnvironment korean = Environment(kOsWindowsXP, 0x0412);
    korean.SetLanguageLists("", "Korean");
    EXPECT_EQ(0, korean.IsOsLanguageSupported());
    korean.SetLanguageLists("Korean,English", " korean ");
    EXPECT_EQ(0, korean.IsOsLanguageSupported());
    korean.SetLanguageLists("Korean", "");
    EXPECT_EQ(1, korean.IsOsLanguageSupported());
}

TEST(SystemEnvironmentLanguage, SupportListComparesPrimaryLanguagesOnly) {
    SystemEnvironment british = Environment(kOsWindowsXP, ENGLISH_UK);
    british.SetLanguageLists("English", "");
    EXPECT_EQ(1, british.IsOsLanguageSupported());
    SystemEnvironment french = Environment(kOsWindowsXP, 0x0C0C);
    french.SetLanguageLists("English, German", "");
    EXPECT_EQ(0, french.IsOsLanguageSupported());
    french.SetLanguageLists("Misspelt", "");  // names nothing: every language passes
    EXPECT_EQ(1, french.IsOsLanguageSupported());
    SystemEnvironment portuguese = Environment(kOsWindowsXP, PORTUGUESE_BRAZIL);
    portuguese.SetLanguageLists("English", "");
    EXPECT_EQ(0, portuguese.IsOsLanguageSupported());
}

TEST(SystemEnvironmentLanguage, ListsAreReplacedAndCopiedOut) {
    SystemEnvironment environment = Environment(kOsWindowsXP, 0x0409);
    environment.SetLanguageLists("German,English", "Korean");
    LanguageList support{99}, nonSupport{99};
    environment.GetLanguageLists(support, nonSupport);
    EXPECT_EQ((LanguageList{1031, 1033}), support);
    EXPECT_EQ((LanguageList{1042}), nonSupport);
    environment.SetLanguageLists("", "");
    environment.GetLanguageLists(support, nonSupport);
    EXPECT_TRUE(support.empty());
    EXPECT_TRUE(nonSupport.empty());
}

TEST(SystemEnvironmentChecks, OsMask) {
    const int32_t all[] = {kOsWin32s,      kOsWindows95,   kOsWindowsNt4,
                           kOsWindows98,   kOsWindows98SE, kOsWindowsMe,
                           kOsWindows2000, kOsWindowsXP,   kOsUnknown};
    for (int32_t code : all) {
        SystemEnvironment environment = Environment(code, 0x0409);
        EXPECT_EQ(0xFFFFFFFFu, environment.SupportedOsMask());
        EXPECT_EQ(code != kOsWin32s, environment.IsOsSupported() != 0) << code;
        environment.SetSupportedOsMask(126);
        EXPECT_EQ(code != kOsWin32s && code != kOsWindows95, environment.IsOsSupported() != 0)
            << code;
        environment.SetSupportedOsMask(kOsWindows2000 | kOsWindowsXP);
        EXPECT_EQ(code == kOsWindows2000 || code == kOsWindowsXP || code == kOsUnknown,
                  environment.IsOsSupported() != 0)
            << code;
        environment.SetSupportedOsMask(0);
        EXPECT_EQ(0, environment.IsOsSupported()) << code;
    }
}

TEST(SystemEnvironmentChecks, AdminNeededOnlyOn2000AndLater) {
    const int32_t all[] = {kOsWin32s,      kOsWindows95,   kOsWindowsNt4,
                           kOsWindows98,   kOsWindows98SE, kOsWindowsMe,
                           kOsWindows2000, kOsWindowsXP,   kOsUnknown};
    for (int32_t code : all) {
        const bool needsAdmin = code == kOsWindows2000 || code == kOsWindowsXP;
        EXPECT_EQ(1, Environment(code, 0x0409, 1).IsAdminSufficient()) << code;
        EXPECT_EQ(needsAdmin ? 0 : 1, Environment(code, 0x0409, 0).IsAdminSufficient()) << code;
    }
}

TEST(SystemEnvironmentChecks, FactsDefaultToWhatAFailingProbeLeaves) {
    SystemEnvironment environment{EnvironmentFacts()};
    EXPECT_EQ(kOsUnknown, environment.OsCode());
    EXPECT_EQ(1033, environment.Language());
    EXPECT_EQ(0, environment.IsAdmin());
    EXPECT_EQ(0, environment.HasDoubleByteUserName());
}
