#pragma once
// The suite's installer as the group of processes it is. Bootstrapper installers hand their
// work to a helper and end early, and the helper reports back; the end of Setup.exe alone thus
// says little. Where the system has job objects, the installer is put in one before it runs,
// so that the end of every process it starts can be seen.

#include <windows.h>

#include <functional>
#include <string>

#include "common/UniqueHandle.h"

namespace netrefit {

// Job functions, which exist from Windows 2000 on: looked up, never imported.
struct JobFunctions {
    using CreateFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCSTR);
    using AssignFn = BOOL(WINAPI*)(HANDLE, HANDLE);
    using QueryFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD, LPDWORD);
    using SetFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD);

    CreateFn create = nullptr;
    AssignFn assign = nullptr;
    QueryFn query = nullptr;
    SetFn set = nullptr;

    // This system's, all of them or none.
    static JobFunctions FromKernel();
    bool Available() const { return create && assign && query && set; }
};

// How the wait for the installer ended.
enum class InstallerEnd {
    AllProcesses,  // every process of the installer has ended
    NoticeQueued,  // Setup.exe has ended and its notice waits; helpers may still run
    SetupOnly,     // Setup.exe has ended; whether helpers still run cannot be seen
};

// How long a notice may still come after the wait: briefly once every process of the installer
// is known to have ended; otherwise long enough for a bootstrapper's helper to finish, yet the
// program never lingers five minutes after the installer's last process.
constexpr DWORD kNoticeGraceMs = 5000;
constexpr DWORD kUnwatchedNoticeWaitMs = 4 * 60 * 1000;
static_assert(kUnwatchedNoticeWaitMs < 5 * 60 * 1000 - 10000, "clean-up time must remain");
DWORD NoticeWaitMs(InstallerEnd end);

class InstallerProcess {
  public:
    explicit InstallerProcess(const JobFunctions& jobs = JobFunctions::FromKernel());
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;

    // Starts the program; false when it could not be started.
    bool Start(const std::string& application, std::string commandLine);
    // Whether every process of the installer is in the job.
    bool Watched() const { return job_.valid(); }

    // Waits for Setup.exe, then, where they can be seen, for the processes it started, until
    // noticeQueued (asked only after Setup.exe ended) says the installer has reported back.
    // Messages sent to this thread's windows are answered meanwhile.
    InstallerEnd WaitForEnd(const std::function<bool()>& noticeQueued);

  private:
    bool CreateJob();
    // False when the job cannot be asked; count is then unchanged.
    bool ActiveProcesses(DWORD* count) const;

    JobFunctions jobs_;
    KernelHandle job_;
    KernelHandle process_;
    KernelHandle thread_;
};

}  // namespace netrefit
