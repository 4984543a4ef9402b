// A stand-in for the suite's installer, packed into test and demo modules as "Setup.exe".
// It shows a small window, lists every file below its folder ("file <relative path>"), checks
// the files listed in "standin-check.txt" beside it (lines of "<md5> <relative path>") against
// their digests, writes what it found to
// %TEMP%\NetrefitStandin.log (outside the work folder, which the upgrade deletes), and posts the
// installer notice to the upgrade's window.
// "standin.ini" beside it may set [Notice] WParam and LParam (default 1 and 2).
#include <windows.h>

#include <cstdio>
#include <string>

#include "hashgate/Md5.h"

namespace {

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string FileDigest(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string();
    netrefit::Md5Context context;
    netrefit::Md5Init(&context);
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        netrefit::Md5Update(&context, chunk, got);
    }
    std::fclose(file);
    unsigned char digest[16];
    netrefit::Md5Final(digest, &context);
    char text[33];
    netrefit::Md5DigestToText(digest, text);
    return text;
}

// Every file below folder as "file <relative path>" lines, as they stand when the installer starts.
void ListFiles(const std::string& folder, const std::string& prefix, std::string* report) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((folder + prefix + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(folder, prefix + name + "\\", report);
        } else {
            *report += "file " + prefix + name + "\n";
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
}

// Counts the listed files that are absent or differ from their digest.
int CountMissing(const std::string& folder, std::string* report) {
    FILE* list = std::fopen((folder + "standin-check.txt").c_str(), "r");
    if (list == nullptr) {
        *report += "no check list\n";
        return 0;
    }
    int missing = 0;
    char line[MAX_PATH];
    while (std::fgets(line, sizeof(line), list) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t blank = text.find(' ');
        if (blank == std::string::npos) continue;
        std::string expected = text.substr(0, blank), name = text.substr(blank + 1);
        bool same = FileDigest(folder + name) == expected;
        *report += (same ? "same " : "differs ") + name + "\n";
        missing += same ? 0 : 1;
    }
    std::fclose(list);
    return missing;
}

void WriteLog(const std::string& text) {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    FILE* log = std::fopen((std::string(temp) + "NetrefitStandin.log").c_str(), "wb");
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
    ListFiles(folder, "", &report);
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
