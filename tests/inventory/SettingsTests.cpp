#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "inventory/SetupInfo.h"
#include "support/TestFiles.h"

using namespace netrefit;
using netrefit::test::TempDir;
using netrefit::test::WriteFileBytes;

namespace {

struct Line {
    std::string key;
    std::string value;
};

// A [Setup] section with every key present and valid, in file order.
std::vector<Line> CompleteSetup() {
    return {{"Server", "http://updates.example.invalid/melorra"},
            {"Version", "1.0"},
            {"SupportOS", "126"},
            {"SupportApplicationLang", "English,Japanese"},
            {"SupportOSLang", "English, German"},
            {"NonSupportOSLang", "Korean"}};
}

std::string Section(const std::string& name, const std::vector<Line>& lines) {
    std::string text = "[" + name + "]\r\n";
    for (const Line& line : lines) {
        text += line.key + "=" + line.value + "\r\n";
    }
    return text;
}

std::vector<Line> Without(std::vector<Line> lines, const std::string& key) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].key == key) {
            lines.erase(lines.begin() + i);
            break;
        }
    }
    return lines;
}

std::vector<Line> With(std::vector<Line> lines, const std::string& key, const std::string& value) {
    for (Line& line : lines) {
        if (line.key == key) {
            line.value = value;
        }
    }
    return lines;
}

class SetupInfoFile : public ::testing::Test {
  protected:
    // Writes a new settings file (a new name each time, so no cached copy is read) and
    // points info_ at it.
    void Write(const std::string& text) {
        std::string path = dir_.File("Netrefit" + std::to_string(++files_) + ".ini");
        ASSERT_TRUE(WriteFileBytes(path, text));
        info_.SetPath(path);
    }

    TempDir dir_;
    int files_ = 0;
    SetupInfo info_;
};

}  // namespace

TEST_F(SetupInfoFile, ReadsEveryKeyOfACompleteFile) {
    Write(Section("Setup", CompleteSetup()) + Section("Resource", {{"Japanese", "LangJpn.dll"}}));
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ("http://updates.example.invalid/melorra", info_.Server());
    EXPECT_EQ("1.0", info_.Version());
    EXPECT_EQ(126u, info_.SupportOS());
    EXPECT_EQ("English,Japanese", info_.SupportApplicationLang());
    EXPECT_EQ("English, German", info_.SupportOSLang());
    EXPECT_EQ("Korean", info_.NonSupportOSLang());
    EXPECT_EQ("LangJpn.dll", info_.ReadResource("Japanese"));
}

TEST_F(SetupInfoFile, SectionAndKeyNamesMatchWithoutRegardToCase) {
    Write(
        "[SETUP]\r\nserver=http://a.invalid\r\nVERSION=2\r\nsupportos=1\r\n"
        "supportapplicationlang=English\r\nSupportOsLang=\r\nnonsupportoslang=\r\n"
        "[resource]\r\nenglish=LangEng.dll\r\n");
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ("http://a.invalid", info_.Server());
    EXPECT_EQ(1u, info_.SupportOS());
    EXPECT_EQ("LangEng.dll", info_.ReadResource("ENGLISH"));
}

TEST_F(SetupInfoFile, EachMissingKeyFailsTheReading) {
    for (const Line& line : CompleteSetup()) {
        SCOPED_TRACE(line.key);
        Write(Section("Setup", Without(CompleteSetup(), line.key)));
        EXPECT_FALSE(info_.ReadSetup());
    }
}

TEST_F(SetupInfoFile, ErrorInAnyCaseCountsAsMissing) {
    const char* const texts[] = {"Server", "Version", "SupportApplicationLang", "SupportOSLang",
                                 "NonSupportOSLang"};
    const char* const spellings[] = {"ERROR", "error", "Error", "eRRoR"};
    for (const char* key : texts) {
        for (const char* spelling : spellings) {
            SCOPED_TRACE(std::string(key) + "=" + spelling);
            Write(Section("Setup", With(CompleteSetup(), key, spelling)));
            EXPECT_FALSE(info_.ReadSetup());
        }
    }
    // Only the whole word marks a key as missing.
    Write(Section("Setup", With(CompleteSetup(), "Version", "ERRORS")));
    EXPECT_TRUE(info_.ReadSetup());
    EXPECT_EQ("ERRORS", info_.Version());
}

TEST_F(SetupInfoFile, SupportOsOfZeroOrNoNumberCountsAsMissing) {
    const char* const values[] = {"0", "", "none", "00"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        Write(Section("Setup", With(CompleteSetup(), "SupportOS", value)));
        EXPECT_FALSE(info_.ReadSetup());
    }
    Write(Section("Setup", With(CompleteSetup(), "SupportOS", "64")));
    EXPECT_TRUE(info_.ReadSetup());
    EXPECT_EQ(64u, info_.SupportOS());
}

TEST_F(SetupInfoFile, EmptyLanguageListsAreAccepted) {
    Write(
        Section("Setup", With(With(CompleteSetup(), "SupportOSLang", ""), "NonSupportOSLang", "")));
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ("", info_.SupportOSLang());
    EXPECT_EQ("", info_.NonSupportOSLang());
}

TEST_F(SetupInfoFile, ReadingStopsAtTheFirstMissingKey) {
    Write(Section("Setup", With(CompleteSetup(), "SupportOS", "0")));
    EXPECT_FALSE(info_.ReadSetup());
    EXPECT_EQ("http://updates.example.invalid/melorra", info_.Server());
    EXPECT_EQ("1.0", info_.Version());
    // The keys after SupportOS were not read.
    EXPECT_EQ("", info_.SupportApplicationLang());
    EXPECT_EQ("", info_.SupportOSLang());
    EXPECT_EQ("", info_.NonSupportOSLang());
}

TEST_F(SetupInfoFile, MissingFileOrPathFails) {
    SetupInfo unset;
    EXPECT_FALSE(unset.ReadSetup());
    info_.SetPath(dir_.File("Absent.ini"));
    EXPECT_FALSE(info_.ReadSetup());
    EXPECT_EQ("", info_.ReadResource("English"));
}

TEST_F(SetupInfoFile, OverlongPathIsRefusedEvenWhenItNamesARealFile) {
    Write(Section("Setup", CompleteSetup()));
    // Padding with ".\" keeps the same file but makes the text longer than any path buffer.
    std::string padded = dir_.Path();
    while (padded.size() + std::string("Netrefit1.ini").size() <= SetupInfo::kMaxPathChars) {
        padded += ".\\";
    }
    padded += "Netrefit1.ini";
    ASSERT_GT(padded.size(), SetupInfo::kMaxPathChars);
    info_.SetPath(padded);
    EXPECT_FALSE(info_.ReadSetup());
    EXPECT_EQ("", info_.Server());
}

TEST_F(SetupInfoFile, ServerLongerThanItsLimitIsRefusedNotCut) {
    std::string base = "http://updates.example.invalid/";
    std::string exact = base + std::string(SetupInfo::kMaxValueChars - base.size(), 'a');
    Write(Section("Setup", With(CompleteSetup(), "Server", exact)));
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ(exact, info_.Server());

    Write(Section("Setup", With(CompleteSetup(), "Server", exact + "b")));
    EXPECT_FALSE(info_.ReadSetup());
    EXPECT_EQ("", info_.Server());
}

TEST_F(SetupInfoFile, OtherLongValuesAreCutToTheirLimit) {
    std::string langs(400, 'x');
    Write(Section("Setup", With(With(CompleteSetup(), "SupportApplicationLang", langs), "Version",
                                std::string(300, '7'))));
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ(std::string(SetupInfo::kMaxValueChars, 'x'), info_.SupportApplicationLang());
    EXPECT_EQ(std::string(SetupInfo::kMaxValueChars, '7'), info_.Version());
}

// Only the reading of the key is checked here; what makes a key list is checked with its parser.
TEST_F(SetupInfoFile, PublicKeyIsOptionalButMustBeAKeyListWhereTheClientReadsIt) {
    const std::string key1 = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
    const std::string key2 = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
    struct {
        const char* name;
        bool present;
        std::string value;
        int keys;           // -1: the reading fails
        std::string after;  // the rest of the file, after the [Setup] section
    } cases[] = {
        {"Absent", false, "", 0, ""},
        {"Empty", true, "", 0, ""},
        {"One", true, key1, 1, ""},
        {"Rotation", true, key1 + ", " + key2, 2, ""},
        {"Malformed", true, key1.substr(2), -1, ""},
        {"MissingKeyAsError", true, "ERROR", -1, ""},
        // Cut to its limit, the text would be one good key.
        {"LongerThanItsLimit", true,
         key1 + std::string(SetupInfo::kMaxPublicKeyChars, ' ') + "," + key2, -1, ""},
        // A key the profile functions would not read is refused, not passed over.
        {"PastedBelowAnEmptyOne", true, "", -1, "PublicKey=" + key1 + "\r\n"},
        {"AppendedIntoResource", false, "", -1,
         "[Resource]\r\nGerman=NetrefitGerman.dll\r\n  publickey = " + key1 + "\r\n"},
        {"SecondSetupWithTheKey", true, "", -1, "[setup]\r\nPublicKey=" + key1 + "\r\n"},
        {"SecondSetupWithoutAKey", true, key1, -1, "[ Setup ]\r\nVersion=2\r\n"},
        {"CommentedLineBeside", true, key1, 1, ";PublicKey=\r\n[Resource]\r\n;PublicKey=x\r\n"},
        {"OtherNameInAnotherSection", false, "", 0, "[Resource]\r\nPublicKeys=x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Line> lines = CompleteSetup();
        if (c.present) {
            lines.push_back({"PublicKey", c.value});
        }
        Write(Section("Setup", lines) + c.after);
        EXPECT_EQ(c.keys >= 0, info_.ReadSetup());
        EXPECT_EQ(static_cast<size_t>(c.keys >= 0 ? c.keys : 0), info_.PublicKeys().size());
    }
}

TEST_F(SetupInfoFile, MirrorsAreOptionalUpToFourWholeUrls) {
    const std::string base = "http://m.invalid/";
    const std::string longest = base + std::string(SetupInfo::kMaxValueChars - base.size(), 'a');
    struct {
        const char* name;
        std::string value;  // "ERROR" stands for no Mirrors line
        std::vector<std::string> urls;
        bool read;
    } cases[] = {
        {"Absent", "ERROR", {}, true},
        {"Empty", "", {}, true},
        {"FourWithBlanksAndAComma",
         " http://a.invalid/x%2Cy/ ,,https://b.invalid:8443,c,d",
         {"http://a.invalid/x,y/", "https://b.invalid:8443", "c", "d"},
         true},
        {"Five", "a,b,c,d,e", {}, false},
        {"UrlAtItsLimit", longest, {longest}, true},
        {"UrlPastItsLimit", longest + "b", {}, false},
        {"TextPastItsLimit",
         "a," + std::string(SetupInfo::kMaxMirrorsChars, ' ') + ",b",
         {},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Line> lines = CompleteSetup();
        if (c.value != "ERROR") {
            lines.push_back({"Mirrors", c.value});
        }
        Write(Section("Setup", lines));
        EXPECT_EQ(c.read, info_.ReadSetup());
        EXPECT_EQ(c.urls, info_.Mirrors());
    }
    Write(Section("Setup", With(CompleteSetup(), "Server", "http://s.invalid")) +
          "Mirrors=http://a.invalid/, http://b.invalid/m\r\n");
    ASSERT_TRUE(info_.ReadSetup());
    EXPECT_EQ((std::vector<std::string>{"http://s.invalid/Version_German.ini",
                                        "http://a.invalid/Version_German.ini",
                                        "http://b.invalid/m/Version_German.ini"}),
              info_.ServerFileUrls("German"));
}

TEST_F(SetupInfoFile, ResourceLookUp) {
    Write(Section("Setup", CompleteSetup()) +
          Section("Resource",
                  {{"English", "LangEng.dll"}, {"German", ""}, {"French", std::string(300, 'f')}}));
    EXPECT_EQ("LangEng.dll", info_.ReadResource("English"));
    EXPECT_EQ("", info_.ReadResource("German"));
    EXPECT_EQ("", info_.ReadResource("Korean"));
    EXPECT_EQ(std::string(SetupInfo::kMaxValueChars, 'f'), info_.ReadResource("French"));
    // No name must not turn into a listing of every key of the section.
    EXPECT_EQ("", info_.ReadResource(""));
    EXPECT_EQ("", info_.ReadResource(std::string("English\0x", 9)));
}

TEST(SetupInfo, ServerFileUrlWithAndWithoutTrailingSlash) {
    TempDir dir;
    const char* const servers[] = {"http://updates.example.invalid/melorra",
                                   "http://updates.example.invalid/melorra/"};
    int n = 0;
    for (const char* server : servers) {
        std::string path = dir.File("Netrefit" + std::to_string(++n) + ".ini");
        ASSERT_TRUE(
            WriteFileBytes(path, Section("Setup", With(CompleteSetup(), "Server", server))));
        SetupInfo info;
        info.SetPath(path);
        ASSERT_TRUE(info.ReadSetup());
        EXPECT_EQ("http://updates.example.invalid/melorra/Version_English.ini",
                  info.ServerFileUrl("English"));
    }
    EXPECT_EQ("Version_SChinese.ini", SetupInfo::ServerFileName("SChinese"));
}
