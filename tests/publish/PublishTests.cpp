// The publisher's tool against real sites: nginx on 127.0.0.7 serving what "make" wrote, the
// real client upgrading from it, sites broken on purpose, and dry runs held against the module
// list the client shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/EndToEnd.h"
#include "download/SigningRecord.h"
#include "hashgate/Md5.h"
#include "signature/SignatureText.h"
#include "signature/UpdateSignature.h"
#include "support/MachineRegistry.h"
#include "support/TestFiles.h"
#include "support/WindowDriver.h"
#include "unzip/ZipTestWriter.h"

using namespace netrefit::test;

namespace {

const int kModuleList = 1006;
const int kUpToDateText = 1023;
const char kArchives[][20] = {"Melorra.zip",      "CommonLib.zip",    "Extension.zip",
                              "SecureModule.zip", "SetupStarter.zip", "NoSetup.zip"};

const char kDescription[] =
    "[Languages]\r\nNames=English, German\r\n\r\n"
    "[Settings]\r\nFreeCDDB=0\r\nML=2.0.0.0\r\nMLDW=\r\nMLP=\r\nKDPL=\r\nConnect=0\r\n\r\n"
    "[UpdateAgent]\r\nVersion=1.1.0.3240\r\n\r\n"
    "[KeldraSecureModule]\r\nVersion=3.1.0.0\r\nFile=SecureModule.zip\r\n\r\n"
    "[MelorraCommonLibrary]\r\nVersion=1.5.0.0\r\nFile=CommonLib.zip\r\n\r\n"
    "[Melorra]\r\nVersion=2.1.0.0\r\nFile=Melorra.zip\r\n\r\n"
    "[MelorraAddonNocddb]\r\nVersion=1.1.0.0\r\nFile=Extension.zip\r\n\r\n"
    "[LauncherMl]\r\nVersion=2.1.0.0\r\nFile=SetupStarter.zip\r\n";

// The deployer's keys of the tests: fixed seeds, so that failures can be reproduced.
const std::string kSeed = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
const std::string kOtherSeed = "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb";

const char kUnverifiedText[] =
    "The update information from the server could not be verified. \nPlease contact the "
    "software vendor.";

std::vector<uint8_t> SeedBytes(const std::string& seedHex) {
    std::vector<uint8_t> seed(netrefit::kEd25519SeedSize);
    EXPECT_TRUE(netrefit::ParseHexBytes(seedHex.data(), seedHex.size(), seed.data(), seed.size()));
    return seed;
}

std::string PublicKeyOf(const std::string& seedHex) {
    uint8_t key[netrefit::kEd25519PublicKeySize];
    netrefit::Ed25519PublicKey(key, SeedBytes(seedHex).data());
    char text[2 * sizeof(key) + 1];
    netrefit::FormatHexBytes(key, sizeof(key), text);
    return text;
}

// A signature file of bytes as the deployer's tool writes one: one line, CR LF.
std::string SignatureFileOf(const std::string& seedHex, const std::string& bytes) {
    return netrefit::SignatureLine(SeedBytes(seedHex).data(),
                                   reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) +
           "\r\n";
}

netrefit::CalendarDate TodayUtc() {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    netrefit::CalendarDate today;
    today.year = now.wYear;
    today.month = now.wMonth;
    today.day = now.wDay;
    return today;
}

std::string LastLine(const std::string& text) {
    std::vector<std::string> lines = TextLines(text);
    return lines.empty() ? std::string() : lines.back();
}

std::string Digest(const std::string& bytes) {
    char text[33];
    netrefit::Md5OfBuffer(bytes.data(), bytes.size(), text);
    return text;
}

// One member of a hostile archive, built byte by byte.
std::string Archive(const TestMember& member) {
    return Entry(member);
}

// Members listed in a central directory too, as tools write them.
std::string Listed(const std::vector<TestMember>& members, bool zip64 = false) {
    ZipBuilder zip(zip64);
    for (const TestMember& member : members) {
        zip.Add(member);
    }
    return zip.Bytes();
}

// Members only the client's scan of local headers finds: the directory lists none of them.
std::string Unlisted(int count) {
    ZipBuilder zip;
    for (int i = 0; i < count; ++i) {
        zip.AddRaw(Entry(Stored("extra" + std::to_string(i) + ".txt", "x")));
    }
    return zip.Bytes();
}

// The module Python wrote so, made by the site fixture.
std::string StoredWithDescriptors(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes));
    // The case means nothing unless the first member is stored with a descriptor.
    EXPECT_TRUE(bytes.size() > 30 && (bytes[6] & 8) != 0 && bytes[8] == 0 && bytes[9] == 0);
    return bytes;
}

}  // namespace

class Publish : public EndToEnd {
  protected:
    void SetUp() override {
        folder_ = ModuleFolder() + "..\\publish-site\\";
        site_ = folder_ + "source\\";  // the archives, and the files they unpack
        ASSERT_TRUE(FileExists(site_ + "modules\\SetupStarter.zip"))
            << "the publish site fixture did not run";
        RemoveTree(WorkFolder());
        ::DeleteFileA(StandinLog().c_str());
        ClearSuiteRegistry();
        for (const char* name : {"Netrefit.exe", "Hashgate.dll"}) {
            ASSERT_TRUE(
                ::CopyFileA((ModuleFolder() + name).c_str(), program_.File(name).c_str(), FALSE));
        }
    }

    std::string SourceModules() const { return site_ + "modules\\"; }
    std::string SiteFolder(const std::string& name) const {
        return folder_ + "site\\" + name + "\\";
    }
    static std::string SiteUrl(const std::string& name) { return "http://127.0.0.7/" + name + "/"; }
    std::string ServerFile(const std::string& name) const {
        return SiteFolder(name) + "Version_English.ini";
    }

    // Runs the tool with its output in files; its exit code, or STILL_ACTIVE.
    DWORD Tool(const std::string& arguments, std::string* out, std::string* err = nullptr) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        std::string outPath = scratch_.File("out.txt"), errPath = scratch_.File("err.txt");
        HANDLE outFile = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                       CREATE_ALWAYS, 0, nullptr);
        HANDLE errFile = ::CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                       CREATE_ALWAYS, 0, nullptr);
        std::string exe = ModuleFolder() + "NetrefitPublish.exe";
        std::string commandLine = "\"" + exe + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outFile;
        startup.hStdError = errFile;
        PROCESS_INFORMATION info = {};
        BOOL started = ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
        ::CloseHandle(outFile);
        ::CloseHandle(errFile);
        EXPECT_TRUE(started) << commandLine;
        DWORD code = STILL_ACTIVE;
        if (started) {
            if (::WaitForSingleObject(info.hProcess, 300000) != WAIT_OBJECT_0)
                ::TerminateProcess(info.hProcess, STILL_ACTIVE);
            ::GetExitCodeProcess(info.hProcess, &code);
            ::CloseHandle(info.hProcess);
            ::CloseHandle(info.hThread);
        }
        ReadFileBytes(outPath, out);
        std::string errors;
        ReadFileBytes(errPath, &errors);
        if (err != nullptr)
            *err = errors;
        return code;
    }

    // A copy of the site's archives to break.
    std::string CopyModules(const TempDir& into) {
        for (const char* name : kArchives) {
            EXPECT_TRUE(
                ::CopyFileA((SourceModules() + name).c_str(), into.File(name).c_str(), FALSE));
        }
        return into.Path();
    }

    DWORD Make(const std::string& name,
               const std::string& description,
               const std::string& modules,
               std::string* err,
               const std::string& url = std::string(),
               const std::string& moreOptions = std::string()) {
        RemoveTree(SiteFolder(name));
        std::string file = scratch_.File(name + ".ini");
        EXPECT_TRUE(WriteFileBytes(file, description));
        std::string out;
        // A backslash before a closing quote would escape it.
        auto bare = [](std::string folder) {
            while (!folder.empty() && folder.back() == '\\')
                folder.pop_back();
            return folder;
        };
        return Tool("make --description \"" + file + "\" --modules \"" + bare(modules) +
                        "\" --url " + (url.empty() ? SiteUrl(name) : url) + " --out \"" +
                        bare(SiteFolder(name)) + "\" --password melorra" + moreOptions,
                    &out, err);
    }

    // "--key FILE" of a key file with these bytes.
    std::string KeyOption(const std::string& bytes = kSeed + "\r\n",
                          const std::string& name = "deployer.key") {
        EXPECT_TRUE(WriteFileBytes(scratch_.File(name), bytes));
        return " --key \"" + scratch_.File(name) + "\"";
    }

    // The client's settings point at the site; with a key, its updates must be signed.
    void UseSite(const std::string& name, const std::string& publicKey = std::string()) {
        Settings settings;
        settings.server = SiteUrl(name);
        WriteSettings(settings);
        if (!publicKey.empty()) {
            ASSERT_TRUE(::WritePrivateProfileStringA("Setup", "PublicKey", publicKey.c_str(),
                                                     program_.File("Netrefit.ini").c_str()));
        }
    }

    std::string folder_;
    TempDir scratch_;
};

TEST_F(Publish, CommandLineExitCodes) {
    std::string out, err;
    EXPECT_EQ(0u, Tool("--help", &out));
    EXPECT_NE(std::string::npos, out.find("dry-run --server FILE_OR_URL")) << out;
    EXPECT_NE(std::string::npos, out.find("keygen --out KEY_FILE")) << out;
    const std::string make = "make --description d.ini --modules m --url http://127.0.0.7/ --out o";
    const std::string key = PublicKeyOf(kSeed);
    struct BadUsage {
        std::string arguments;
        std::string error;  // part of what it says; "" for anything
    };
    const std::vector<BadUsage> cases = {
        {"", ""},
        {"publish", ""},
        {"make --url http://127.0.0.7/", "--description is required"},
        {"dry-run --server x.ini", ""},
        {"verify --url", ""},
        {"keygen", "--out is required"},
        {make + " --expires 2099-12-31", "--expires needs --key"},
        {make + " --key k.key --expires 2001-01-01", "--expires needs a date"},
        {make + " --key k.key --expires 2099-02-29", "--expires needs a date"},
        {make + " --key k.key --expires " +
             netrefit::FormatCalendarDate(netrefit::AddDays(TodayUtc(), 401)),
         "--expires needs a date"},
        {"verify --url http://127.0.0.7/ --public-key 01" + std::string(62, '0'),
         "--public-key needs"},
        {"verify --url http://127.0.0.7/ --public-key " + key.substr(1), "--public-key needs"},
        {"dry-run --server x.ini --installed s.ini --public-key " + key + ",",
         "--public-key needs"},
        {make + " --mirror http://a/ --mirror http://b/ --mirror http://c/ --mirror http://d/"
                " --mirror http://e/",
         "--mirror may be given at most 4 times"},
    };
    for (const BadUsage& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(2u, Tool(c.arguments, &out, &err));
        EXPECT_NE(std::string::npos, err.find(c.error)) << err;
    }
}

// From a folder of archives to a whole upgrade of the real client.
TEST_F(Publish, MadeSiteVerifiesAndUpgradesTheRealClient) {
    std::string err, out;
    ASSERT_EQ(0u, Make("made", kDescription, SourceModules(), &err)) << err;
    std::string english, german;
    ASSERT_TRUE(ReadFileBytes(ServerFile("made"), &english));
    ASSERT_TRUE(ReadFileBytes(SiteFolder("made") + "Version_German.ini", &german));
    EXPECT_EQ(english, german);
    EXPECT_EQ(0u, Tool("verify --url " + SiteUrl("made") + " --password melorra", &out)) << out;
    EXPECT_EQ("5 of 5 modules passed", LastLine(out)) << out;

    InstallOlderSuite();
    UseSite("made");
    Start();
    AcceptAndFinishUpgrade();
}

// A key pair of the system's random source, a site signed with it, and the real client that
// holds the public key upgrading from it.
TEST_F(Publish, SignedSiteFromANewKeyUpgradesTheRealClient) {
    std::string keyFile = scratch_.File("new.key"), out, err, keyText;
    ASSERT_EQ(0u, Tool("keygen --out \"" + keyFile + "\"", &out, &err)) << err;
    ASSERT_TRUE(ReadFileBytes(keyFile, &keyText));
    ASSERT_EQ(66u, keyText.size());
    EXPECT_EQ("\r\n", keyText.substr(64));
    std::string seed = keyText.substr(0, 64);
    EXPECT_EQ(std::string::npos, seed.find_first_not_of("0123456789abcdef")) << keyText;
    // The printed key is the pair of the one in the file.
    std::string publicKey = PublicKeyOf(seed);
    EXPECT_EQ("PublicKey=" + publicKey + "\r\n", out);
    // Its owner's alone (Wine turns the access into the Unix mode and reports that back), unlike
    // a file made with the folder's defaults.
    ASSERT_TRUE(WriteFileBytes(scratch_.File("plain.txt"), "p"));
    ASSERT_NE(std::string::npos, SecurityText(scratch_.File("plain.txt")).find(";;;WD)"));
    EXPECT_EQ(std::string::npos, SecurityText(keyFile).find(";;;WD)")) << SecurityText(keyFile);
    EXPECT_EQ(1u, Tool("keygen --out \"" + keyFile + "\"", &out, &err));
    EXPECT_NE(std::string::npos, err.find("already exists")) << err;
    std::string again;
    ASSERT_TRUE(ReadFileBytes(keyFile, &again));
    EXPECT_EQ(keyText, again) << "a key file was overwritten";

    ASSERT_EQ(0u,
              Make("signed", kDescription, SourceModules(), &err, "", " --key \"" + keyFile + "\""))
        << err;
    std::string server, signature;
    ASSERT_TRUE(ReadFileBytes(ServerFile("signed"), &server));
    ASSERT_TRUE(ReadFileBytes(ServerFile("signed") + ".sig", &signature));
    EXPECT_EQ(SignatureFileOf(seed, server), signature);
    EXPECT_EQ(netrefit::FormatCalendarDate(netrefit::AddDays(TodayUtc(), 90)),
              ServerValue(server, "Signature", "Expires"));
    // Each site made with the key is signed later than the last, even within one second.
    std::string signedAt = ServerValue(server, "Signature", "Signed");
    EXPECT_TRUE(netrefit::IsSigningTime(signedAt)) << signedAt;
    ASSERT_EQ(0u, Make("signed-again", kDescription, SourceModules(), &err, "",
                       " --key \"" + keyFile + "\""))
        << err;
    std::string later;
    ASSERT_TRUE(ReadFileBytes(ServerFile("signed-again"), &later));
    EXPECT_GT(ServerValue(later, "Signature", "Signed"), signedAt);
    EXPECT_EQ(0u, Tool("verify --url " + SiteUrl("signed") + " --password melorra --public-key " +
                           publicKey,
                       &out))
        << out;
    EXPECT_NE(std::string::npos,
              out.find("Version_English.ini.sig\thttp://127.0.0.7/signed/Version_English.ini.sig"
                       "\t130\tok\r\n"))
        << out;
    EXPECT_EQ("5 of 5 modules passed", LastLine(out)) << out;

    // The client's settings stand in for the key, and say what kind of client they make.
    UseSite("signed", publicKey);
    const std::string verifySettings = "verify --url " + SiteUrl("signed") +
                                       " --password melorra --settings \"" +
                                       program_.File("Netrefit.ini") + "\"";
    EXPECT_EQ(0u, Tool(verifySettings, &out, &err)) << out;
    EXPECT_NE(std::string::npos, err.find(": a signed client (1 key)")) << err;
    EXPECT_NE(std::string::npos, out.find("Version_English.ini.sig\t")) << out;
    InstallOlderSuite();
    Start();
    AcceptAndFinishUpgrade();

    // The key pasted a second time, into another section, is refused as the client refuses it.
    ASSERT_TRUE(::WritePrivateProfileStringA("Resource", "PublicKey", publicKey.c_str(),
                                             program_.File("Netrefit.ini").c_str()));
    EXPECT_EQ(1u, Tool(verifySettings, &out, &err));
    EXPECT_EQ("refused 110", LastLine(out)) << out;
    EXPECT_NE(std::string::npos, err.find("the client refuses these settings")) << err;
}

// Mirrors of the modules: written by make, each copy checked by verify on a row of its own, and
// the URL that serves each file shown by a dry run whose Server= is down.
TEST_F(Publish, MirrorsAreWrittenVerifiedAndShownByDryRun) {
    std::string err, out;
    const std::string m1 = SiteUrl("mirrored-m1"), m2 = SiteUrl("mirrored-m2");
    ASSERT_EQ(0u, Make("mirrored", kDescription, SourceModules(), &err, "",
                       " --mirror " + m1 + " --mirror " + m2))
        << err;
    std::string text;
    ASSERT_TRUE(ReadFileBytes(ServerFile("mirrored"), &text));
    EXPECT_EQ(m1 + "Melorra.zip," + m2 + "Melorra.zip", ServerValue(text, "Melorra", "Mirrors"));
    // The first mirror a whole copy; the second holds only a stale Melorra.zip.
    for (const char* folder : {"mirrored-m1", "mirrored-m2"}) {
        RemoveTree(SiteFolder(folder));
        ASSERT_TRUE(::CreateDirectoryA(SiteFolder(folder).c_str(), nullptr));
    }
    for (const char* name : kArchives) {
        ASSERT_TRUE(::CopyFileA((SourceModules() + name).c_str(),
                                (SiteFolder("mirrored-m1") + name).c_str(), FALSE));
    }
    ASSERT_TRUE(::CopyFileA((SourceModules() + "CommonLib.zip").c_str(),
                            (SiteFolder("mirrored-m2") + "Melorra.zip").c_str(), FALSE));
    EXPECT_EQ(1u, Tool("verify --url " + SiteUrl("mirrored") + " --password melorra", &out));
    std::string size = ServerValue(text, "Melorra", "Size");
    for (const std::string& row :
         {"Melorra\t" + m1 + "Melorra.zip\t" + size + "\tok",
          "Melorra\t" + m2 + "Melorra.zip\t" + size + "\tSize " + size + " but ",
          "LauncherMl\t" + m2 + "SetupStarter.zip\t"}) {
        EXPECT_NE(std::string::npos, out.find(row)) << row << "\n" << out;
    }
    std::vector<std::string> lines = TextLines(out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("5 of 10 mirror copies passed", lines[lines.size() - 2]) << out;
    EXPECT_EQ("5 of 5 modules passed", lines.back()) << out;

    // Server= down and Melorra.zip gone from the path: the mirrors serve them.
    ASSERT_TRUE(::DeleteFileA((SiteFolder("mirrored") + "Melorra.zip").c_str()));
    UseSite("mirrored-gone");
    ASSERT_TRUE(::WritePrivateProfileStringA("Setup", "Mirrors", SiteUrl("mirrored").c_str(),
                                             program_.File("Netrefit.ini").c_str()));
    std::string state = scratch_.File("state.ini");
    ASSERT_TRUE(WriteFileBytes(state, "[Installed]\r\nMelorra=2.0.0.123\r\n"));
    EXPECT_EQ(0u,
              Tool("dry-run --installed \"" + state + "\" --server " + SiteUrl("mirrored-gone") +
                       " --settings \"" + program_.File("Netrefit.ini") + "\"",
                   &out, &err))
        << err;
    EXPECT_EQ("upgrade", TextLines(out)[0]);
    for (const std::string& line :
         {"served\tVersion_English.ini\t" + SiteUrl("mirrored") + "Version_English.ini",
          "served\tMelorra.zip\t" + m1 + "Melorra.zip",
          "served\tSetupStarter.zip\t" + SiteUrl("mirrored") + "SetupStarter.zip"}) {
        EXPECT_NE(std::string::npos, err.find(line)) << line << "\n" << err;
    }
}

struct MakeCase {
    const char* name;
    // Changes the description, the archives folder or the base URL before "make" runs.
    std::function<void(std::string* description, const TempDir& modules, std::string* url)> breakIt;
    std::string expected;      // a line of the refusal; "" when the site is made
    std::string keyFile = "";  // the bytes of the key file it is signed with; "" for none
};

TEST_F(Publish, MakeRefusesWhatTheClientWouldNotTake) {
    auto edit = [](const char* from, const char* to) {
        return [=](std::string* description, const TempDir&, std::string*) {
            *description = Replace(*description, from, to);
        };
    };
    // The archive takes Melorra.zip's place.
    auto module = [](const std::string& bytes) {
        return [=](std::string* description, const TempDir& modules, std::string*) {
            ASSERT_TRUE(WriteFileBytes(modules.File("Hostile.zip"), bytes));
            *description = Replace(*description, "File=Melorra.zip", "File=Hostile.zip");
        };
    };
    // The bad member comes second: a first one the client cannot read makes no archive at all.
    auto hostile = [module](const TestMember& member) {
        return module(Listed({Stored("readme.txt", "fine"), member}));
    };
    // Local bytes the client reads, and what the central directory lists in their place.
    auto disagreeing = [module](const std::string& local, const TestMember& listed) {
        ZipBuilder zip;
        zip.Add(Stored("readme.txt", "fine"));
        zip.Add(local, listed);
        return module(zip.Bytes());
    };
    TestMember imploded = Stored("a.txt", "some text");
    imploded.method = 6;
    TestMember bzip2 = Stored("b.txt", "some text");
    bzip2.method = 12;
    TestMember damaged = Deflated("a.txt", PatternBytes(4096));
    damaged.data = std::string(64, '\xff');  // a block of the reserved type
    TestMember text = Stored("c.txt", "the text the directory lists");
    TestMember cut = Stored("c.txt", "the text");
    std::string unfound = Entry(text);
    unfound[3] = 5;  // no local header signature: the client's scan passes over it
    TestMember listedImploded = text;
    listedImploded.method = 6;
    std::string garbled = Listed({Stored("readme.txt", "fine")});
    garbled[garbled.size() - 6] ^= 1;  // the directory's offset in the end record
    auto keep = [](std::string*, const TempDir&, std::string*) {};
    auto notOneLine = [this](const std::string& name) {
        return "key file " + scratch_.File(name + ".key") +
               " is not one line of 64 hexadecimal digits";
    };
    const std::vector<MakeCase> cases = {
        {"junk-version", edit("[Melorra]\r\nVersion=2.1.0.0", "[Melorra]\r\nVersion=2.1b"),
         "[Melorra] Version: \"2.1b\" is not a version the client can read"},
        {"version-part-over-16-bits", edit("Version=1.1.0.3240", "Version=1.1.0.65536"),
         "[UpdateAgent] Version: \"1.1.0.65536\" is not a version the client can read"},
        {"url-too-long",
         [](std::string*, const TempDir&, std::string* url) {
             *url = "http://127.0.0.7/" + std::string(240, 'a') + "/";
         },
         "[Melorra] URL of 269 characters; the client takes at most 254"},
        {"file-name-with-trailing-dot", edit("File=Melorra.zip", "File=Melorra.zip."),
         "[Melorra] file name \"Melorra.zip.\" is refused by the client"},
        {"unsupported-method", hostile(imploded),
         "[Melorra] Hostile.zip: member \"a.txt\": compression method 6 is not supported"},
        {"method-the-client-refuses", hostile(bzip2),
         "[Melorra] Hostile.zip: member \"b.txt\": compression method 12 is not supported"},
        {"unsafe-member-name", hostile(Stored("../evil.txt", "x")),
         "[Melorra] Hostile.zip: member \"../evil.txt\": unsafe name"},
        {"damaged-data", hostile(damaged), "[Melorra] Hostile.zip: member \"a.txt\": damaged data"},
        {"member-only-in-the-directory", disagreeing(unfound, text),
         "[Melorra] Hostile.zip: member \"c.txt\": the client would skip it"},
        {"local-data-cut", disagreeing(Entry(cut), text),
         "[Melorra] Hostile.zip: member \"c.txt\": the client would write 8 bytes (CRC-32 "
         "76568BB7); the central directory says 28 bytes (CRC-32 96290191)"},
        {"local-data-differs",
         disagreeing(Entry(Stored("c.txt", "the text a hostile one packs")), text),
         "[Melorra] Hostile.zip: member \"c.txt\": the client would write 28 bytes (CRC-32 "
         "06A36538); the central directory says 28 bytes (CRC-32 96290191)"},
        {"member-only-in-local-headers", module(Unlisted(1)),
         "[Melorra] Hostile.zip: member \"extra0.txt\": the client unpacks it, but the central "
         "directory does not list it"},
        {"findings-past-ten", module(Unlisted(12)),
         "[Melorra] Hostile.zip: and 2 more members differ from the central directory"},
        {"method-only-in-the-directory", disagreeing(Entry(text), listedImploded),
         "[Melorra] Hostile.zip: member \"c.txt\": compression method 6 is not supported"},
        {"no-end-record", module(Archive(Stored("readme.txt", "fine"))),
         "[Melorra] Hostile.zip: no readable central directory"},
        {"garbled-end-record", module(garbled),
         "[Melorra] Hostile.zip: no readable central directory"},
        {"zip64-directory",
         module(Listed({Stored("readme.txt", "fine"), Deflated("c.txt", "x")}, true)), ""},
        {"stored-with-descriptors", module(StoredWithDescriptors(site_ + "StoredStreamed.zip")),
         ""},  // Python's stored members with descriptors, unpacked exactly
        {"no-installer", edit("File=SetupStarter.zip", "File=NoSetup.zip"),
         "no archive holds \"Setup.exe\": the client would have no installer to start"},
        {"two-installers",
         [](std::string* description, const TempDir& modules, std::string*) {
             ::CopyFileA(modules.File("SetupStarter.zip").c_str(),
                         modules.File("Starter2.zip").c_str(), FALSE);
             *description = Replace(*description, "File=Melorra.zip", "File=Starter2.zip");
         },
         "\"Setup.exe\" is in more than one archive (Starter2.zip, SetupStarter.zip): the last "
         "one unpacked would win"},
        {"installer-outside-the-launcher",
         [](std::string* description, const TempDir&, std::string*) {
             *description = Replace(*description, "File=Melorra.zip", "File=SetupStarter.zip");
             *description =
                 Replace(*description, "[LauncherMl]\r\nVersion=2.1.0.0\r\nFile=SetupStarter.zip",
                         "[LauncherMl]\r\nVersion=2.1.0.0\r\nFile=NoSetup.zip");
         },
         "\"Setup.exe\" is in SetupStarter.zip, not in the [LauncherMl] archive NoSetup.zip that "
         "every upgrade fetches"},
        {"no-launcher", edit("[LauncherMl]\r\nVersion=2.1.0.0\r\nFile=SetupStarter.zip\r\n", ""),
         "[LauncherMl] is missing: the client would have no Setup Starter to fetch"},
        {"hot-fix-after-a-gap",
         edit("File=SecureModule.zip\r\n", "File=SecureModule.zip\r\nHotFix01=3\r\nHotFix03=4\r\n"),
         "[KeldraSecureModule] HotFix03 follows a missing number: the client stops reading before "
         "it"},
        {"misspelt-section", edit("[MelorraAddonNocddb]", "[MelorraAddonNoCddbb]"),
         "[MelorraAddonNoCddbb] is not a section the client reads"},
        {"unknown-language", edit("Names=English, German", "Names=English, Klingon"),
         "[Languages] Names: \"Klingon\" is not a language the client knows"},
        {"key-with-lf", keep, "", kSeed + "\n"},
        {"key-without-line-end", keep, "", kSeed},
        {"key-of-two-lines", keep, notOneLine("key-of-two-lines"), kSeed + "\r\n\r\n"},
        {"key-of-63-digits", keep, notOneLine("key-of-63-digits"), kSeed.substr(1) + "\r\n"},
        {"key-not-hex", keep, notOneLine("key-not-hex"), "x" + kSeed.substr(1) + "\r\n"},
    };
    for (const MakeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir modules;
        CopyModules(modules);
        std::string description = kDescription, url;
        c.breakIt(&description, modules, &url);
        std::string err;
        std::string key =
            c.keyFile.empty() ? "" : KeyOption(c.keyFile, std::string(c.name) + ".key");
        if (c.expected.empty()) {
            EXPECT_EQ(0u, Make(c.name, description, modules.Path(), &err, url, key)) << err;
            std::string server, signature;
            if (!c.keyFile.empty()) {
                EXPECT_TRUE(ReadFileBytes(ServerFile(c.name), &server));
                EXPECT_TRUE(ReadFileBytes(ServerFile(c.name) + ".sig", &signature));
                EXPECT_EQ(SignatureFileOf(kSeed, server), signature)
                    << "signed with the file's key";
            }
            continue;
        }
        EXPECT_EQ(1u, Make(c.name, description, modules.Path(), &err, url, key));
        std::vector<std::string> lines = TextLines(err);
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), c.expected)) << err;
        EXPECT_FALSE(FileExists(SiteFolder(c.name))) << "a refused site was written";
    }
}

struct VerifyCase {
    const char* name;
    // Breaks the made site: its server file's text and its folder.
    std::function<void(std::string* serverText, const std::string& folder)> breakIt;
    std::string expected;  // part of the output; "" when every module passes
    enum Signing {
        Unsigned,     // made and verified without a key
        Signed,       // made with the key, verified with its public key
        SignedAgain,  // the same, the broken server file signed again with the key
        KeyNotGiven   // made with the key, verified without one
    } signing = Unsigned;
};

TEST_F(Publish, VerifyFindsEverySiteBrokenOnPurpose) {
    auto setValue = [](std::string* text, const char* section, const char* key, std::string value) {
        std::string old = ServerValue(*text, section, key);
        size_t at = text->find(std::string("[") + section + "]");
        size_t line = text->find(std::string(key) + "=" + old, at);
        text->replace(line, std::string(key).size() + 1 + old.size(),
                      std::string(key) + "=" + value);
    };
    auto replaceModule = [setValue](const std::string& bytes) {
        return [=](std::string* text, const std::string& folder) {
            ASSERT_TRUE(WriteFileBytes(folder + "Melorra.zip", bytes));
            setValue(text, "Melorra", "Size", std::to_string(bytes.size()));
            setValue(text, "Melorra", "MD5", Digest(bytes));
        };
    };
    std::string starter;
    ASSERT_TRUE(ReadFileBytes(SourceModules() + "SetupStarter.zip", &starter));
    TestMember damaged = Deflated("a.txt", PatternBytes(4096));
    damaged.data = std::string(64, '\xff');
    const std::string notSigned =
        "\tno line of it is a signature of Version_English.ini by the given keys";
    const std::vector<VerifyCase> cases = {
        {"module-missing",
         [](std::string*, const std::string& folder) {
             ::DeleteFileA((folder + "Melorra.zip").c_str());
         },
         "Melorra.zip\t151434\tstatus 404"},
        {"size-off-by-one",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Melorra", "Size", "151435");
         },
         "\tSize 151435 but 151434 bytes served"},
        {"digest-in-upper-case",
         [setValue](std::string* text, const std::string&) {
             std::string md5 = ServerValue(*text, "Melorra", "MD5");
             for (char& c : md5)
                 c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
             setValue(text, "Melorra", "MD5", md5);
         },
         "is not 32 lowercase hexadecimal digits"},
        {"digest-of-another-module",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Melorra", "MD5", ServerValue(*text, "MelorraCommonLibrary", "MD5"));
         },
         "\tMD5 differs: the file served has "},
        {"damaged-archive", replaceModule(Archive(damaged)), "member \"a.txt\": damaged data"},
        {"member-only-in-local-headers", replaceModule(Unlisted(1)),
         "member \"extra0.txt\": the client unpacks it, but the central directory does not list "
         "it"},
        {"stored-with-descriptors",
         replaceModule(StoredWithDescriptors(site_ + "StoredStreamed.zip")), ""},
        {"two-installers", replaceModule(starter),
         "\"Setup.exe\" is in more than one archive: the last one unpacked would win"},
        {"launcher-incomplete",
         [](std::string* text, const std::string&) {
             *text = Replace(*text, "[LauncherMl]", "[LauncherMl]\r\nMD5=\r\n[Unused]");
         },
         "[LauncherMl] is missing or incomplete: the client would have no Setup Starter"},
        // Fetched as the client fetches: another scheme unsent, the URL's port and no other.
        {"module-over-ftp",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Melorra", "path",
                      "ftp://127.0.0.7/verify-module-over-ftp/Melorra.zip");
         },
         "Melorra.zip\t151434\tnot an http:// or https:// URL with a valid port"},
        {"module-on-a-port-nobody-serves",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Melorra", "path",
                      "http://127.0.0.7:8079/verify-module-on-a-port-nobody-serves/Melorra.zip");
         },
         "Melorra.zip\t151434\tno answer from 127.0.0.7"},
        {"section-without-digest",
         [](std::string* text, const std::string&) {
             std::string md5 = ServerValue(*text, "MelorraCommonLibrary", "MD5");
             *text = Replace(*text, "MD5=" + md5 + "\r\n", "");
         },
         "CommonLib.zip\t-\tincomplete: the client ignores it"},
        {"server-file-missing",
         [](std::string*, const std::string& folder) {
             ::DeleteFileA((folder + "Version_English.ini").c_str());
         },
         "Version_English.ini\thttp://127.0.0.7/verify-server-file-missing/Version_English.ini\t-"
         "\tstatus 404"},
        {"signed-module-replaced",
         replaceModule(StoredWithDescriptors(site_ + "StoredStreamed.zip")), notSigned,
         VerifyCase::Signed},
        {"signature-missing",
         [](std::string*, const std::string& folder) {
             ::DeleteFileA((folder + "Version_English.ini.sig").c_str());
         },
         "Version_English.ini.sig\thttp://127.0.0.7/verify-signature-missing/"
         "Version_English.ini.sig"
         "\t-\tstatus 404",
         VerifyCase::Signed},
        {"signed-by-another-key",
         [](std::string* text, const std::string& folder) {
             ASSERT_TRUE(WriteFileBytes(folder + "Version_English.ini.sig",
                                        SignatureFileOf(kOtherSeed, *text)));
         },
         notSigned, VerifyCase::Signed},
        {"expired",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Signature", "Expires", "2020-01-01");
         },
         "\texpired: [Signature] Expires=2020-01-01 is no date or is before today (",
         VerifyCase::SignedAgain},
        {"module-without-sha256",
         [](std::string* text, const std::string&) {
             std::string sha256 = ServerValue(*text, "Melorra", "SHA256");
             *text = Replace(*text, "SHA256=" + sha256 + "\r\n", "");
         },
         "Melorra.zip\t151434\tno SHA256: the client refuses the whole server file",
         VerifyCase::SignedAgain},
        {"sha256-checked-without-keys",
         [setValue](std::string* text, const std::string&) {
             setValue(text, "Melorra", "SHA256",
                      ServerValue(*text, "MelorraCommonLibrary", "SHA256"));
         },
         "\tSHA-256 differs: the file served has ", VerifyCase::KeyNotGiven},
    };
    for (const VerifyCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = std::string("verify-") + c.name, err, out;
        bool signedSite = c.signing != VerifyCase::Unsigned;
        ASSERT_EQ(
            0u, Make(name, kDescription, SourceModules(), &err, "", signedSite ? KeyOption() : ""))
            << err;
        std::string text;
        ASSERT_TRUE(ReadFileBytes(ServerFile(name), &text));
        c.breakIt(&text, SiteFolder(name));
        if (FileExists(ServerFile(name))) {
            ASSERT_TRUE(WriteFileBytes(ServerFile(name), text));
        }
        if (c.signing == VerifyCase::SignedAgain) {
            ASSERT_TRUE(WriteFileBytes(ServerFile(name) + ".sig", SignatureFileOf(kSeed, text)));
        }
        bool keysGiven = signedSite && c.signing != VerifyCase::KeyNotGiven;
        DWORD code = Tool("verify --url " + SiteUrl(name) + " --password melorra" +
                              (keysGiven ? " --public-key " + PublicKeyOf(kSeed) : ""),
                          &out);
        if (c.expected.empty()) {
            EXPECT_EQ(0u, code) << out;
            EXPECT_EQ("5 of 5 modules passed", LastLine(out)) << out;
            continue;
        }
        EXPECT_EQ(1u, code) << out;
        EXPECT_NE(std::string::npos, out.find(c.expected)) << out;
        EXPECT_NE(std::string::npos, LastLine(out).find(" modules passed")) << out;
    }
}

TEST_F(Publish, CheckSignatureAnswers) {
    const std::string text = "[UpdateAgent]\r\nVersion=1.1.0.3240\r\n";
    std::string file = scratch_.File("signed.ini"), changed = scratch_.File("changed.ini");
    ASSERT_TRUE(WriteFileBytes(file, text));
    ASSERT_TRUE(WriteFileBytes(changed, Replace(text, "3240", "3241")));
    std::string signature = SignatureFileOf(kSeed, text).substr(0, 128);
    const std::string key = PublicKeyOf(kSeed), other = PublicKeyOf(kOtherSeed);
    auto check = [](const std::string& keys, const std::string& signature,
                    const std::string& file) {
        return "check-signature --public-key " + keys + " --signature " + signature + " --file \"" +
               file + "\"";
    };
    struct CheckCase {
        std::string arguments;
        DWORD code;
    };
    const std::vector<CheckCase> cases = {
        {check(key, signature, file), 0},
        {check(other + "," + key, signature, file), 0},  // a second key while keys rotate
        {check(other, signature, file), 1},
        {check(key, signature, changed), 1},
        {check(key, signature, scratch_.File("missing.ini")), 1},
        {check(key, signature.substr(1), file), 2},
        {check(key, signature.substr(1) + "g", file), 2},
        {check(key.substr(1), signature, file), 2},
        {"check-signature --public-key " + key + " --signature " + signature, 2},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string out;
        EXPECT_EQ(c.code, Tool(c.arguments, &out));
    }
}

struct SignedDryRunCase {
    const char* name;
    std::function<void(std::string* serverText)> change;  // before it is signed again
    enum Signature { SignedAgain, NotAgain, OtherKey, None } signature;
    bool url;             // the server file by its URL, else the file itself
    bool keysInSettings;  // the settings' PublicKey instead of --public-key
    const char* firstLine;
};

// With keys the dry run answers as a client with those keys in its settings: the one that
// cannot verify the server file refuses it with message 151.
TEST_F(Publish, DryRunWithKeysRefusesWhatTheClientCannotVerify) {
    std::string err, out;
    ASSERT_EQ(0u, Make("dry-signed", kDescription, SourceModules(), &err, "", KeyOption())) << err;
    std::string made;
    ASSERT_TRUE(ReadFileBytes(ServerFile("dry-signed"), &made));
    std::string state = scratch_.File("state.ini");
    ASSERT_TRUE(WriteFileBytes(state, "[Installed]\r\nMelorra=2.0.0.123\r\n"));
    auto same = [](std::string*) {};
    const std::vector<SignedDryRunCase> cases = {
        {"file", same, SignedDryRunCase::SignedAgain, false, false, "upgrade"},
        {"url", same, SignedDryRunCase::SignedAgain, true, false, "upgrade"},
        {"url-another-key", same, SignedDryRunCase::OtherKey, true, false, "refused 151"},
        {"url-no-signature", same, SignedDryRunCase::None, true, false, "refused 151"},
        {"url-key-of-the-settings", same, SignedDryRunCase::OtherKey, true, true, "refused 151"},
        {"file-changed-after-signing",
         [](std::string* text) { *text = Replace(*text, "Version=2.1.0.0", "Version=2.2.0.0"); },
         SignedDryRunCase::NotAgain, false, false, "refused 151"},
        {"file-expired",
         [](std::string* text) {
             *text = Replace(*text, "Expires=" + ServerValue(*text, "Signature", "Expires"),
                             "Expires=2020-01-01");
         },
         SignedDryRunCase::SignedAgain, false, false, "refused 151"},
        {"file-module-without-sha256",
         [](std::string* text) {
             *text =
                 Replace(*text, "SHA256=" + ServerValue(*text, "Melorra", "SHA256") + "\r\n", "");
         },
         SignedDryRunCase::SignedAgain, false, false, "refused 151"},
    };
    for (const SignedDryRunCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string site = std::string("dry-signed-") + c.name, text = made;
        ASSERT_TRUE(::CreateDirectoryA(SiteFolder(site).c_str(), nullptr) ||
                    ::GetLastError() == ERROR_ALREADY_EXISTS);
        c.change(&text);
        ASSERT_TRUE(WriteFileBytes(ServerFile(site), text));
        ::DeleteFileA((ServerFile(site) + ".sig").c_str());
        if (c.signature != SignedDryRunCase::None) {
            const std::string& seed =
                c.signature == SignedDryRunCase::OtherKey ? kOtherSeed : kSeed;
            std::string signedText = c.signature == SignedDryRunCase::NotAgain ? made : text;
            ASSERT_TRUE(
                WriteFileBytes(ServerFile(site) + ".sig", SignatureFileOf(seed, signedText)));
        }
        UseSite(site, PublicKeyOf(kSeed));
        std::string command = "dry-run --installed \"" + state + "\" --server " +
                              (c.url ? SiteUrl(site) : "\"" + ServerFile(site) + "\"");
        if (c.url) {
            command += " --settings \"" + program_.File("Netrefit.ini") + "\"";
        }
        if (!c.keysInSettings) {
            command += " --public-key " + PublicKeyOf(kSeed);
        }
        EXPECT_EQ(c.firstLine[0] == 'u' ? 0u : 1u, Tool(command, &out)) << out;
        std::vector<std::string> lines = TextLines(out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(c.firstLine, lines[0]);
        if (c.url && lines[0] == "refused 151") {
            Start();
            EXPECT_EQ(kUnverifiedText, Answer(IDOK));
            EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        }
    }
}

// One state of a PC: the registry the client detects, the same state as a state file, and what
// the client shows on the road to its module list.
struct PcState {
    const char* name;
    std::function<void(const TempDir& files)> install;
    const char* stateFile;
    const char* firstLine;  // of the dry run
    enum Road { List, AskOldPlayer, UpToDate, Refused } road;
    const char* agentVersion = "1.1.0.3240";  // of the site's server file
};

class DryRun : public Publish, public ::testing::WithParamInterface<PcState> {};

TEST_P(DryRun, AgreesWithTheModuleListOfTheClient) {
    const PcState& state = GetParam();
    std::string site = std::string("dry-") + state.name, err, out;
    std::string description =
        Replace(kDescription, "Version=1.1.0.3240", std::string("Version=") + state.agentVersion);
    ASSERT_EQ(0u, Make(site, description, SourceModules(), &err)) << err;
    TempDir files;
    state.install(files);
    UseSite(site);
    ASSERT_TRUE(WriteFileBytes(files.File("state.ini"), state.stateFile));

    std::string common =
        " --server " + SiteUrl(site) + " --settings \"" + program_.File("Netrefit.ini") + "\"";
    std::string fromState, fromRegistry;
    Tool("dry-run --installed \"" + files.File("state.ini") + "\"" + common, &fromState);
    Tool("dry-run --from-registry" + common, &fromRegistry);
    EXPECT_EQ(fromState, fromRegistry);
    std::vector<std::string> lines = TextLines(fromState);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(state.firstLine, lines[0]) << fromState;
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (!lines[i].empty())
            names.push_back(lines[i].substr(0, lines[i].find('\t')));
    }

    Start();
    if (state.road == PcState::Refused) {
        EXPECT_EQ(
            "Melorra Installer you are running is not the latest version.  \nPlease "
            "download again.",
            Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        return;
    }
    if (state.road == PcState::AskOldPlayer) {
        EXPECT_NE(std::string::npos, Answer(IDOK).find("Keldra Player")) << "old-player question";
    }
    if (state.road == PcState::UpToDate) {
        HWND upToDate =
            WaitForTopLevel(process_.Id(), "Melorra Installer", kUpToDateText, kWindowWait);
        ASSERT_NE(nullptr, upToDate);
        PressButton(upToDate, IDCANCEL);  // Reinstall
    }
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(names, ListViewColumn(::GetDlgItem(list, kModuleList), 0));
}

namespace {

const char kKeldra[] = "Software\\Tavrin Corporation\\Keldra Player\\Jukebox";
const char kMainUninstall[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";

void InstallTargetOnly(const TempDir&) {
    EXPECT_TRUE(SetMachineText(kMainUninstall, "UninstallString", "C:\\Melorra\\Uninstall.exe"));
    EXPECT_TRUE(SetMachineText("Software\\Tavrin Corporation\\Melorra\\Jukebox", "InstalledPath",
                               "C:\\Melorra\\Melorra.exe"));
    EXPECT_TRUE(SetMachineText("Software\\Tavrin Corporation\\Melorra\\Version", "", "2.0.0.123"));
}

void InstallOldPlayer(const TempDir& files) {
    InstallOlderSuite();
    EXPECT_TRUE(WriteFileBytes(files.File("Version.txt"), "2.0.0.0\r\n"));
    EXPECT_TRUE(SetMachineText(kKeldra, "InstalledPath", files.File("Keldra.exe")));
}

const char kOlderSuite[] =
    "[Installed]\r\nMelorra=2.0.0.123\r\nKeldraSecureModule=3.0.0.0\r\n"
    "MelorraCommonLibrary=1.4.0.0\r\nMelorraAddonNocddb=1.0.0.0\r\n";

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    States,
    DryRun,
    ::testing::Values(PcState{"target-only", InstallTargetOnly,
                              "[Installed]\r\nMelorra=2.0.0.123\r\n", "upgrade", PcState::List},
                      PcState{"old-player", InstallOldPlayer,
                              "[Installed]\r\nMelorra=2.0.0.123\r\nKeldraSecureModule=3.0.0.0\r\n"
                              "MelorraCommonLibrary=1.4.0.0\r\nMelorraAddonNocddb=1.0.0.0\r\n"
                              "KeldraPlayer=2.0.0.0\r\n",
                              "upgrade", PcState::AskOldPlayer},
                      PcState{"everything-current",
                              [](const TempDir&) { InstallSuite(SuiteAtSiteVersions()); },
                              "[Installed]\r\nMelorra=2.1.0.0\r\nKeldraSecureModule=3.1.0.0\r\n"
                              "MelorraCommonLibrary=1.5.0.0\r\nMelorraAddonNocddb=1.1.0.0\r\n",
                              "reinstall", PcState::UpToDate},
                      PcState{"outdated-program", [](const TempDir&) { InstallOlderSuite(); },
                              kOlderSuite, "refused 131", PcState::Refused, "1.2.0.0"}),
    [](const ::testing::TestParamInfo<PcState>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (c == '-')
                c = '_';
        }
        return name;
    });
