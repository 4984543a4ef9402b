// Times one whole upgrade of the real program: from the press of the module list's OK to the
// start of the installer process, answering the password dialog on the way. Not a test: the
// bench-upgrade script runs it beside a shell script doing the same work.
//   NetrefitUpgradeBench PROGRAM_FOLDER PASSWORD
// Prints "ok-to-installer-ms N"; exit code 0 when the program reached the installer and ended.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "support/WindowDriver.h"

using namespace netrefit::test;

namespace {

const DWORD kRunLimitMs = 30 * 60 * 1000;

double Seconds() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool InstallerRunning() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found;
         more = ::Process32Next(snapshot, &entry)) {
        found = ::lstrcmpiA(entry.szExeFile, "Setup.exe") == 0;
    }
    ::CloseHandle(snapshot);
    return found;
}

// Prints when the progress window turns to another file, so slow stretches can be placed.
class PhaseLog {
  public:
    explicit PhaseLog(double start) : start_(start) {}
    void Look(DWORD programId) {
        for (HWND window : TopLevelWindows(programId)) {
            if (::GetDlgItem(window, 1011) == nullptr)
                continue;
            std::string now = ItemText(window, 1005).substr(0, 12) + " | " + ItemText(window, 1006);
            if (now == last_)
                return;
            last_ = now;
            std::printf("  %7.0f ms  %s\n", (Seconds() - start_) * 1000.0, now.c_str());
        }
    }

  private:
    double start_;
    std::string last_;
};

// Answers what the program shows after OK until the installer runs; false when it ends first.
bool RunToInstaller(ChildProcess& program, const std::string& password, PhaseLog& phases) {
    bool typed = false;
    while (!InstallerRunning()) {
        phases.Look(program.Id());
        if (program.Wait(0) != STILL_ACTIVE)
            return false;
        if (!typed) {
            for (HWND window : TopLevelWindows(program.Id())) {
                if (WindowText(window) != "Please Input Password")
                    continue;
                ::SendMessageA(::GetDlgItem(window, 1005), WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(password.c_str()));
                PressButton(window, IDOK);
                typed = true;
            }
        }
        ::Sleep(2);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: NetrefitUpgradeBench PROGRAM_FOLDER PASSWORD\n");
        return 2;
    }
    std::string folder = argv[1];
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    ChildProcess program;
    if (!program.Start(folder + "Netrefit.exe", "", folder)) {
        std::fprintf(stderr, "cannot start %sNetrefit.exe\n", folder.c_str());
        return 1;
    }
    HWND list = WaitForTopLevel(program.Id(), "Melorra Installer", 1014, 120000);
    if (list == nullptr) {
        std::fprintf(stderr, "the module list did not appear\n");
        program.Kill();
        return 1;
    }
    std::printf("modules: %s\n", ItemText(list, 1007).c_str());
    double start = Seconds();
    PressButton(list, 1014);
    PhaseLog phases(start);
    if (!RunToInstaller(program, argv[2], phases)) {
        std::fprintf(stderr, "the program ended before the installer started\n");
        return 1;
    }
    std::printf("ok-to-installer-ms %.0f\n", (Seconds() - start) * 1000.0);
    std::fflush(stdout);
    HWND box = WaitForProcessMessageBox(program.Id(), kRunLimitMs);
    if (box != nullptr) {
        std::printf("message: %s\n", MessageBoxText(box).c_str());
        PressButton(box, IDOK);
    }
    if (program.Wait(60000) == STILL_ACTIVE) {
        program.Kill();
        return 1;
    }
    return 0;
}
