// Runs Netrefit.exe and clicks through its windows as a user who accepts every step would,
// saving a picture of every window it meets. Used by the demo when no display is available.
//   NetrefitAutopilot PROGRAM_FOLDER PICTURE_FOLDER PASSWORD
// Exit code 0 when the program ran to its end, 1 when it had to be stopped, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "support/WindowDriver.h"

using namespace netrefit::test;

namespace {

const DWORD kRunLimitMs = 10 * 60 * 1000;

std::string Slug(const std::string& title) {
    std::string slug;
    for (char c : title) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        slug += plain ? c : '-';
    }
    return slug.substr(0, 40);
}

class Autopilot {
  public:
    Autopilot(std::string pictures, std::string password)
        : pictures_(std::move(pictures)), password_(std::move(password)) {}

    // One look at the screen: every new window is pictured and answered.
    void Step(DWORD programId) {
        for (HWND window : AllTopLevelWindows()) {
            std::string title = WindowText(window);
            if (WindowProcess(window) != programId && title != "Melorra Setup")
                continue;
            if (!seen_.insert(window).second)
                continue;
            ::Sleep(500);  // let it paint
            Picture(window, title);
            Answer(window);
        }
    }

  private:
    void Picture(HWND window, const std::string& title) {
        char name[64];
        std::snprintf(name, sizeof(name), "%02d-", ++count_);
        std::string path = pictures_ + name + Slug(title) + ".bmp";
        bool saved = SaveWindowPicture(window, path);
        std::printf("window \"%s\"%s%s\n", title.c_str(), saved ? " -> " : "",
                    saved ? path.c_str() : "");
    }

    void Answer(HWND window) {
        if (IsMessageBox(window)) {
            std::printf("  message: %s\n", MessageBoxText(window).c_str());
            PressButton(window, ::GetDlgItem(window, IDOK) != nullptr ? IDOK : IDYES);
        } else if (IsPasswordPrompt(window)) {
            ::SendMessageA(::GetDlgItem(window, 1005), WM_SETTEXT, 0,
                           reinterpret_cast<LPARAM>(password_.c_str()));
            std::printf("  typed the password\n");
            PressButton(window, IDOK);
        } else if (::GetDlgItem(window, 1006) != nullptr && ::GetDlgItem(window, 1014) != nullptr) {
            std::printf("  modules: %s\n", ItemText(window, 1007).c_str());
            ::Sleep(1000);
            PressButton(window, 1014);
        } else if (::GetDlgItem(window, 1023) != nullptr) {
            PressButton(window, IDCANCEL);  // reinstall
        }
    }

    // Found by its controls: its title is translated.
    static bool IsPasswordPrompt(HWND window) {
        char kind[16] = "";
        ::GetClassNameA(::GetDlgItem(window, 1005), kind, sizeof(kind));
        return _stricmp(kind, "Edit") == 0 && ::GetDlgItem(window, IDOK) != nullptr;
    }

    std::string pictures_;
    std::string password_;
    std::set<HWND> seen_;
    int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: NetrefitAutopilot PROGRAM_FOLDER PICTURE_FOLDER PASSWORD\n");
        return 2;
    }
    std::string folder = argv[1];
    std::string pictures = argv[2];
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    if (!pictures.empty() && pictures.back() != '\\')
        pictures += '\\';
    ::CreateDirectoryA(pictures.c_str(), nullptr);

    ChildProcess program;
    if (!program.Start(folder + "Netrefit.exe", "", folder)) {
        std::fprintf(stderr, "cannot start %sNetrefit.exe\n", folder.c_str());
        return 1;
    }
    Autopilot pilot(pictures, argv[3]);
    DWORD start = ::GetTickCount();
    while (program.Wait(100) == STILL_ACTIVE) {
        pilot.Step(program.Id());
        std::fflush(stdout);
        if (::GetTickCount() - start > kRunLimitMs) {
            std::printf("the program did not end in time; stopped\n");
            program.Kill();
            return 1;
        }
    }
    std::printf("Netrefit ended with exit code %lu\n", program.Wait(0));
    return 0;
}
