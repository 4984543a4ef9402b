// Sites over https and on ports of their own, from nginx on 127.0.0.29 (tls-site): the tests'
// certificate authority is trusted in the prefix, every other certificate is refused, and
// redirects go up to https but never down.
#include <gtest/gtest.h>

#include <string>

#include "EndToEnd.h"
#include "support/TestAuthority.h"

using namespace netrefit::test;

namespace {

const std::string kTrusted = "https://127.0.0.29:8443/";
const std::string kPlainPort = "http://127.0.0.29:8080/";
const char kServerFailed[] =
    "Data was unable to be retrieved from the server.\nPlease check your Internet connection "
    "and try again.";

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

class HttpsEndToEnd : public EndToEnd {
  protected:
    static void SetUpTestSuite() {
        trusted_ = TrustTestAuthority(ModuleFolder() + "..\\e2e\\tls\\pki\\authority.der");
    }

    void SetUp() override {
        ASSERT_TRUE(trusted_) << "the e2e TLS fixture did not run, or the prefix refused its "
                                 "certificate authority";
        EndToEnd::SetUp();
    }

    // The site's server file with every module at base.
    std::string ModulesAt(const std::string& base) const {
        return ReplaceAll(SiteServerText(), "http://127.0.0.4/", base);
    }

    // The same with every module at the plain port, but file's at url.
    std::string ModuleMoved(const std::string& file, const std::string& url) const {
        return Replace(ModulesAt(kPlainPort), "path=" + kPlainPort + "modules/" + file,
                       "path=" + url);
    }

    // How often nginx on 127.0.0.29 has been asked for urlPath on port.
    int Asked(const std::string& port, const std::string& urlPath) const {
        std::string log;
        ReadFileBytes(site_ + "..\\tls\\server\\access.log", &log);
        std::string request = port + " \"GET " + urlPath + " ";
        int count = 0;
        for (size_t at = log.find(request); at != std::string::npos;
             at = log.find(request, at + 1)) {
            ++count;
        }
        return count;
    }

    // Requests for the first three modules on any port.
    int ModuleRequests() const {
        int count = 0;
        for (const char* port : {"8080", "8443", "8444", "8445", "8446", "8447"}) {
            for (const char* file : {"SecureModule.zip", "CommonLib.zip", "Melorra.zip"}) {
                count += Asked(port, std::string("/modules/") + file);
            }
        }
        return count;
    }

    void ExpectServerFileRefused() {
        Start();
        EXPECT_EQ(kServerFailed, Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        EXPECT_FALSE(MainWindowWasShown());
        EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    }

    static bool trusted_;
};

bool HttpsEndToEnd::trusted_ = false;

}  // namespace

TEST_F(HttpsEndToEnd, WholeUpgradeOverHttpsOnAPortOfItsOwn) {
    int secure = Asked("8443", "/modules/Melorra.zip");
    int plain = Asked("8080", "/modules/Melorra.zip");
    ServeCase("https", ModulesAt(kTrusted), kTrusted);
    Start();
    AcceptAndFinishUpgrade();
    EXPECT_EQ(secure + 1, Asked("8443", "/modules/Melorra.zip"));
    EXPECT_EQ(plain, Asked("8080", "/modules/Melorra.zip"));
}

// Each certificate the system cannot vouch for ends the run as an unreachable server does,
// with no question to the user and nothing asked of that server.
TEST_F(HttpsEndToEnd, CertificatesThatCannotBeTrustedAreRefusedBeforeAnyModule) {
    const struct {
        const char* name;
        const char* port;
    } cases[] = {
        {"wrong name", "8444"},
        {"expired", "8445"},
        {"unknown authority", "8446"},
        {"not yet valid", "8447"},
    };
    int modules = ModuleRequests();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string base = std::string("https://127.0.0.29:") + c.port + "/";
        ServeCase("untrusted", ModulesAt(base), base);
        ExpectServerFileRefused();
        EXPECT_EQ(0, Asked(c.port, "/cases/untrusted/Version_English.ini"));
    }
    EXPECT_EQ(modules, ModuleRequests());

    // A module behind such a certificate fails as any module download does.
    ServeCase("expired-module",
              ModuleMoved("Melorra.zip", "https://127.0.0.29:8445/modules/Melorra.zip"),
              kPlainPort);
    ExpectMelorraFailed();
    EXPECT_EQ(0, Asked("8445", "/modules/Melorra.zip"));
}

// Up from http to https: the server file and a module; a module on a port of its own over
// plain http.
TEST_F(HttpsEndToEnd, RedirectsUpToHttpsAreFollowed) {
    int file = Asked("8443", "/cases/up/Version_English.ini");
    int secure = Asked("8443", "/modules/SecureModule.zip");
    int plain = Asked("8080", "/modules/Melorra.zip");
    ServeCase("up",
              ModuleMoved("SecureModule.zip", kPlainPort + "to-https/modules/SecureModule.zip"),
              kPlainPort + "to-https/");
    Start();
    AcceptAndFinishUpgrade();
    // The credentials' challenge first, then the file.
    EXPECT_LE(file + 1, Asked("8443", "/cases/up/Version_English.ini"));
    EXPECT_EQ(secure + 1, Asked("8443", "/modules/SecureModule.zip"));
    EXPECT_EQ(plain + 1, Asked("8080", "/modules/Melorra.zip"));
}

TEST_F(HttpsEndToEnd, RedirectsDownToHttpLoopsAndOtherSchemesAreRefused) {
    {
        SCOPED_TRACE("server file down to http");
        int asked = Asked("8443", "/to-http/cases/down/Version_English.ini");
        ServeCase("down", ModulesAt(kTrusted), kTrusted + "to-http/");
        ExpectServerFileRefused();
        EXPECT_EQ(asked + 1, Asked("8443", "/to-http/cases/down/Version_English.ini"));
        EXPECT_EQ(0, Asked("8080", "/cases/down/Version_English.ini"));
    }
    {
        SCOPED_TRACE("server file in a loop");
        int loops = Asked("8443", "/loop/");
        Settings loop;
        loop.server = kTrusted + "loop/";
        WriteSettings(loop);
        ExpectServerFileRefused();
        EXPECT_EQ(loops + 10, Asked("8443", "/loop/"));
    }
    int melorra = Asked("8080", "/modules/Melorra.zip") + Asked("8443", "/modules/Melorra.zip");
    {
        SCOPED_TRACE("module down to http");
        ServeCase("module-down",
                  ModuleMoved("Melorra.zip", kTrusted + "to-http/modules/Melorra.zip"), kPlainPort);
        ExpectMelorraFailed();
    }
    {
        SCOPED_TRACE("module over ftp");
        ServeCase("module-ftp",
                  ModuleMoved("Melorra.zip", "ftp://127.0.0.29:8080/modules/Melorra.zip"),
                  kPlainPort);
        ExpectMelorraFailed();
    }
    EXPECT_EQ(melorra,
              Asked("8080", "/modules/Melorra.zip") + Asked("8443", "/modules/Melorra.zip"));
}

// The publisher's tool fetches as the client does: its verify and dry-run take an https site
// the prefix trusts, and refuse one it cannot.
TEST_F(HttpsEndToEnd, PublishersToolFetchesOverHttpsAsTheClientDoes) {
    ServeCase("publish", ModulesAt(kTrusted), kTrusted);
    ASSERT_TRUE(WriteFileBytes(program_.File("pc.ini"), "[Installed]\r\nMelorra=2.0.0.123\r\n"));
    const struct {
        std::string arguments;
        DWORD code;
    } runs[] = {
        {"verify --password melorra --url " + kTrusted + "cases/publish/", 0},
        {"verify --password melorra --url https://127.0.0.29:8445/cases/publish/", 1},
        {"dry-run --installed pc.ini --server " + kTrusted + "cases/publish/", 0},
        {"dry-run --installed pc.ini --server https://127.0.0.29:8446/cases/publish/", 1},
    };
    int melorra = Asked("8443", "/modules/Melorra.zip");
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments);
        ChildProcess tool;
        ASSERT_TRUE(
            tool.Start(ModuleFolder() + "NetrefitPublish.exe", run.arguments, program_.Path()));
        EXPECT_EQ(run.code, tool.Wait(120000));
    }
    // Verify's download and the dry run's question for the URL that serves it, over TLS.
    EXPECT_EQ(melorra + 2, Asked("8443", "/modules/Melorra.zip"));
}
