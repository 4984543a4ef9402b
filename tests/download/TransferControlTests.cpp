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

using CallEnd = TransferControl::CallEnd;

// The owner closes the handles only of a call in progress, once; the worker then lets its own
// go, even when a handle opened meanwhile got one of their values.
TEST(TransferControl, UnblockClosesTheHandlesOfACallInProgressOnce) {
    TransferControl control;
    InternetTrio trio;
    ASSERT_TRUE(trio.Valid());
    HINTERNET root = trio.root.get();
    HINTERNET request = trio.request.get();
    control.TrackInternet(root, trio.connection.get(), request);
    EXPECT_FALSE(control.Unblock()) << "no call in progress";
    ASSERT_TRUE(control.EnterNetworkCall(0, 0));
    control.RequestCancel();
    EXPECT_TRUE(control.Unblock());
    EXPECT_FALSE(control.Unblock());
    EXPECT_FALSE(control.EnterNetworkCall(0, 0)) << "no call starts after a cancel";
    EXPECT_FALSE(::InternetCloseHandle(request));  // closed already
    EXPECT_FALSE(::InternetCloseHandle(root));
    EXPECT_EQ(TransferControl::CallEnd::Unblocked, control.LeaveNetworkCall());
    InternetHandle fresh(
        ::InternetOpenA("HTTP session", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    ASSERT_TRUE(fresh.valid());
    control.CloseInternet(trio.root, trio.connection, trio.request);
    EXPECT_FALSE(trio.request.valid());
    EXPECT_TRUE(::InternetCloseHandle(fresh.release())) << "closed by someone else's close";
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
