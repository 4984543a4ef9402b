// URL cracking of RemoteFile and the value semantics of DownloadEntry.
#include <gtest/gtest.h>

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {
namespace {

TEST(RemoteFile, CracksServerObjectAndFileName) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://update.example.com/Melorra/modules/Player.zip"));
    EXPECT_EQ("http://update.example.com/Melorra/modules/Player.zip", file.Url());
    EXPECT_EQ("update.example.com", file.Server());
    EXPECT_EQ("/Melorra/modules/Player.zip", file.Object());
    EXPECT_EQ("Player.zip", file.FileName());
    EXPECT_EQ("", file.UserName());
    EXPECT_EQ("", file.Password());
}

TEST(RemoteFile, KeepsQueryInObjectAndFileName) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://h/a/b.zip?x=1&y=2"));
    EXPECT_EQ("/a/b.zip?x=1&y=2", file.Object());
    EXPECT_EQ("b.zip?x=1&y=2", file.FileName());
}

// Through the canonicaliser: what each URL reaches, and that one that cannot be fetched still
// names its file (so that its download fails rather than vanishing from the list).
TEST(RemoteFile, KeepsSchemeAndPortAndTellsWhatCanBeFetched) {
    const struct {
        const char* url;
        const char* server;
        uint16_t port;
        bool secure;
        bool reachable;
    } cases[] = {
        {"https://h.example:8443/x/y.ini", "h.example", 8443, true, true},
        {"https://h.example/x/y.ini", "h.example", 443, true, true},
        {"http://h.example:8080/x/y.ini", "h.example", 8080, false, true},
        {"HTTPS://h.example/x/y.ini", "h.example", 443, true, true},
        {"ftp://h.example/x/y.ini", "h.example", 0, false, false},
        {"http://h.example:0/x/y.ini", "h.example", 0, false, false},
        {"http://h.example:abc/x/y.ini", "h.example", 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        RemoteFile file;
        ASSERT_TRUE(file.SetUrl(c.url));
        EXPECT_EQ(c.server, file.Server());
        EXPECT_EQ(c.reachable, file.Reachable());
        if (c.reachable) {
            EXPECT_EQ(c.port, file.Port());
            EXPECT_EQ(c.secure, file.Secure());
        }
        EXPECT_EQ("/x/y.ini", file.Object());
        EXPECT_EQ("y.ini", file.FileName());
    }
}

TEST(RemoteFile, ResolvesDotSegmentsAndEscapesUnsafeCharacters) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://h/a/../b/./my file.zip"));
    EXPECT_EQ("/b/my%20file.zip", file.Object());
    EXPECT_EQ("my%20file.zip", file.FileName());
}

TEST(RemoteFile, CracksCredentialsAndSetCredentialsReplacesThem) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://someone:secret@h/f.txt"));
    EXPECT_EQ("someone", file.UserName());
    EXPECT_EQ("secret", file.Password());
    EXPECT_EQ("h", file.Server());
    file.SetCredentials("UpdateAgent", "Netrefit20");
    EXPECT_EQ("UpdateAgent", file.UserName());
    EXPECT_EQ("Netrefit20", file.Password());
    EXPECT_EQ("/f.txt", file.Object());
}

TEST(RemoteFile, FolderUrlKeepsPathFindFileNameResult) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://h/"));
    EXPECT_EQ("/", file.Object());
    EXPECT_EQ("/", file.FileName());  // no element after a separator: the text itself
    ASSERT_TRUE(file.SetUrl("http://h/dir/sub/"));
    EXPECT_EQ("sub/", file.FileName());
}

TEST(RemoteFile, RefusesTooLongUrlAndLeavesNothingCracked) {
    RemoteFile file;
    ASSERT_TRUE(file.SetUrl("http://h/first.zip"));
    std::string longUrl = "http://h/" + std::string(2100, 'a') + ".zip";
    EXPECT_FALSE(file.SetUrl(longUrl));
    EXPECT_EQ(longUrl, file.Url());
    EXPECT_EQ("", file.Server());
    EXPECT_EQ("", file.Object());
    EXPECT_EQ("", file.FileName());
}

TEST(RemoteFile, RefusesUrlThatGrowsTooLongWhenEscaped) {
    RemoteFile file;
    std::string url = "http://h/a" + std::string(1000, ' ') + "b";  // 3011 once escaped
    ASSERT_LT(url.size(), 2083u);
    EXPECT_FALSE(file.SetUrl(url));
    EXPECT_EQ("", file.Object());
}

TEST(RemoteFile, RefusesTooLongHostName) {
    RemoteFile file;
    EXPECT_FALSE(file.SetUrl("http://" + std::string(300, 'h') + "/f.zip"));
    EXPECT_EQ("", file.Server());
    EXPECT_EQ("", file.FileName());
}

TEST(RemoteFile, RefusesTextThatIsNoUrl) {
    RemoteFile file;
    EXPECT_FALSE(file.SetUrl("not a url"));
    EXPECT_FALSE(file.SetUrl(""));
    EXPECT_EQ("", file.Server());
}

TEST(DownloadEntry, StartsEmptyAndCopiesEveryField) {
    DownloadEntry entry;
    EXPECT_EQ(0, entry.Size());
    EXPECT_EQ(0, entry.AlreadyDownloaded());
    EXPECT_EQ("", entry.Name());
    ASSERT_TRUE(entry.SetUrl("http://u:p@h/d/m.zip"));
    entry.SetSize(1234);
    entry.SetName("Module");
    entry.SetLocalPath("C:\\dl\\m.zip");
    entry.SetAlreadyDownloaded(1);
    entry.SetMd5("0123456789abcdef0123456789abcdef");
    DownloadList list{entry};
    DownloadList copy = list;
    const DownloadEntry& c = copy[0];
    EXPECT_EQ("http://u:p@h/d/m.zip", c.Url());
    EXPECT_EQ("h", c.Server());
    EXPECT_EQ("/d/m.zip", c.Object());
    EXPECT_EQ("u", c.UserName());
    EXPECT_EQ("p", c.Password());
    EXPECT_EQ("m.zip", c.FileName());
    EXPECT_EQ(1234, c.Size());
    EXPECT_EQ("Module", c.Name());
    EXPECT_EQ("C:\\dl\\m.zip", c.LocalPath());
    EXPECT_EQ(1, c.AlreadyDownloaded());
    EXPECT_EQ("0123456789abcdef0123456789abcdef", c.Md5());
}

}  // namespace
}  // namespace netrefit
