#include "app/InstallerProcess.h"

#include "common/MessageWait.h"

namespace netrefit {
namespace {

// How often the job is asked whether processes remain once Setup.exe has ended.
constexpr DWORD kJobPollMs = 100;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

}  // namespace

JobFunctions JobFunctions::FromKernel() {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    JobFunctions found;
    found.create = Lookup<CreateFn>(kernel, "CreateJobObjectA");
    found.assign = Lookup<AssignFn>(kernel, "AssignProcessToJobObject");
    found.query = Lookup<QueryFn>(kernel, "QueryInformationJobObject");
    found.set = Lookup<SetFn>(kernel, "SetInformationJobObject");
    return found.Available() ? found : JobFunctions();
}

DWORD NoticeWaitMs(InstallerEnd end) {
    return end == InstallerEnd::SetupOnly ? kUnwatchedNoticeWaitMs : kNoticeGraceMs;
}

InstallerProcess::InstallerProcess(const JobFunctions& jobs) : jobs_(jobs) {}

bool InstallerProcess::CreateJob() {
    if (!jobs_.Available()) {
        return false;
    }
    job_.reset(jobs_.create(nullptr, nullptr));
    if (!job_) {
        return false;
    }
    // The job only watches: a process of the installer that asks to leave it may, and nothing
    // of it is ended when this program closes the job.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!jobs_.set(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        job_.reset();
    }
    return job_.valid();
}

bool InstallerProcess::Start(const std::string& application, std::string commandLine) {
    // Suspended, so that the installer is in the job before it can start anything.
    DWORD flags = CreateJob() ? CREATE_SUSPENDED : 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags,
                          nullptr, nullptr, &startup, &info)) {
        job_.reset();
        return false;
    }
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    if (!job_) {
        return true;
    }
    // Refused where this program runs in a job of its own that allows neither nesting nor
    // breakaway: the installer then runs unwatched.
    if (!jobs_.assign(job_.get(), process_.get())) {
        job_.reset();
    }
    if (::ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) {
        // It never ran, and would never end by itself.
        ::TerminateProcess(process_.get(), ERROR_CANCELLED);
        process_.reset();
        thread_.reset();
        job_.reset();
        return false;
    }
    return true;
}

bool InstallerProcess::ActiveProcesses(DWORD* count) const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!jobs_.query(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                     sizeof(accounting), nullptr)) {
        return false;
    }
    *count = accounting.ActiveProcesses;
    return true;
}

InstallerEnd InstallerProcess::WaitForEnd(const std::function<bool()>& noticeQueued) {
    if (!WaitAnsweringSentMessages(process_.get(), INFINITE)) {
        ::WaitForSingleObject(process_.get(), INFINITE);
    }
    if (!job_) {
        return InstallerEnd::SetupOnly;
    }
    for (;;) {
        DWORD active = 0;
        if (!ActiveProcesses(&active)) {
            return InstallerEnd::SetupOnly;
        }
        if (active == 0) {
            return InstallerEnd::AllProcesses;
        }
        // An installer may leave the installed program running; once it has reported back,
        // its notice is not kept waiting for that program to be closed.
        if (noticeQueued()) {
            return InstallerEnd::NoticeQueued;
        }
        WaitAnsweringSentMessages(nullptr, kJobPollMs);
    }
}

}  // namespace netrefit
