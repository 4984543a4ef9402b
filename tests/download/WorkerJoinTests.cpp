// The owner of a worker waits for it while the worker is still reporting to the owner's windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/WorkerThread.h"
#include "support/WindowDriver.h"

using netrefit::WorkerThread;
using netrefit::test::WindowText;

namespace {

const UINT kPosted = WM_APP + 7;

struct MessageWindow {
    HWND handle =
        ::CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~MessageWindow() { ::DestroyWindow(handle); }
};

}  // namespace

TEST(WorkerThread, JoinAnswersWhatTheWorkerSendsMeanwhile) {
    MessageWindow window;
    ASSERT_NE(nullptr, window.handle);
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&] {
        // A report sent while the owner already waits: a wait that answered nothing would
        // leave both threads stuck until the timeout.
        ::SendMessageA(window.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("reported"));
        ::SendMessageA(window.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("reported twice"));
        return 0u;
    }));
    EXPECT_TRUE(worker.Join(30000));
    EXPECT_EQ("reported twice", WindowText(window.handle));
    EXPECT_FALSE(worker.Running());
}

TEST(WorkerThread, JoinLeavesPostedMessagesForTheOwnersLoop) {
    MessageWindow window;
    ASSERT_NE(nullptr, window.handle);
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&] {
        ::PostMessageA(window.handle, kPosted, 41, 0);
        ::SendMessageA(window.handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("sent"));
        return 0u;
    }));
    EXPECT_TRUE(worker.Join(30000));
    EXPECT_EQ("sent", WindowText(window.handle));
    MSG message = {};
    ASSERT_TRUE(::PeekMessageA(&message, window.handle, kPosted, kPosted, PM_REMOVE));
    EXPECT_EQ(41u, message.wParam);
}

TEST(WorkerThread, JoinWithTimeoutReportsAWorkerStillRunning) {
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WorkerThread worker;
    // The body asks about its own thread first: that must already be known when it begins.
    bool sawItselfRunning = false;
    DWORD idSeen = 0;
    ASSERT_TRUE(worker.Start([&] {
        sawItselfRunning = worker.Running();
        idSeen = worker.Id();
        ::WaitForSingleObject(release, INFINITE);
        return 7u;
    }));
    EXPECT_FALSE(worker.Join(0));
    EXPECT_TRUE(worker.Running());
    const DWORD id = worker.Id();
    ::SetEvent(release);
    EXPECT_TRUE(worker.Join(30000));
    EXPECT_TRUE(sawItselfRunning);
    EXPECT_EQ(id, idSeen);
    EXPECT_EQ(7u, worker.ExitCode());
    ::CloseHandle(release);
}
