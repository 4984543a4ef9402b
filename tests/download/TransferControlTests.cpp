// The shared requests and handle bookkeeping between a Downloader and its worker, with real
// WinINet handles and real files: nothing closed twice, nothing left open.
#include <gtest/gtest.h>

#include "download/TransferControl.h"
#include "support/TestFiles.h"

namespace netrefit {
namespace {

struct InternetTrio {
    InternetHandle root{
        ::InternetOpenA("HTTP session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    InternetHandle connection{
        ::InternetConnectA(root.get(), "127.0.0.2", 0, "", "", INTERNET_SERVICE_HTTP, 0, 0)};
    InternetHandle request{::HttpOpenRequestA(connection.get(),
                                              "GET",
                                              "/x",
                                              "HTTP/1.0",
                                              nullptr,
                                              nullptr,
                                              INTERNET_FLAG_NO_CACHE_WRITE,
                                              0)};
    bool Valid() const { return root && connection && request; }
};

TEST(TransferControl, RequestsStartClearAndCancelStays) {
    TransferControl control;
    EXPECT_FALSE(control.PauseRequested());
    EXPECT_FALSE(control.CancelRequested());
    control.SetPause(true);
    control.RequestCancel();
    control.SetPause(false);
    EXPECT_FALSE(control.PauseRequested());
    EXPECT_TRUE(control.CancelRequested());
    control.ClearRequests();
    EXPECT_FALSE(control.CancelRequested());
}

TEST(TransferControl, AbortClosesTrackedRequestOnce) {
    TransferControl control;
    InternetTrio trio;
    ASSERT_TRUE(trio.Valid());
    HINTERNET request = trio.request.get();
    control.TrackInternet(trio.root.get(), trio.connection.get(), request);
    EXPECT_TRUE(control.AbortRequest());
    EXPECT_FALSE(control.AbortRequest());          // nothing tracked any more
    EXPECT_FALSE(::InternetCloseHandle(request));  // it is closed already
    control.CloseInternet(trio.root, trio.connection, trio.request);
    EXPECT_FALSE(trio.request.valid());
    EXPECT_FALSE(trio.root.valid());
}

TEST(TransferControl, AbortWithoutRequestDoesNothing) {
    TransferControl control;
    EXPECT_FALSE(control.AbortRequest());
    InternetTrio trio;
    ASSERT_TRUE(trio.Valid());
    control.TrackInternet(trio.root.get(), nullptr, nullptr);
    EXPECT_FALSE(control.AbortRequest());
    control.CloseInternet(trio.root, trio.connection, trio.request);
}

TEST(TransferControl, CloseAbandonedClosesEverythingTracked) {
    test::TempDir dir;
    std::string path = dir.File("left.bin");
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    InternetTrio trio;
    ASSERT_TRUE(trio.Valid());
    TransferControl control;
    control.TrackFile(file);
    control.TrackInternet(trio.root.get(), trio.connection.get(), trio.request.get());
    // As after a worker was ended by force: its owners never run.
    HINTERNET root = trio.root.release();
    HINTERNET connection = trio.connection.release();
    HINTERNET request = trio.request.release();

    control.CloseAbandoned();
    EXPECT_TRUE(::DeleteFileA(path.c_str()));  // no handle keeps it
    EXPECT_FALSE(::InternetCloseHandle(request));
    EXPECT_FALSE(::InternetCloseHandle(connection));
    EXPECT_FALSE(::InternetCloseHandle(root));
}

TEST(TransferControl, HandlesClosedByTheWorkerAreForgotten) {
    test::TempDir dir;
    TransferControl control;
    FileHandle first(::CreateFileA(dir.File("a.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(first.valid());
    control.TrackFile(first.get());
    control.CloseFile(first);
    EXPECT_FALSE(first.valid());
    // A later handle may get the same value: the bookkeeping must not close it.
    FileHandle second(::CreateFileA(dir.File("b.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(second.valid());
    InternetTrio trio;
    ASSERT_TRUE(trio.Valid());
    control.TrackInternet(trio.root.get(), trio.connection.get(), trio.request.get());
    control.CloseInternet(trio.root, trio.connection, trio.request);
    control.CloseAbandoned();
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(second.get(), "x", 1, &written, nullptr));
    EXPECT_EQ(1u, written);
}

}  // namespace
}  // namespace netrefit
