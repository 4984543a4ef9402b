// The program itself, started twice: one copy at a time, the second bringing the first forward.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"
#include "support/WindowDriver.h"

namespace netrefit {
namespace {

constexpr char kTitle[] = "Melorra Installer";

class Program {
  public:
    explicit Program(const std::string& folder, const std::string& switches = "") {
        std::string command = "\"" + test::ModuleFolder() + "Netrefit.exe\" " + switches;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        started_ = ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                    folder.c_str(), &startup, &info_) != FALSE;
    }
    ~Program() {
        if (started_) {
            if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(info_.hProcess, 99);
                ::WaitForSingleObject(info_.hProcess, INFINITE);
            }
            ::CloseHandle(info_.hThread);
            ::CloseHandle(info_.hProcess);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it has not ended within the wait.
    DWORD WaitExit(DWORD timeoutMs) {
        ::WaitForSingleObject(info_.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    // Its first visible window titled like the program (main window or a message box).
    HWND WaitForTitledWindow() {
        return test::WaitForWindow([](HWND w) { return test::WindowText(w) == kTitle; },
                                   test::kWindowWait, Id());
    }

  private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

// A window of the test's own that holds the foreground until the second copy takes it away.
class ForegroundWindow {
  public:
    ForegroundWindow() {
        window_ =
            ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "test foreground", WS_POPUP | WS_VISIBLE, 10,
                              10, 200, 50, nullptr, nullptr, nullptr, nullptr);
        ::SetForegroundWindow(window_);
        Pump();
    }
    ~ForegroundWindow() { ::DestroyWindow(window_); }
    HWND Get() const { return window_; }
    static void Pump() {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageA(&message);
        }
    }

  private:
    HWND window_ = nullptr;
};

DWORD ForegroundProcess() {
    DWORD process = 0;
    ::GetWindowThreadProcessId(::GetForegroundWindow(), &process);
    return process;
}

TEST(Startup, SecondCopyExitsAtOnceAndBringsTheFirstForward) {
    test::TempDir folder;
    Program first(folder.Path());
    ASSERT_TRUE(first.Started());
    HWND firstWindow = first.WaitForTitledWindow();
    ASSERT_NE(firstWindow, nullptr) << "the first copy shows no window";

    ForegroundWindow ours;
    ASSERT_EQ(::GetForegroundWindow(), ours.Get());
    ::SetWindowPos(ours.Get(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    Program second(folder.Path());
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitExit(test::kWindowWait), 0u);
    EXPECT_TRUE(test::WaitUntil([&] { return ForegroundProcess() == first.Id(); }))
        << "the first copy's window was not brought forward";
    EXPECT_TRUE(test::TopLevelWindows(second.Id()).empty());
    EXPECT_EQ(first.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));

    // With a switch, the refusal has its own code and its line in the log.
    Program quiet(folder.Path(), "/quiet /log=second.log");
    EXPECT_EQ(quiet.WaitExit(test::kWindowWait), 1618u);
    std::string log;
    EXPECT_TRUE(test::ReadFileBytes(folder.File("second.log"), &log));
    EXPECT_NE(log.find("Z Another copy of the program is running\r\n"), std::string::npos) << log;
}

TEST(Startup, StartingAgainAfterTheFirstCopyEndedIsNotRefused) {
    test::TempDir folder;
    {
        Program first(folder.Path());
        ASSERT_TRUE(first.Started());
        ASSERT_NE(first.WaitForTitledWindow(), nullptr);
    }  // ended by force: the system closes its mutex handle
    Program again(folder.Path());
    ASSERT_TRUE(again.Started());
    EXPECT_NE(again.WaitForTitledWindow(), nullptr);
    EXPECT_EQ(again.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));
}

TEST(Startup, MutexNamedAfterTheTitleMarksTheRunningCopy) {
    test::TempDir folder;
    Program first(folder.Path());
    ASSERT_TRUE(first.Started());
    ASSERT_NE(first.WaitForTitledWindow(), nullptr);
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, kTitle);
    EXPECT_NE(mutex, nullptr);
    if (mutex) {
        // Never owned: it only marks presence.
        EXPECT_EQ(::WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }
}

}  // namespace
}  // namespace netrefit
