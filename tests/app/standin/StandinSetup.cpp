// A stand-in for the suite's installer, packed into test and demo modules as "Setup.exe".
// It shows a small window, checks that the files listed in "standin-check.txt" beside it were
// unpacked, writes what it found to %TEMP%\NetrefitStandin.log (outside the work folder, which
// the upgrade deletes), and posts the installer notice to the upgrade's window.
// "standin.ini" beside it may set [Notice] WParam and LParam (default 1 and 2).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Each line of the check list is a relative path that must exist.
int CountMissing(const std::string& folder, std::string* report) {
    FILE* list = std::fopen((folder + "standin-check.txt").c_str(), "r");
    if (list == nullptr) {
        *report += "no check list\n";
        return 0;
    }
    int missing = 0;
    char line[MAX_PATH];
    while (std::fgets(line, sizeof(line), list) != nullptr) {
        std::string name = line;
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (name.empty()) continue;
        bool present = ::GetFileAttributesA((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
        *report += (present ? "present " : "missing ") + name + "\n";
        missing += present ? 0 : 1;
    }
    std::fclose(list);
    return missing;
}

void WriteLog(const std::string& text) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    FILE* log = std::fopen((std::string(temp) + "NetrefitStandin.log").c_str(), "w");
    if (log != nullptr) {
        std::fputs(text.c_str(), log);
        std::fclose(log);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        ::DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void ShowProgressWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "NetrefitStandinSetup";
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowA("NetrefitStandinSetup", "Melorra Setup",
                                  WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 200, 200, 360, 120,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return;
    ::CreateWindowA("STATIC", "Installing Melorra (demonstration installer)...",
                    WS_CHILD | WS_VISIBLE, 16, 24, 320, 20, window, nullptr, instance, nullptr);
    ::SetTimer(window, 1, 1500, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    std::string folder = OwnFolder();
    std::string report = "folder " + folder + "\n";
    int missing = CountMissing(folder, &report);
    ShowProgressWindow(instance);

    std::string ini = folder + "standin.ini";
    UINT wParam = ::GetPrivateProfileIntA("Notice", "WParam", 1, ini.c_str());
    UINT lParam = ::GetPrivateProfileIntA("Notice", "LParam", missing == 0 ? 2 : 1, ini.c_str());
    UINT notice = ::RegisterWindowMessageA("TAVRIN_UPDATE_AGENT");
    HWND upgrade = ::FindWindowA(nullptr, "Melorra Installer");
    char line[96];
    std::snprintf(line, sizeof(line), "missing %d\nnotice %u %u to %s\n", missing, wParam, lParam,
                  upgrade != nullptr ? "window" : "nobody");
    report += line;
    WriteLog(report);
    if (upgrade != nullptr) {
        // Posted, not sent: the upgrade waits for this process to end before it reads messages.
        ::PostMessageA(upgrade, notice, wParam, lParam);
    }
    return 0;
}
