#pragma once
// Starts sysenv_helper.exe as a second process and ends it again; see SysEnvHelper.cpp.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"
#include "support/TestFiles.h"

namespace netrefit::test {

inline std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    return hex;
}

inline std::string HelperPath() {
    return ModuleFolder() + "sysenv_helper.exe";
}

// Runs the helper to its end (for commands that do not wait) and returns its exit code.
inline DWORD RunHelperToEnd(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return 0xFFFFFFFF;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

// A helper that holds something (locks, a window) from Start until Stop or destruction.
class HelperProcess {
  public:
    HelperProcess() {
        static LONG counter = 0;
        char suffix[64];
        std::snprintf(suffix, sizeof(suffix), "%lu_%ld", GetCurrentProcessId(),
                      InterlockedIncrement(&counter));
        readyName_ = std::string("NetrefitSysEnvReady_") + suffix;
        quitName_ = std::string("NetrefitSysEnvQuit_") + suffix;
        ready_.reset(CreateEventA(nullptr, TRUE, FALSE, readyName_.c_str()));
        quit_.reset(CreateEventA(nullptr, TRUE, FALSE, quitName_.c_str()));
    }
    ~HelperProcess() { Stop(); }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // "hold"/"window" commands: before the ready and quit event names go `head`, after them
    // `tail`. Returns true once the helper reports ready; false when it ended before that.
    bool Start(const std::string& command,
               const std::string& head,
               const std::string& tail,
               const std::string& program = HelperPath()) {
        std::string commandLine = "\"" + program + "\" " + command + " " + head + " " + readyName_ +
                                  " " + quitName_ + " " + tail;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            return false;
        }
        process_.reset(info.hProcess);
        KernelHandle thread(info.hThread);
        // Whichever comes first: ready, or the helper's end (a failure it reports by exit code).
        HANDLE handles[2] = {ready_.get(), process_.get()};
        return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
    }

    // Tells the helper to end and waits for it; returns its exit code.
    DWORD Stop() {
        if (!process_) {
            return exitCode_;
        }
        SetEvent(quit_.get());
        WaitForSingleObject(process_.get(), INFINITE);
        GetExitCodeProcess(process_.get(), &exitCode_);
        process_.reset();
        return exitCode_;
    }

  private:
    std::string readyName_;
    std::string quitName_;
    KernelHandle ready_;
    KernelHandle quit_;
    KernelHandle process_;
    DWORD exitCode_ = 0xFFFFFFFF;
};

}  // namespace netrefit::test
