// The installer as a group of processes: the stand-in installer and its helper, really started,
// watched through a job object where there is one, and without one as on Windows 98 and NT 4.0.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "app/InstallerProcess.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"
#include "support/TestThreads.h"
#include "support/WindowDriver.h"

namespace netrefit {
namespace {

using test::WaitUntil;

// As the job functions answer where this program already runs in a job that allows neither
// nesting nor breakaway (Windows 7 and earlier); Wine nests jobs, so it cannot be made to.
BOOL WINAPI RefuseAssignment(HANDLE, HANDLE) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

JobFunctions RefusingJobs() {
    JobFunctions jobs = JobFunctions::FromKernel();
    jobs.assign = &RefuseAssignment;
    return jobs;
}

std::string StandinLog() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "NetrefitStandin.log";
}

std::string ReadLog() {
    std::string text;
    test::ReadFileBytes(StandinLog(), &text);
    return text;
}

bool LogHas(const std::string& part) {
    return ReadLog().find(part) != std::string::npos;
}

// The helper's process id, from its first line; 0 before it wrote one.
DWORD HelperId() {
    std::string log = ReadLog();
    size_t end = log.find(" parent ended\n");
    size_t at = end == std::string::npos ? end : log.rfind("helper ", end);
    if (at == std::string::npos) {
        return 0;
    }
    return std::strtoul(log.substr(at + 7, end - at - 7).c_str(), nullptr, 10);
}

bool Running(DWORD processId) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

// The wait for the installer, on a thread of its own, with a record of its answers. A wait that
// never ends (a failed case) is ended by releasing the helper.
class Waiter {
  public:
    Waiter(InstallerProcess& process, HANDLE release, bool noticeQueued)
        : release_(release), thread_([this, &process, noticeQueued] {
              end_ = process.WaitForEnd([this, noticeQueued] {
                  ++asked_;
                  return noticeQueued;
              });
              returned_ = true;
          }) {}
    ~Waiter() {
        if (!Returned(test::kWindowWait)) {
            ::SetEvent(release_);
        }
        thread_.join();
    }

    bool Returned(DWORD timeoutMs) {
        return WaitUntil([this] { return returned_.load(); }, timeoutMs);
    }
    InstallerEnd End() const { return end_; }
    int Asked() const { return asked_; }

  private:
    HANDLE release_;
    std::atomic<bool> returned_{false};
    std::atomic<int> asked_{0};
    InstallerEnd end_ = InstallerEnd::SetupOnly;
    test::Thread thread_;
};

class InstallerProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::DeleteFileA(StandinLog().c_str());
        // Holds the helper's notice until the test lets it go.
        release_ = ::CreateEventA(nullptr, TRUE, FALSE, "NetrefitStandinRelease");
        ASSERT_NE(nullptr, release_);
    }
    void TearDown() override {
        ::SetEvent(release_);
        // No helper of this test may still run into the next one.
        DWORD helper = HelperId();
        EXPECT_TRUE(helper == 0 || WaitUntil([&] { return !Running(helper); }));
        ::CloseHandle(release_);
        ::DeleteFileA(StandinLog().c_str());
    }

    bool StartStandin(InstallerProcess& process,
                      const std::string& notice,
                      bool breakaway = false) {
        test::ScopedEnvironment environment(
            {"STANDIN_NOTICE=" + notice,
             std::string("STANDIN_BREAKAWAY=") + (breakaway ? "1" : "0")});
        std::string standin = test::ModuleFolder() + "StandinSetup.exe";
        return process.Start(standin, "\"" + standin + "\"");
    }
    // The stand-in has ended and its helper waits to be released.
    DWORD HeldHelper() {
        EXPECT_TRUE(WaitUntil([] { return HelperId() != 0; })) << ReadLog();
        return HelperId();
    }

    HANDLE release_ = nullptr;
};

TEST_F(InstallerProcessTest, WatchedWaitLastsUntilTheHelperHasEnded) {
    InstallerProcess process;
    ASSERT_TRUE(StartStandin(process, "helper-none"));
    EXPECT_TRUE(process.Watched());
    Waiter waiter(process, release_, false);
    DWORD helper = HeldHelper();
    ASSERT_NE(0u, helper);
    // Asked again and again after Setup.exe ended: the wait goes on while the helper runs.
    ASSERT_TRUE(WaitUntil([&] { return waiter.Asked() >= 3; }));
    EXPECT_FALSE(waiter.Returned(0));
    EXPECT_TRUE(Running(helper));

    ::SetEvent(release_);
    ASSERT_TRUE(waiter.Returned(test::kWindowWait));
    EXPECT_EQ(InstallerEnd::AllProcesses, waiter.End());
    EXPECT_FALSE(Running(helper));
    EXPECT_TRUE(LogHas("helper done\n")) << ReadLog();
}

TEST_F(InstallerProcessTest, QueuedNoticeEndsTheWaitAndTheHelperRunsOn) {
    DWORD helper = 0;
    {
        InstallerProcess process;
        ASSERT_TRUE(StartStandin(process, "helper-none"));
        Waiter waiter(process, release_, true);
        ASSERT_TRUE(waiter.Returned(test::kWindowWait));
        EXPECT_EQ(InstallerEnd::NoticeQueued, waiter.End());
        EXPECT_EQ(1, waiter.Asked());
        helper = HeldHelper();
        EXPECT_TRUE(Running(helper));
    }
    // The job is closed with the object; what runs in it is not ended.
    ASSERT_NE(0u, helper);
    EXPECT_TRUE(Running(helper));
    ::SetEvent(release_);
    EXPECT_TRUE(WaitUntil([] { return LogHas("helper done\n"); })) << ReadLog();
}

TEST_F(InstallerProcessTest, HelperMayLeaveTheJob) {
    InstallerProcess process;
    ASSERT_TRUE(StartStandin(process, "helper-none", true));
    Waiter waiter(process, release_, false);
    ASSERT_TRUE(waiter.Returned(test::kWindowWait));
    EXPECT_EQ(InstallerEnd::AllProcesses, waiter.End());
    EXPECT_TRUE(LogHas("helper started\n")) << ReadLog();
    DWORD helper = HeldHelper();
    EXPECT_TRUE(helper != 0 && Running(helper)) << "it left the job, so it was not waited for";
}

TEST_F(InstallerProcessTest, WithoutAJobOnlySetupIsWaitedFor) {
    struct Case {
        const char* name;
        JobFunctions jobs;
    };
    const Case cases[] = {
        {"no job functions", JobFunctions()},
        {"assignment refused", RefusingJobs()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::ResetEvent(release_);
        ::DeleteFileA(StandinLog().c_str());
        InstallerProcess process(c.jobs);
        ASSERT_TRUE(StartStandin(process, "helper-none"));
        EXPECT_FALSE(process.Watched());
        Waiter waiter(process, release_, false);
        ASSERT_TRUE(waiter.Returned(test::kWindowWait)) << "the installer was left suspended";
        EXPECT_EQ(InstallerEnd::SetupOnly, waiter.End());
        EXPECT_EQ(0, waiter.Asked());
        EXPECT_TRUE(LogHas("missing 0\nhelper started\n")) << ReadLog();
        DWORD helper = HeldHelper();
        EXPECT_TRUE(helper != 0 && Running(helper));
        ::SetEvent(release_);
        EXPECT_TRUE(WaitUntil([&] { return !Running(helper); }));
    }
}

TEST_F(InstallerProcessTest, MissingProgramIsNotStarted) {
    const JobFunctions variants[] = {JobFunctions::FromKernel(), JobFunctions()};
    for (const JobFunctions& jobs : variants) {
        InstallerProcess process(jobs);
        std::string missing = test::ModuleFolder() + "NoSuchSetup.exe";
        EXPECT_FALSE(process.Start(missing, "\"" + missing + "\""));
        EXPECT_FALSE(process.Watched());
    }
}

}  // namespace
}  // namespace netrefit
