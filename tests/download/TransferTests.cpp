// One entry fetched over real WinINet from the loopback server: bytes, reports, the request
// itself, and every way a transfer can fail.
#include <gtest/gtest.h>

#include "download/ServerFileEntry.h"
#include "tests/download/DownloadFixture.h"

namespace netrefit::test {
namespace {

using Transfer = DownloadFixture;

constexpr int32_t kChunk = 16384;

TEST_F(Transfer, EmptyBodyGivesEmptyFileAndDeclaredSize) {
    server_.Serve("/empty.bin", HttpResponse::Ok(""));
    DownloadList list{Entry("/empty.bin", 777)};
    RunToEnd(list);

    auto reports = recorder_.Reports();
    ASSERT_EQ(4u, reports.size());
    EXPECT_EQ(FileStarted, reports[0].status);
    EXPECT_EQ(0, reports[0].a);
    EXPECT_EQ(0, reports[0].b);
    EXPECT_EQ(Progress, reports[1].status);  // the declared size, not the bytes received
    EXPECT_EQ(0, reports[1].a);
    EXPECT_EQ(777, reports[1].b);
    EXPECT_EQ(FileDone, reports[2].status);
    EXPECT_EQ(0, reports[2].a);
    EXPECT_EQ(777, reports[2].b);
    EXPECT_EQ(AllDone, reports[3].status);
    EXPECT_EQ("empty.bin", reports[3].entryName);
    EXPECT_EQ(0, reports[3].a);
    EXPECT_EQ(0, reports[3].b);
    ASSERT_TRUE(FileExists(Local("empty.bin")));
    EXPECT_EQ("", LocalBytes("empty.bin"));
    EXPECT_TRUE(DoneEventSignalled());
}

TEST_F(Transfer, SmallFileGivesExactSequence) {
    std::string body = PatternBytes(1000, 7);
    server_.Serve("/small.dat", HttpResponse::Ok(body));
    DownloadList list{Entry("/small.dat", 1000)};
    RunToEnd(list);

    auto reports = recorder_.Reports();
    ASSERT_EQ(5u, reports.size());
    EXPECT_EQ(FileStarted, reports[0].status);
    EXPECT_EQ(0, reports[0].a);
    // One chunk, then the read that finds the end: one Progress for it, then the final one.
    EXPECT_EQ(Progress, reports[1].status);
    EXPECT_EQ(1000, reports[1].a);
    EXPECT_EQ(1000, reports[1].b);
    EXPECT_EQ(Progress, reports[2].status);
    EXPECT_EQ(1000, reports[2].b);
    EXPECT_EQ(FileDone, reports[3].status);
    EXPECT_EQ(1000, reports[3].a);
    EXPECT_EQ(1000, reports[3].b);
    EXPECT_EQ(AllDone, reports[4].status);
    EXPECT_EQ(body, LocalBytes("small.dat"));
}

TEST_F(Transfer, MultiMegabyteFileArrivesWhole) {
    const int32_t size = 3 * 1024 * 1024 + 5;
    std::string body = PatternBytes(size, 11);
    HttpResponse response = HttpResponse::Ok(body);
    response.sendChunk = 10000;  // odd pieces, so reads do not line up with chunks
    server_.Serve("/big.zip", response);
    DownloadList list{Entry("/big.zip", size)};
    RunToEnd(list);

    EXPECT_EQ(body, LocalBytes("big.zip"));
    auto reports = recorder_.Reports();
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(FileStarted, reports.front().status);
    EXPECT_EQ(AllDone, reports.back().status);
    // Every Progress but the last counts the bytes received so far; no read exceeds the
    // buffer, and the first read is not reported.
    int32_t previous = 0;
    size_t progressCount = 0;
    for (size_t i = 1; i + 3 < reports.size(); ++i) {
        ASSERT_EQ(Progress, reports[i].status) << i;
        EXPECT_EQ(reports[i].a, reports[i].b);
        EXPECT_LE(reports[i].b - previous, i == 1 ? 2 * kChunk : kChunk) << i;
        EXPECT_GE(reports[i].b, previous);
        previous = reports[i].b;
        ++progressCount;
    }
    EXPECT_EQ(size, previous);
    EXPECT_GE(progressCount, static_cast<size_t>(size / kChunk));
    const Report& last = reports[reports.size() - 3];
    EXPECT_EQ(Progress, last.status);
    EXPECT_EQ(size, last.b);
    EXPECT_EQ(FileDone, reports[reports.size() - 2].status);
    EXPECT_EQ(size, reports[reports.size() - 2].a);
    EXPECT_EQ(1u, recorder_.Count(FileStarted));
    EXPECT_EQ(1u, recorder_.Count(FileDone));
}

TEST_F(Transfer, RequestIsPlainHttp10GetWithOwnUserAgent) {
    server_.Serve("/dir/sub/file.zip", HttpResponse::Ok("abc"));
    DownloadList list{Entry("/dir/sub/file.zip", 3)};
    RunToEnd(list);

    auto requests = server_.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET /dir/sub/file.zip HTTP/1.0", requests[0].requestLine);
    EXPECT_EQ("HTTP session", requests[0].Header("User-Agent"));
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
    EXPECT_FALSE(requests[0].HasHeader("Pragma")) << "modules may come from a proxy's cache";
    EXPECT_EQ("abc", LocalBytes("file.zip"));
}

// The server file and its signature come from the server itself, whatever a cache holds.
TEST_F(Transfer, ServerFileAndSignatureAskPastEveryCache) {
    server_.Serve("/Version_English.ini", HttpResponse::Ok("[Setup]\r\n"));
    server_.Serve("/Version_English.ini.sig", HttpResponse::Ok("sig"));
    RunToEnd(DownloadList{MakeServerFileEntry(server_.Url("/Version_English.ini")),
                          MakeSignatureFileEntry(server_.Url("/Version_English.ini"))});
    EXPECT_EQ(AllDone, recorder_.Statuses().back());
    auto requests = server_.Requests();
    ASSERT_EQ(2u, requests.size());
    for (const auto& request : requests) {
        EXPECT_EQ("no-cache", request.Header("Pragma")) << request.requestLine;
    }
}

TEST_F(Transfer, CanonicalTargetGoesOnTheWire) {
    server_.Serve("/b/my%20file.zip", HttpResponse::Ok("spaced"));
    DownloadList list{EntryFor("http://127.0.0.2/a/../b/./my file.zip", 6)};
    RunToEnd(list);
    EXPECT_EQ(1u, server_.RequestCount("/b/my%20file.zip"));
    EXPECT_EQ("spaced", LocalBytes("my%20file.zip"));
}

TEST_F(Transfer, QueryIsSentButCannotNameALocalFile) {
    server_.Serve("/get.zip?lang=en", HttpResponse::Ok("abc"));
    DownloadList list{Entry("/get.zip?lang=en", 3)};
    RunToEnd(list);
    ASSERT_EQ(1u, server_.RequestCount("/get.zip?lang=en"));
    // The local name is the target's last element, query included, which Windows refuses.
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
    EXPECT_EQ(0u, CountFiles(folder_.Path()));
}

TEST_F(Transfer, PortInUrlIsHonouredAndHttpsIsNeverSentInPlainText) {
    LoopbackHttpServer other(kServerAddress, 8080);
    ASSERT_TRUE(other.Start()) << "cannot bind 127.0.0.2:8080";
    other.Serve("/p.bin", HttpResponse::Ok("port"));
    server_.Serve("/p.bin", HttpResponse::Ok("wrong"));
    server_.Serve("/s.bin", HttpResponse::Ok("plain"));
    RunToEnd(DownloadList{EntryFor(other.Url("/p.bin"), 4)});
    EXPECT_EQ(AllDone, recorder_.Statuses().back());
    EXPECT_EQ("port", LocalBytes("p.bin"));
    EXPECT_EQ(0u, server_.RequestCount("/p.bin"));

    // Nothing listens on 443, and port 80 is never asked instead.
    DownloadRecorder recorder;
    Downloader downloader;
    recorder.Attach(downloader);
    downloader.SetFolder(folder_.Path());
    ASSERT_TRUE(downloader.Start(DownloadList{EntryFor("https://127.0.0.2/s.bin", 5)}));
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder.Statuses());
    EXPECT_EQ(0u, server_.RequestCount());
}

TEST_F(Transfer, CredentialsReachServerAskingForBasicAuthentication) {
    HttpResponse secret = HttpResponse::Ok("[Setup]\r\nVersion=1\r\n");
    secret.user = "UpdateAgent";
    secret.password = "Netrefit20";
    server_.Serve("/Version_English.ini", secret);
    DownloadEntry entry = Entry("/Version_English.ini", 4096);
    entry.SetCredentials("UpdateAgent", "Netrefit20");
    DownloadList list{entry};
    RunToEnd(list);

    EXPECT_EQ(AllDone, recorder_.Statuses().back());
    EXPECT_EQ("[Setup]\r\nVersion=1\r\n", LocalBytes("Version_English.ini"));
    auto requests = server_.Requests();
    ASSERT_FALSE(requests.empty());
    // "UpdateAgent:Netrefit20"
    EXPECT_EQ("Basic VXBkYXRlQWdlbnQ6TmV0cmVmaXQyMA==", requests.back().Header("Authorization"));
}

TEST_F(Transfer, CredentialsInUrlAreUsed) {
    HttpResponse secret = HttpResponse::Ok("inline");
    secret.user = "u";
    secret.password = "p";
    server_.Serve("/in.txt", secret);
    DownloadList list{EntryFor("http://u:p@127.0.0.2/in.txt", 6)};
    RunToEnd(list);
    EXPECT_EQ(AllDone, recorder_.Statuses().back());
    EXPECT_EQ("inline", LocalBytes("in.txt"));
}

TEST_F(Transfer, WrongCredentialsFail) {
    HttpResponse secret = HttpResponse::Ok("x");
    secret.user = "UpdateAgent";
    secret.password = "Netrefit20";
    server_.Serve("/v.ini", secret);
    DownloadEntry entry = Entry("/v.ini", 1);
    entry.SetCredentials("UpdateAgent", "wrong");
    DownloadList list{entry};
    RunToEnd(list);
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
    EXPECT_FALSE(FileExists(Local("v.ini")));
}

HttpResponse MovedTo(const std::string& location, int status = 302) {
    HttpResponse moved = HttpResponse::Status(status);
    if (!location.empty()) {
        moved.headers.emplace_back("Location", location);
    }
    return moved;
}

// Redirects are followed by the program, hop by hop, to at most ten; the file keeps the name
// of the URL that was asked for.
TEST_F(Transfer, RedirectTable) {
    server_.Serve("/new/place.bin", HttpResponse::Ok("moved here"));
    server_.Serve("/old.bin", MovedTo("http://127.0.0.2/new/place.bin"));
    server_.Serve("/relative.bin", MovedTo("new/place.bin", 301));
    server_.Serve("/loop.bin", MovedTo("/loop.bin"));
    server_.Serve("/ftp.bin", MovedTo("ftp://127.0.0.2/new/place.bin"));
    server_.Serve("/file.bin", MovedTo("file:///C:/windows/win.ini", 307));
    server_.Serve("/nowhere.bin", MovedTo(""));
    server_.Serve("/badport.bin", MovedTo("http://127.0.0.2:0/new/place.bin"));
    for (int i = 0; i <= 11; ++i) {
        server_.Serve("/hop" + std::to_string(i), MovedTo("/hop" + std::to_string(i + 1), 308));
    }
    server_.Serve("/hop12", HttpResponse::Ok("moved here"));
    const struct {
        const char* target;
        bool fetched;
        size_t requests;
    } cases[] = {
        {"/old.bin", true, 2},   {"/relative.bin", true, 2}, {"/hop2", true, 11},
        {"/hop1", false, 11},    {"/loop.bin", false, 11},   {"/ftp.bin", false, 1},
        {"/file.bin", false, 1}, {"/nowhere.bin", false, 1}, {"/badport.bin", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        server_.ClearRequests();
        DownloadRecorder recorder;
        Downloader downloader;
        recorder.Attach(downloader);
        downloader.SetFolder(folder_.Path());
        ASSERT_TRUE(downloader.Start(DownloadList{Entry(c.target, 10)}));
        ASSERT_TRUE(recorder.WaitEnded());
        EXPECT_EQ(c.fetched ? AllDone : Failed, recorder.Statuses().back());
        EXPECT_EQ(c.requests, server_.RequestCount());
        std::string name = std::string(c.target).substr(1);
        EXPECT_EQ(c.fetched, FileExists(Local(name)));
        if (c.fetched) {
            EXPECT_EQ("moved here", LocalBytes(name));
        }
    }
}

// Credentials written for one host go with a redirect to that host, never to another.
TEST_F(Transfer, RedirectCarriesCredentialsOnlyToTheirHost) {
    LoopbackHttpServer other(kOtherHostAddress);
    ASSERT_TRUE(other.Start()) << "cannot bind 127.0.0.30:80";
    HttpResponse secret = HttpResponse::Ok("[Setup]\r\n");
    secret.user = "UpdateAgent";
    secret.password = "Netrefit20";
    server_.Serve("/here.ini", MovedTo("/moved/here.ini"));
    server_.Serve("/moved/here.ini", secret);
    server_.Serve("/away.ini", MovedTo(other.Url("/away.ini")));
    other.Serve("/away.ini", secret);
    for (const char* target : {"/here.ini", "/away.ini"}) {
        DownloadEntry entry = Entry(target, 4096);
        entry.SetCredentials("UpdateAgent", "Netrefit20");
        DownloadRecorder recorder;
        Downloader downloader;
        recorder.Attach(downloader);
        downloader.SetFolder(folder_.Path());
        ASSERT_TRUE(downloader.Start(DownloadList{entry}));
        ASSERT_TRUE(recorder.WaitEnded());
        EXPECT_EQ(target == std::string("/here.ini") ? AllDone : Failed, recorder.Statuses().back())
            << target;
    }
    std::string sent;
    for (const HttpRequestRecord& request : server_.Requests()) {
        if (request.target == "/moved/here.ini") {
            sent = request.Header("Authorization");
        }
    }
    EXPECT_EQ("Basic VXBkYXRlQWdlbnQ6TmV0cmVmaXQyMA==", sent);
    ASSERT_LT(0u, other.RequestCount("/away.ini"));
    for (const HttpRequestRecord& request : other.Requests()) {
        EXPECT_FALSE(request.HasHeader("Authorization"));
    }
}

TEST_F(Transfer, LocalFileThatCannotBeCreatedFails) {
    server_.Serve("/f.bin", HttpResponse::Ok("data"));
    DownloadList list{Entry("/f.bin", 4)};
    RunToEnd(list, folder_.Path() + "missing\\");
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
    EXPECT_FALSE(DoneEventSignalled());
}

TEST_F(Transfer, LockedLocalFileFails) {
    server_.Serve("/locked.bin", HttpResponse::Ok("data"));
    FileHandle held(::CreateFileA(Local("locked.bin").c_str(), GENERIC_READ, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.valid());
    DownloadList list{Entry("/locked.bin", 4)};
    RunToEnd(list);
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
}

TEST_F(Transfer, FolderUrlFailsWithoutCreatingAnything) {
    for (const char* target : {"/", "/dir/"}) {
        server_.Serve(target, HttpResponse::Ok("index"));
        DownloadRecorder recorder;
        Downloader downloader;
        recorder.Attach(downloader);
        downloader.SetFolder(folder_.Path());
        ASSERT_TRUE(downloader.Start(DownloadList{Entry(target, 5)}));
        ASSERT_TRUE(recorder.WaitEnded());
        EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder.Statuses()) << target;
    }
    EXPECT_EQ(0u, CountFiles(folder_.Path()));
}

TEST_F(Transfer, PathTooLongForLocalFileIsRefusedNotShortened) {
    std::string name(200, 'n');
    server_.Serve("/" + name, HttpResponse::Ok("data"));
    std::string folder = folder_.Path() + std::string(60, 'd') + "\\";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_GE(folder.size() + name.size(), static_cast<size_t>(MAX_PATH));
    DownloadList list{Entry("/" + name, 4)};
    RunToEnd(list, folder);
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
    EXPECT_EQ(0u, CountFiles(folder));
}

TEST_F(Transfer, UrlTooLongIsRefusedWithoutRequest) {
    std::string target = "/" + std::string(3000, 'a') + ".zip";
    DownloadEntry entry = Entry(target, 4);
    EXPECT_TRUE(entry.Server().empty());
    DownloadList list{entry};
    RunToEnd(list);
    EXPECT_EQ(std::vector<DownloadStatus>{Failed}, recorder_.Statuses());
    EXPECT_EQ(0u, server_.RequestCount());
}

// A module that its first answer, or its first URL, does not deliver whole: the run still ends
// with the exact file, no partial file left, and bounded requests and bytes.
constexpr size_t kModuleSize = 1000000;
const char kTag[] = "\"v1\"";

std::string ModuleBytes() {
    return PatternBytes(kModuleSize, 21);
}

HttpResponse Tagged(std::string body) {
    HttpResponse response = HttpResponse::Ok(std::move(body));
    response.headers.emplace_back("ETag", kTag);
    response.ranges = true;
    return response;
}

HttpResponse FirstAnswerCut(size_t at, bool stall, bool ranges) {
    HttpResponse response = Tagged(ModuleBytes());
    (stall ? response.stallAfter : response.dropAfter) = at;
    response.misbehaveTimes = 1;
    response.ranges = ranges;
    return response;
}

struct RecoveryCase {
    const char* label;
    HttpResponse path;    // what /m.zip answers
    const char* pathUrl;  // the entry's URL when not the server's /m.zip
    bool mirror;          // a good copy at /mirror/m.zip is its mirror
    size_t pathRequests;  // requests for /m.zip
    double maxSent;       // body bytes the server sends in all, in module sizes
    const char* range;    // Range of the second request for /m.zip; nullptr: not checked
    bool restarts;        // the bars may go back once
};

class Recovery : public DownloadFixture, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(Recovery, EndsWithTheExactFile) {
    const RecoveryCase& c = GetParam();
    stallLimitMs_ = 2000;
    const std::string body = ModuleBytes();
    server_.Serve("/m.zip", c.path);
    server_.Serve("/mirror/m.zip", Tagged(body));
    DownloadEntry entry = ModuleEntry(c.pathUrl ? c.pathUrl : server_.Url("/m.zip"), body);
    if (c.mirror) {
        entry.SetMirrors({server_.Url("/mirror/m.zip")});
    }
    RunToEnd({entry});

    ASSERT_EQ(AllDone, recorder_.Reports().back().status);
    EXPECT_EQ(body, LocalBytes("m.zip"));
    EXPECT_EQ(1u, CountFiles(folder_.Path()));  // no partial file, no record
    EXPECT_EQ(c.pathRequests, server_.RequestCount("/m.zip"));
    EXPECT_EQ(c.mirror ? 1u : 0u, server_.RequestCount("/mirror/m.zip"));
    EXPECT_LE(server_.BodyBytesSent(), static_cast<size_t>(c.maxSent * kModuleSize));
    EXPECT_EQ(1u, recorder_.Count(FileStarted));
    if (c.range != nullptr) {
        auto requests = server_.Requests();
        ASSERT_LE(2u, requests.size());
        EXPECT_FALSE(requests[0].HasHeader("Range"));
        EXPECT_EQ(c.range, requests[1].Header("Range"));
        EXPECT_EQ(kTag, requests[1].Header("If-Range"));
    }
    int backward = 0;
    int32_t last = 0;
    for (const Report& r : recorder_.Reports()) {
        if (r.status == Progress) {
            backward += r.a < last ? 1 : 0;
            last = r.a;
            EXPECT_LE(r.b, static_cast<int32_t>(kModuleSize));
        }
    }
    EXPECT_EQ(c.restarts ? 1 : 0, backward);
    EXPECT_EQ(static_cast<int32_t>(kModuleSize), last);
}

INSTANTIATE_TEST_SUITE_P(
    Modules,
    Recovery,
    ::testing::Values(RecoveryCase{"DroppedAt60Percent", FirstAnswerCut(600000, false, true),
                                   nullptr, false, 2, 1.1, "bytes=600000-", false},
                      RecoveryCase{"RangeIgnored", FirstAnswerCut(600000, false, false), nullptr,
                                   false, 2, 1.61, "bytes=600000-", true},
                      // What WinINet held of an unfinished read when the time-out came is lost: the
                      // range starts at the bytes on disk, at most the 300000 sent.
                      RecoveryCase{"StalledThenResumed", FirstAnswerCut(300000, true, true),
                                   nullptr, false, 2, 1.1, nullptr, false},
                      RecoveryCase{"ServerErrorsThenMirror", HttpResponse::Status(503, "busy"),
                                   nullptr, true, 4, 1.01, nullptr, false},
                      RecoveryCase{"MissingThenMirror", HttpResponse::Status(404, "gone"), nullptr,
                                   true, 1, 1.01, nullptr, false},
                      RecoveryCase{"RefusedThenMirror", Tagged("unused"),
                                   "http://127.0.0.254/m.zip", true, 0, 1.0, nullptr, false},
                      RecoveryCase{"StaleThenMirror", Tagged(PatternBytes(kModuleSize, 99)),
                                   nullptr, true, 1, 2.0, nullptr, true}),
    [](const ::testing::TestParamInfo<RecoveryCase>& info) { return info.param.label; });

// Every answer drops after 40000 bytes: four of them leave 160000 bytes and their record.
class AcrossRuns : public DownloadFixture {
  protected:
    void FailFirstRun() {
        HttpResponse cut = Tagged(body_);
        cut.dropAfter = 40000;
        server_.Serve("/m.zip", cut);
        RunToEnd({ModuleEntry(server_.Url("/m.zip"), body_)});
        ASSERT_EQ(Failed, recorder_.Reports().back().status);
        ASSERT_EQ(4u, server_.RequestCount("/m.zip"));
        ASSERT_EQ(body_.substr(0, 160000), LocalBytes("m.zip.part"));
        ASSERT_TRUE(FileExists(Local("m.zip.part-info")));
        ASSERT_FALSE(FileExists(Local("m.zip")));
        recorder_.Clear();
        server_.ClearRequests();
    }

    const std::string body_ = PatternBytes(200000, 31);
};

// The run after a failed one: what the server now serves and what the server file now says.
struct SecondRunCase {
    const char* label;
    uint32_t served;     // pattern of the bytes served (31: the first run's module)
    const char* tag;     // their ETag
    uint32_t described;  // pattern of the module the server file describes
    bool damaged;        // the partial file's bytes were changed in between
    DownloadStatus end;
    std::vector<std::string> ranges;  // Range of each request; "" for none
};

class SecondRun : public AcrossRuns, public ::testing::WithParamInterface<SecondRunCase> {};

TEST_P(SecondRun, JoinsOnlyTheSameFile) {
    const SecondRunCase& c = GetParam();
    FailFirstRun();
    if (c.damaged) {
        ASSERT_TRUE(WriteFileBytes(Local("m.zip.part"), PatternBytes(160000, 34)));
    }
    const std::string served = PatternBytes(200000, c.served);
    HttpResponse response = HttpResponse::Ok(served);
    response.headers.emplace_back("ETag", c.tag);
    response.ranges = true;
    server_.Serve("/m.zip", response);
    size_t sentBefore = server_.BodyBytesSent();
    RunToEnd({ModuleEntry(server_.Url("/m.zip"), PatternBytes(200000, c.described))});

    ASSERT_EQ(c.end, recorder_.Reports().back().status);
    auto requests = server_.Requests();
    ASSERT_EQ(c.ranges.size(), requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(c.ranges[i], requests[i].Header("Range")) << i;
    }
    if (c.end != AllDone) {
        EXPECT_EQ(0u, CountFiles(folder_.Path()));  // nothing spliced, nothing kept
        return;
    }
    EXPECT_EQ(served, LocalBytes("m.zip"));
    EXPECT_EQ(1u, CountFiles(folder_.Path()));
    if (c.ranges.size() == 1 && !c.ranges[0].empty()) {
        // Only the rest was sent, and the bytes on disk were counted once, at the start.
        EXPECT_EQ(40000u, server_.BodyBytesSent() - sentBefore);
        auto reports = recorder_.Reports();
        EXPECT_EQ(FileStarted, reports[0].status);
        EXPECT_EQ(0, reports[0].a);
        EXPECT_EQ(Progress, reports[1].status);
        EXPECT_EQ(160000, reports[1].b);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modules,
    SecondRun,
    ::testing::Values(
        SecondRunCase{"GoesOn", 31, kTag, 31, false, AllDone, {"bytes=160000-"}},
        // The server file names other digests: the old bytes go before anything is asked.
        SecondRunCase{"ModuleReplaced", 32, "\"v2\"", 32, false, AllDone, {""}},
        // Changed behind the same digests: If-Range keeps the new bytes from being joined, and
        // whole they are a stale copy.
        SecondRunCase{"ChangedUnderTheSameDigests",
                      33,
                      "\"v2\"",
                      31,
                      false,
                      Failed,
                      {"bytes=160000-"}},
        // Joined bytes that do not match are fetched once more from the start.
        SecondRunCase{"PartialDamaged", 31, kTag, 31, true, AllDone, {"bytes=160000-", ""}}),
    [](const ::testing::TestParamInfo<SecondRunCase>& info) { return info.param.label; });

TEST_F(AcrossRuns, CancelledRunLeavesNoPartialFile) {
    FailFirstRun();
    HttpResponse held = Tagged(body_);
    held.stallAfter = 10000;
    server_.Serve("/m.zip", held);
    Downloader& downloader = Start({ModuleEntry(server_.Url("/m.zip"), body_)});
    ASSERT_TRUE(server_.WaitStalled(1, 30000));
    downloader.Cancel();
    ASSERT_TRUE(recorder_.WaitEnded());
    server_.Release();
    downloader_.reset();
    EXPECT_EQ(Cancelled, recorder_.Reports().back().status);
    EXPECT_EQ(0u, CountFiles(folder_.Path()));
}

// The program's own 30 s of silence, as Wine's WinINet keeps it: a server that never answers is
// asked again (not before a good part of the 30 s has passed), and a cancel while it is asked
// again ends the run within the worker's bound.
TEST_F(Transfer, SilentServerIsAskedAgainAfterItsTimeOutAndCancelStaysPrompt) {
    HttpResponse silent = HttpResponse::Ok("never");
    silent.holdHead = true;
    server_.Serve("/m.zip", silent);
    Downloader& downloader = Start({ModuleEntry(server_.Url("/m.zip"), "x")});
    ::Sleep(15000);
    EXPECT_EQ(1u, server_.RequestCount());
    for (int i = 0; i < 900 && server_.RequestCount() < 2; ++i) {
        ::Sleep(100);
    }
    ASSERT_EQ(2u, server_.RequestCount());
    DWORD start = ::GetTickCount();
    downloader.Cancel();
    EXPECT_LE(::GetTickCount() - start, Downloader::kCancelWaitMs);
    ASSERT_TRUE(recorder_.WaitEnded());
    EXPECT_EQ(Cancelled, recorder_.Reports().back().status);
    server_.Release();
    downloader_.reset();
    EXPECT_EQ(0u, CountFiles(folder_.Path()));
}

// The waits between attempts end with a cancel, well within the 100 ms they are allowed
// (the bound here leaves room for a busy machine).
TEST_F(Transfer, CancelDuringRetryWaitEndsAtOnce) {
    server_.Serve("/m.zip", HttpResponse::Status(503, "busy"));
    Downloader& downloader = Start({ModuleEntry(server_.Url("/m.zip"), "x")});
    for (int i = 0; i < 600 && server_.RequestCount() == 0; ++i) {
        ::Sleep(50);
    }
    ASSERT_EQ(1u, server_.RequestCount());
    ::Sleep(300);  // the answer has come: the worker is in its 2 s wait
    DWORD start = ::GetTickCount();
    downloader.Cancel();
    EXPECT_LT(::GetTickCount() - start, 1000u);
    ASSERT_TRUE(recorder_.WaitEnded());
    EXPECT_EQ(Cancelled, recorder_.Reports().back().status);
    EXPECT_EQ(1u, server_.RequestCount());
    EXPECT_EQ(0u, CountFiles(folder_.Path()));
}

}  // namespace
}  // namespace netrefit::test
