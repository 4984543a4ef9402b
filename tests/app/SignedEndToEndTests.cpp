// Signed updates end to end: the deployer's key in the settings decides which server files and
// modules the program takes; a client without a key runs as the other end-to-end tests show.
#include <gtest/gtest.h>

#include <string>

#include "EndToEnd.h"
#include "support/LoopbackHttpServer.h"

using namespace netrefit::test;

namespace {

const char kUnverified[] =
    "The update information from the server could not be verified. \nPlease contact the "
    "software vendor.";

const int kModuleListCancel = 1013;

std::string ExpiringOn(const std::string& text, const std::string& date) {
    return text + "\r\n[Signature]\r\nExpires=" + date + "\r\n";
}

}  // namespace

TEST_F(EndToEnd, SignedSiteUpgradesAClientWithTheKey) {
    std::string text = ExpiringOn(WithSha256(SiteServerText()), "2999-12-31");
    // A second key and a stale line first: a deployer in the middle of a rotation.
    ServeSignedCase("signed", text,
                    TestSignature("old text", 1) + "\r\n" + TestSignature(text) + "\r\n",
                    TestPublicKey(1) + "," + TestPublicKey());
    int asked = Requests("/cases/signed/Version_English.ini.sig");
    Start();
    AcceptAndFinishUpgrade();
    EXPECT_EQ(asked + 1, Requests("/cases/signed/Version_English.ini.sig"));
}

// Each is refused with one message before any module is asked for, and leaves neither the
// server file nor its signature behind.
TEST_F(EndToEnd, UnverifiedServerFilesAreRefusedBeforeAnyModule) {
    std::string undated = WithSha256(SiteServerText());
    std::string text = ExpiringOn(undated, "2999-12-31");
    std::string digest = ServerValue(text, "Melorra", "MD5");
    // The module swapped on the server with its MD5, but no new signature to go with it.
    std::string swapped = Replace(text, "MD5=" + digest, "MD5=" + std::string(32, '0'));
    std::string unsignedModule =
        Replace(text, "SHA256=" + ServerValue(text, "Melorra", "SHA256") + "\r\n", "");
    std::string expired = ExpiringOn(undated, "2001-01-01");
    struct {
        const char* name;
        std::string served;
        std::string signature;
    } cases[] = {
        {"swapped-module", swapped, TestSignature(text)},
        {"missing-signature", text, ""},
        {"other-key", text, TestSignature(text, 1)},
        {"garbage-signature", text, std::string(128, 'z')},
        {"expired", expired, TestSignature(expired)},
        {"without-expiry", undated, TestSignature(undated)},
        {"module-without-sha256", unsignedModule, TestSignature(unsignedModule)},
        {"signature-too-long", text, TestSignature(text) + std::string(1 << 20, '\n')},
    };
    int modules = Requests("/modules/Melorra.zip") + Requests("/modules/SecureModule.zip");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServeSignedCase(c.name, c.served, c.signature);
        Start();
        EXPECT_EQ(kUnverified, Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        EXPECT_FALSE(MainWindowWasShown());
        EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
        EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini.sig"));
    }
    EXPECT_EQ(modules, Requests("/modules/Melorra.zip") + Requests("/modules/SecureModule.zip"));
    EXPECT_FALSE(FileExists(StandinLog()));
}

// A signed server file binds each module to its SHA-256 and its size: a module that differs, or
// a body that goes on past its size, fails its download as an MD5 mismatch does.
TEST_F(EndToEnd, SignedModulesMustMatchTheirDigestAndSize) {
    std::string whole;
    ASSERT_TRUE(ReadFileBytes(site_ + "modules\\Melorra.zip", &whole));
    LoopbackHttpServer endless("127.0.0.6");
    // Past its size the body stalls: only a download that stops at the size ever ends.
    HttpResponse longer = HttpResponse::Ok(whole + PatternBytes(4 << 20, 3));
    longer.sendContentLength = false;
    longer.stallAfter = whole.size() + 65536;
    endless.Serve("/modules/Melorra.zip", longer);
    ASSERT_TRUE(endless.Start()) << "cannot bind 127.0.0.6:80";

    std::string text = ExpiringOn(WithSha256(SiteServerText()), "2999-12-31");
    std::string sha = ServerValue(text, "Melorra", "SHA256");
    std::string otherSha = std::string(64, 'a');
    std::string wrongDigest = Replace(text, "SHA256=" + sha, "SHA256=" + otherSha);
    std::string endlessBody =
        Replace(text, "http://127.0.0.4/modules/Melorra.zip", endless.Url("/modules/Melorra.zip"));
    for (const auto& [name, served] : {std::make_pair("sha256-mismatch", wrongDigest),
                                       std::make_pair("too-long", endlessBody)}) {
        SCOPED_TRACE(name);
        ServeSignedCase(name, served, TestSignature(served));
        ExpectMelorraFailed();
    }
    EXPECT_EQ(1u, endless.RequestCount("/modules/Melorra.zip"));
}

// A server file past 1 MiB is cut off and refused as unreachable, signed or not.
TEST_F(EndToEnd, ServerFilePastOneMebibyteIsRefusedWithOrWithoutAKey) {
    std::string text = WithSha256(SiteServerText()) + "; " + std::string(1 << 20, '-') + "\r\n";
    int asked = Requests("/cases/huge/Version_English.ini.sig");
    for (const char* key : {"", "key"}) {
        SCOPED_TRACE(*key ? "with a key" : "without a key");
        ServeSignedCase("huge", text, TestSignature(text), *key ? TestPublicKey() : "");
        Start();
        EXPECT_EQ(
            "Data was unable to be retrieved from the server.\nPlease check your Internet "
            "connection and try again.",
            Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    }
    EXPECT_EQ(asked, Requests("/cases/huge/Version_English.ini.sig"));
}

// A signed file taken once makes every older one from the same place refused, though it is
// still before its expiry date: served again, it could install older modules or an older
// starter. The same file again is taken.
TEST_F(EndToEnd, OlderSignedFileAfterANewerOneIsRefused) {
    std::string dated = ExpiringOn(WithSha256(SiteServerText()), "2999-12-31");
    std::string newer = dated + "Signed=2026-12-02T08:00:00Z\r\n";
    std::string older = dated + "Signed=2026-12-01T08:00:00Z\r\n";
    for (const std::string* served : {&newer, &older, &newer}) {
        ServeSignedCase("replay", *served, TestSignature(*served));
        Start();
        if (served == &older) {
            EXPECT_EQ(kUnverified, Answer(IDOK));
            EXPECT_NE(STILL_ACTIVE, WaitForEnd());
            continue;
        }
        HWND list = WaitModuleList();
        ASSERT_NE(nullptr, list);
        PressButton(list, kModuleListCancel);
        EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    }
}

// With Server= down the server file and its signature come whole from the first mirror that
// serves both, and must verify as Server='s would; a mirror's file that does not verify ends the
// run, though a later mirror might serve a good one. Its signing time counts for Server='s URL,
// so Server= cannot serve an older file once it is back.
TEST_F(EndToEnd, SignedServerFileFromAMirrorWhenServerIsDown) {
    std::string dated = ExpiringOn(WithSha256(SiteServerText()), "2999-12-31");
    std::string older = dated + "Signed=2026-12-03T08:00:00Z\r\n";
    std::string newer = dated + "Signed=2026-12-04T08:00:00Z\r\n";
    ServeSignedCase("mirror-good", newer, TestSignature(newer));
    ServeSignedCase("mirror-other-key", newer, TestSignature(newer, 1));
    RemoveTree(site_ + "cases\\mirror-server\\");  // down until the last run
    const std::string cases = "http://127.0.0.4/cases/";
    const std::string good = "/cases/mirror-good/Version_English.ini";
    struct {
        const char* name;
        std::string mirrors;
        const char* refusal;  // nullptr: the upgrade completes
        bool goodAsked;
    } runs[] = {
        {"down-missing-good", "http://127.0.0.4:8079/, " + cases + "mirror-good/", nullptr, true},
        {"unverifiable-before-good", cases + "mirror-other-key," + cases + "mirror-good",
         kUnverified, false},
        {"older-on-server-afterwards", cases + "mirror-good", kUnverified, false},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        if (run.mirrors == cases + "mirror-good") {
            ServeSignedCase("mirror-server", older, TestSignature(older));
        }
        Settings settings;
        settings.server = cases + "mirror-server";
        settings.mirrors = run.mirrors;
        settings.publicKey = TestPublicKey();
        WriteSettings(settings);
        RemoveTree(WorkFolder());
        int goodAsked = Requests(good);
        Start();
        if (run.refusal == nullptr) {
            AcceptAndFinishUpgrade();
        } else {
            EXPECT_EQ(run.refusal, Answer(IDOK));
            EXPECT_NE(STILL_ACTIVE, WaitForEnd());
            EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
        }
        EXPECT_EQ(run.goodAsked, Requests(good) > goodAsked);
    }
}
