// The probes that read the running computer, and the decisions they feed, with real tokens,
// SIDs, code pages and Windows versions (per-program versions of the Wine prefix).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "inventory/SystemEnvironment.h"
#include "support/TestFiles.h"
#include "tests/inventory/SysEnvHelperProcess.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

SidHandle BuiltinSid(DWORD alias) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    SidHandle sid;
    AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, alias, 0, 0, 0, 0, 0, 0,
                             sid.put());
    return sid;
}

// A token group list built from real SIDs.
class Groups {
  public:
    void Add(DWORD alias, DWORD attributes) {
        sids_.push_back(std::make_unique<SidHandle>(BuiltinSid(alias)));
        entries_.push_back({sids_.back()->get(), attributes});
    }
    void AddWorld(DWORD attributes) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        auto sid = std::make_unique<SidHandle>();
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sid->put());
        sids_.push_back(std::move(sid));
        entries_.push_back({sids_.back()->get(), attributes});
    }
    int Level() {
        std::vector<DWORD_PTR> buffer(
            (sizeof(TOKEN_GROUPS) + entries_.size() * sizeof(SID_AND_ATTRIBUTES)) /
                sizeof(DWORD_PTR) +
            1);
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
        groups->GroupCount = static_cast<DWORD>(entries_.size());
        for (size_t i = 0; i < entries_.size(); ++i) {
            groups->Groups[i] = entries_[i];
        }
        return RightsLevelFromGroups(*groups);
    }

  private:
    std::vector<std::unique_ptr<SidHandle>> sids_;
    std::vector<SID_AND_ATTRIBUTES> entries_;
};

constexpr DWORD ENABLED = SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_MANDATORY;

// Facts as another process sees them: "osCode language isAdmin doubleByte namespaces".
struct HelperFacts {
    int osCode = -99;
    unsigned language = 0;
    int isAdmin = -1;
    int doubleByte = -1;
    int namespaces = -1;
};

bool ReadHelperFacts(const std::string& program, const TempDir& dir, HelperFacts* facts) {
    const std::string out = dir.File("facts.txt");
    if (RunHelperToEnd(program, "facts \"" + out + "\"") != 0) {
        return false;
    }
    std::string text;
    return ReadFileBytes(out, &text) &&
           std::sscanf(text.c_str(), "%d %u %d %d %d", &facts->osCode, &facts->language,
                       &facts->isAdmin, &facts->doubleByte, &facts->namespaces) == 5;
}

// A copy of the helper under its own name, which the prefix runs as the given Windows version.
class HelperAsVersion {
  public:
    HelperAsVersion(const TempDir& dir, const std::string& version) {
        const std::string exe =
            "sysenv_" + version + "_" + std::to_string(GetCurrentProcessId()) + ".exe";
        program_ = dir.File(exe);
        copied_ = CopyFileA(HelperPath().c_str(), program_.c_str(), FALSE) != 0;
        key_ = "Software\\Wine\\AppDefaults\\" + exe;
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegKey owner(key);
            versionSet_ = RegSetValueExA(key, "Version", 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(version.c_str()),
                                         static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
        }
    }
    ~HelperAsVersion() {
        RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
        DeleteFileA(program_.c_str());
    }
    bool Ready() const { return copied_ && versionSet_; }
    const std::string& Program() const { return program_; }

  private:
    std::string program_;
    std::string key_;
    bool copied_ = false;
    bool versionSet_ = false;
};

}  // namespace

TEST(SystemEnvironmentRights, LevelFromTokenGroups) {
    {
        Groups groups;
        groups.AddWorld(ENABLED);
        groups.Add(DOMAIN_ALIAS_RID_USERS, ENABLED);
        groups.Add(DOMAIN_ALIAS_RID_ADMINS, ENABLED);
        EXPECT_EQ(kRightsAdministrator, groups.Level());
    }
    {
        Groups groups;
        groups.Add(DOMAIN_ALIAS_RID_POWER_USERS, ENABLED);
        groups.Add(DOMAIN_ALIAS_RID_USERS, ENABLED);
        EXPECT_EQ(kRightsPowerUser, groups.Level());
    }
    {
        // Administrators for deny only (a filtered token) does not make an administrator.
        Groups groups;
        groups.Add(DOMAIN_ALIAS_RID_ADMINS, SE_GROUP_USE_FOR_DENY_ONLY);
        groups.Add(DOMAIN_ALIAS_RID_USERS, ENABLED);
        EXPECT_EQ(kRightsUser, groups.Level());
    }
    {
        Groups groups;
        groups.AddWorld(ENABLED);
        groups.Add(DOMAIN_ALIAS_RID_GUESTS, ENABLED);
        EXPECT_EQ(kRightsGuest, groups.Level());
    }
    {
        Groups groups;
        EXPECT_EQ(kRightsGuest, groups.Level());
    }
}

TEST(SystemEnvironmentRights, AdministratorProbeUnderWine) {
    // The prefix runs programs as members of the Administrators group.
    SidHandle admins = BuiltinSid(DOMAIN_ALIAS_RID_ADMINS);
    ASSERT_TRUE(admins.valid());
    BOOL member = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, admins.get(), &member));
    ASSERT_TRUE(member);
    EXPECT_EQ(kRightsAdministrator, ProbeRightsLevel());
    SystemEnvironment environment;
    EXPECT_EQ(1, environment.IsAdmin());
    EXPECT_EQ(1, environment.IsAdminSufficient());
}

TEST(SystemEnvironmentUserName, DoubleByteScan) {
    const char* yamada = "\x8E\x52\x93\x63";  // two kanji in code page 932
    EXPECT_TRUE(HasDoubleByteCharacter(yamada, 932));
    EXPECT_TRUE(HasDoubleByteCharacter("taro\x82\xA0", 932));   // hiragana at the end
    EXPECT_TRUE(HasDoubleByteCharacter("abc\x82", 932));        // lone lead byte at the end
    EXPECT_FALSE(HasDoubleByteCharacter("\xB1\xB2\xB3", 932));  // half-width katakana
    EXPECT_TRUE(HasDoubleByteCharacter("taro\xFD", 932));       // no character of code page 932
    EXPECT_TRUE(HasDoubleByteCharacter("\xA0taro", 932));
    EXPECT_FALSE(HasDoubleByteCharacter("Administrator", 932));
    EXPECT_FALSE(HasDoubleByteCharacter("", 932));
    EXPECT_FALSE(HasDoubleByteCharacter(nullptr, 932));
    EXPECT_TRUE(HasDoubleByteCharacter("\xD5\xC5", 936));   // a hanzi in code page 936
    EXPECT_FALSE(HasDoubleByteCharacter("Jos\xE9", 1252));  // accents are single bytes
    EXPECT_FALSE(HasDoubleByteCharacter("\x8E\x52\x93\x63", 1252));
}

TEST(SystemEnvironmentUserName, ProbeOfThisUser) {
    char name[256] = {};
    DWORD size = sizeof(name);
    ASSERT_TRUE(GetUserNameA(name, &size));
    bool ascii = true;
    for (const char* p = name; *p != '\0'; ++p) {
        ascii = ascii && static_cast<unsigned char>(*p) < 0x80;
    }
    ASSERT_TRUE(ascii) << "the test account is expected to have a plain name";
    EXPECT_EQ(0, ProbeDoubleByteUserName());
    EXPECT_EQ(0, SystemEnvironment().HasDoubleByteUserName());
}

TEST(SystemEnvironmentProbe, LanguageIsNormalised) {
    const uint16_t language = SystemEnvironment().Language();
    EXPECT_EQ(NormaliseLanguage(GetSystemDefaultLangID()), language);
    EXPECT_EQ(language, NormaliseLanguage(language));
}

TEST(SystemEnvironmentProbe, RealVersionCallPerWindowsVersion) {
    TempDir dir;
    const struct {
        const char* version;
        int osCode;
        int namespaces;
    } cases[] = {
        {"win95", kOsWindows95, 0},   {"win98", kOsWindows98SE, 0}, {"winme", kOsWindowsMe, 0},
        {"nt40", kOsWindowsNt4, 0},   {"win2k", kOsWindows2000, 1}, {"winxp64", kOsWindowsXP, 1},
        {"win2003", kOsWindowsXP, 1}, {"win7", kOsWindowsXP, 1},
    };
    for (const auto& c : cases) {
        HelperAsVersion helper(dir, c.version);
        ASSERT_TRUE(helper.Ready()) << c.version;
        HelperFacts facts;
        ASSERT_TRUE(ReadHelperFacts(helper.Program(), dir, &facts)) << c.version;
        EXPECT_EQ(c.osCode, facts.osCode) << c.version;
        EXPECT_EQ(c.namespaces, facts.namespaces) << c.version;
        EXPECT_EQ(1, facts.isAdmin) << c.version;
        EXPECT_EQ(0, facts.doubleByte) << c.version;
    }
}
