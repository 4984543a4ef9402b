// A failing entry in the middle of a list: one Failed, no copy of it, nothing fetched after it,
// and the copy of the entry fetched before it kept.
#include <gtest/gtest.h>

#include "tests/download/DownloadFixture.h"

namespace netrefit::test {
namespace {

struct FailureCase {
    const char* label;
    HttpResponse response;  // what the server answers for the middle entry
    const char* url;        // the middle entry's URL when not the server's
    int32_t bytesBeforeFailure;
    uint64_t maxBytes = kNoByteLimit;  // the middle entry's bound
    // Free bytes the drive reports above the margin the download keeps (-1: the real drive's).
    long long roomAboveMargin = -1;
    // A bound is noticed in the chunk that crosses it: up to one chunk more may have come.
    int32_t chunkSlack = 0;
};

class TransferFailure : public DownloadFixture,
                        public ::testing::WithParamInterface<FailureCase> {};

HttpResponse WithStatus(int status, const std::string& body) {
    return HttpResponse::Status(status, body);
}

HttpResponse Partial() {
    HttpResponse response = HttpResponse::Status(206, PatternBytes(500, 4));
    response.headers.emplace_back("Content-Range", "bytes 0-499/1000");
    return response;
}

HttpResponse DroppedMidBody() {
    HttpResponse response = HttpResponse::Ok(PatternBytes(100000, 5));
    response.dropAfter = 40000;
    return response;
}

// A body that does not say how long it is: it ends when the connection does.
HttpResponse Undeclared(size_t size) {
    HttpResponse response = HttpResponse::Ok(PatternBytes(size, 7));
    response.sendContentLength = false;
    return response;
}

FailureCase Bounded(const char* label, HttpResponse response, uint64_t maxBytes, int32_t before) {
    FailureCase c{label, std::move(response), nullptr, before};
    c.maxBytes = maxBytes;
    c.chunkSlack = before == 0 ? 0 : static_cast<int32_t>(EntryTransfer::kChunkSize);
    return c;
}

FailureCase NearlyFullDrive(long long room) {
    FailureCase c{"NearlyFullDrive", Undeclared(200000), nullptr, static_cast<int32_t>(room)};
    c.roomAboveMargin = room;
    c.chunkSlack = static_cast<int32_t>(EntryTransfer::kChunkSize);
    return c;
}

HttpResponse ShortOfDeclaredLength() {
    HttpResponse response = HttpResponse::Ok(PatternBytes(5000, 6));
    response.declaredLength = 5001;
    return response;
}

TEST_P(TransferFailure, EndsRunWithOneFailedAndNoCopy) {
    const FailureCase& c = GetParam();
    std::string first = PatternBytes(3000, 1);
    server_.Serve("/first.zip", HttpResponse::Ok(first));
    server_.Serve("/middle.zip", c.response);
    server_.Serve("/last.zip", HttpResponse::Ok("never"));
    DownloadEntry middle = c.url != nullptr ? EntryFor(c.url, 1000) : Entry("/middle.zip", 1000);
    middle.SetMaxBytes(c.maxBytes);
    DownloadList list{Entry("/first.zip", 3000), middle, Entry("/last.zip", 5)};
    if (c.roomAboveMargin >= 0) {
        // Whatever the first file took, the middle one finds this much room.
        spaceQuery_ = [&c](const std::string&, uint64_t* available) {
            *available = DiskSpaceGuard::kMargin + static_cast<uint64_t>(c.roomAboveMargin);
            return true;
        };
    }
    RunToEnd(list);

    auto reports = recorder_.Reports();
    ASSERT_FALSE(reports.empty());
    const Report& failed = reports.back();
    ASSERT_EQ(Failed, failed.status);
    EXPECT_EQ("middle.zip", failed.entryName);
    EXPECT_EQ(1u, recorder_.Count(Failed));
    EXPECT_EQ(0u, recorder_.Count(AllDone));
    EXPECT_LE(c.bytesBeforeFailure, failed.b);
    EXPECT_GE(c.bytesBeforeFailure + c.chunkSlack, failed.b);
    EXPECT_EQ(3000 + failed.b, failed.a);
    EXPECT_FALSE(FileExists(Local("middle.zip")));
    EXPECT_FALSE(FileExists(Local("last.zip")));
    EXPECT_EQ(0u, server_.RequestCount("/last.zip"));
    if (c.url != nullptr) {
        EXPECT_EQ(0u, server_.RequestCount("/middle.zip"));
    }
    EXPECT_EQ(first, LocalBytes("first.zip"));
    EXPECT_FALSE(DoneEventSignalled());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses,
    TransferFailure,
    ::testing::Values(
        FailureCase{"NotFound", WithStatus(404, "missing"), nullptr, 0},
        FailureCase{"ServerError", WithStatus(500, "broken"), nullptr, 0},
        FailureCase{"NotModified", WithStatus(304, ""), nullptr, 0},
        FailureCase{"PartialContent", Partial(), nullptr, 0},
        FailureCase{"NoContent", WithStatus(204, ""), nullptr, 0},
        FailureCase{"Refused", HttpResponse::Ok("x"), "http://127.0.0.254/middle.zip", 0},
        // Refused before any request: the server at the URL's host would have answered.
        FailureCase{"FtpScheme", HttpResponse::Ok("x"), "ftp://127.0.0.2/middle.zip", 0},
        FailureCase{"FileScheme", HttpResponse::Ok("x"), "file://127.0.0.2/middle.zip", 0},
        FailureCase{"PortZero", HttpResponse::Ok("x"), "http://127.0.0.2:0/middle.zip", 0},
        FailureCase{"PortPastRange", HttpResponse::Ok("x"), "http://127.0.0.2:65536/middle.zip", 0},
        FailureCase{"NoHost", HttpResponse::Ok("x"), "http:///middle.zip", 0},
        FailureCase{"DroppedMidBody", DroppedMidBody(), nullptr, 40000},
        FailureCase{"OneByteShort", ShortOfDeclaredLength(), nullptr, 5000},
        Bounded("DeclaredPastItsBound", HttpResponse::Ok(PatternBytes(40001, 8)), 40000, 0),
        Bounded("UndeclaredPastItsBound", Undeclared(300000), 100000, 100001),
        Bounded("UndeclaredEmptyBound", Undeclared(10), 0, 1),
        NearlyFullDrive(30000)),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

// A module that no URL delivers: one Failed after the path and every mirror, the module before
// it kept, nothing after it asked for; a partial file stays for the next run only when its
// answer named a validator.
struct ModuleFailureCase {
    const char* label;
    HttpResponse path;  // what /middle.zip answers; its mirror /mirror/middle.zip is missing
    size_t pathRequests;
    size_t partialBytes;  // bytes kept in middle.zip.part; 0: no partial file
};

class ModuleFailure : public DownloadFixture,
                      public ::testing::WithParamInterface<ModuleFailureCase> {};

HttpResponse CutEveryTime(bool stall, bool tagged) {
    HttpResponse response = HttpResponse::Ok(PatternBytes(200000, 9));
    (stall ? response.stallAfter : response.dropAfter) = 40000;
    response.ranges = true;
    if (tagged) {
        response.headers.emplace_back("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT");
    }
    return response;
}

TEST_P(ModuleFailure, EndsRunAfterEveryUrl) {
    const ModuleFailureCase& c = GetParam();
    stallLimitMs_ = 2000;
    std::string first = PatternBytes(3000, 1);
    server_.Serve("/first.zip", HttpResponse::Ok(first));
    server_.Serve("/middle.zip", c.path);
    DownloadEntry middle = ModuleEntry(server_.Url("/middle.zip"), PatternBytes(200000, 9));
    middle.SetMirrors({server_.Url("/mirror/middle.zip")});
    RunToEnd({ModuleEntry(server_.Url("/first.zip"), first), middle,
              ModuleEntry(server_.Url("/last.zip"), "never")});

    EXPECT_EQ(Failed, recorder_.Reports().back().status);
    EXPECT_EQ("middle.zip", recorder_.Reports().back().entryName);
    EXPECT_EQ(c.pathRequests, server_.RequestCount("/middle.zip"));
    EXPECT_EQ(1u, server_.RequestCount("/mirror/middle.zip"));
    EXPECT_EQ(0u, server_.RequestCount("/last.zip"));
    EXPECT_EQ(first, LocalBytes("first.zip"));
    EXPECT_FALSE(FileExists(Local("middle.zip")));
    if (c.partialBytes == 0) {
        EXPECT_EQ(1u, CountFiles(folder_.Path()));
    } else {
        // A read cut by a time-out may lose what WinINet held of it: not all of each answer.
        std::string kept = LocalBytes("middle.zip.part");
        EXPECT_LE(kept.size(), c.partialBytes);
        EXPECT_GE(kept.size(), c.partialBytes * 3 / 4);
        EXPECT_EQ(PatternBytes(200000, 9).substr(0, kept.size()), kept);
        EXPECT_TRUE(FileExists(Local("middle.zip.part-info")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modules,
    ModuleFailure,
    ::testing::Values(ModuleFailureCase{"Missing", WithStatus(404, "gone"), 1, 0},
                      ModuleFailureCase{"Forbidden", WithStatus(403, "no"), 1, 0},
                      ModuleFailureCase{"DroppedEveryTime", CutEveryTime(false, true), 4, 160000},
                      ModuleFailureCase{"StalledEveryTime", CutEveryTime(true, true), 4, 160000},
                      // Without a validator nothing can be resumed: each attempt starts again.
                      ModuleFailureCase{"DroppedWithoutValidator", CutEveryTime(false, false), 4,
                                        0}),
    [](const ::testing::TestParamInfo<ModuleFailureCase>& info) { return info.param.label; });

}  // namespace
}  // namespace netrefit::test
