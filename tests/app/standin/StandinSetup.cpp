// A stand-in for the suite's installer, packed into test and demo modules as "Setup.exe".
// It shows a small window, lists every file below its folder ("file <relative path>"), checks
// the files listed in "standin-check.txt" beside it (lines of "<md5> <relative path>") against
// their digests, writes what it found to
// %TEMP%\NetrefitStandin.log (outside the work folder, which the upgrade deletes), and posts the
// installer notice to the upgrade's window.
// "standin.ini" beside it may set [Notice] WParam and LParam (default 1 and 2).
// The environment variable STANDIN_NOTICE chooses how the notice is given:
//   post (default), send      by the stand-in itself, posted or sent;
//   none                      not at all;
//   helper-post, helper-send, helper-none
//                             by a helper process, as bootstrapper installers do: the stand-in
//                             starts a copy of itself from %TEMP% and ends; the helper waits
//                             until the stand-in has ended, then, while an event named
//                             "NetrefitStandinRelease" exists, until it is set, and only then
//                             gives the notice (or none). It appends its steps to the log.
// STANDIN_BREAKAWAY=1 starts the helper outside any job of the stand-in's.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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
    if (file == nullptr)
        return std::string();
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
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
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
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        size_t blank = text.find(' ');
        if (blank == std::string::npos)
            continue;
        std::string expected = text.substr(0, blank), name = text.substr(blank + 1);
        bool same = FileDigest(folder + name) == expected;
        *report += (same ? "same " : "differs ") + name + "\n";
        missing += same ? 0 : 1;
    }
    std::fclose(list);
    return missing;
}

std::string TempFolder() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return temp;
}

// A new log ("wb") by the stand-in, appended to ("ab") by its helper.
void WriteLog(const std::string& text, const char* mode = "wb") {
    FILE* log = std::fopen((TempFolder() + "NetrefitStandin.log").c_str(), mode);
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
    if (window == nullptr)
        return;
    ::CreateWindowA("STATIC", "Installing Melorra (demonstration installer)...",
                    WS_CHILD | WS_VISIBLE, 16, 24, 320, 20, window, nullptr, instance, nullptr);
    ::SetTimer(window, 1, 1500, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::DispatchMessageA(&msg);
    }
}

// The notice as kind says ("post", "send" or "none") to the upgrade's window, if there is one.
struct Notice {
    std::string kind;
    UINT wParam;
    UINT lParam;
    HWND upgrade;

    Notice(const std::string& how, UINT w, UINT l)
        : kind(how), wParam(w), lParam(l), upgrade(::FindWindowA(nullptr, "Melorra Installer")) {}

    std::string LogLine() const {
        if (kind == "none") {
            return "notice none\n";
        }
        char line[96];
        std::snprintf(line, sizeof(line), "notice %u %u to %s\n", wParam, lParam,
                      upgrade != nullptr ? "window" : "nobody");
        return line;
    }
    void Give() const {
        if (kind == "none" || upgrade == nullptr) {
            return;
        }
        UINT notice = ::RegisterWindowMessageA("TAVRIN_UPDATE_AGENT");
        if (kind == "send") {
            ::SendMessageA(upgrade, notice, wParam, lParam);
        } else {
            ::PostMessageA(upgrade, notice, wParam, lParam);
        }
    }
};

std::string Variable(const char* name) {
    char value[64] = "";
    DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? value : "";
}

// A copy of this program outside the extraction folder, which the upgrade removes while the
// helper may still run.
std::string HelperCopy() {
    char own[MAX_PATH];
    ::GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string copy = TempFolder() + "NetrefitStandinHelper.exe";
    if (::CopyFileA(own, copy.c_str(), FALSE)) {
        return copy;
    }
    // The fixed name is still running from an earlier test.
    copy =
        TempFolder() + "NetrefitStandinHelper" + std::to_string(::GetCurrentProcessId()) + ".exe";
    return ::CopyFileA(own, copy.c_str(), FALSE) ? copy : std::string();
}

// Starts the helper with a handle to this process, which it waits on; returns the log line.
std::string StartHelper(const std::string& kind, UINT wParam, UINT lParam) {
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self,
                      SYNCHRONIZE, TRUE, 0);
    std::string helper = HelperCopy();
    char arguments[128];
    std::snprintf(arguments, sizeof(arguments), " --helper %lu %s %u %u",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(self)), kind.c_str(),
                  wParam, lParam);
    std::string command = "\"" + helper + "\"" + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD flags = Variable("STANDIN_BREAKAWAY") == "1" ? CREATE_BREAKAWAY_FROM_JOB : 0;
    if (helper.empty() || !::CreateProcessA(helper.c_str(), &command[0], nullptr, nullptr, TRUE,
                                            flags, nullptr, nullptr, &startup, &process)) {
        return "helper refused " + std::to_string(::GetLastError()) + "\n";
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return "helper started\n";
}

int RunHelper(char** argv) {
    HANDLE parent =
        reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::strtoul(argv[2], nullptr, 10)));
    std::string kind = argv[3];
    UINT wParam = static_cast<UINT>(std::strtoul(argv[4], nullptr, 10));
    UINT lParam = static_cast<UINT>(std::strtoul(argv[5], nullptr, 10));
    ::WaitForSingleObject(parent, INFINITE);
    ::CloseHandle(parent);
    WriteLog("helper " + std::to_string(::GetCurrentProcessId()) + " parent ended\n", "ab");
    if (HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, "NetrefitStandinRelease")) {
        ::WaitForSingleObject(release, INFINITE);
        ::CloseHandle(release);
    }
    Notice notice(kind, wParam, lParam);
    WriteLog("helper " + notice.LogLine(), "ab");
    notice.Give();
    WriteLog("helper done\n", "ab");
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc == 6 && std::string(__argv[1]) == "--helper") {
        return RunHelper(__argv);
    }
    std::string folder = OwnFolder();
    std::string report = "folder " + folder + "\n";
    ListFiles(folder, "", &report);
    int missing = CountMissing(folder, &report);
    ShowProgressWindow(instance);

    std::string ini = folder + "standin.ini";
    UINT wParam = ::GetPrivateProfileIntA("Notice", "WParam", 1, ini.c_str());
    UINT lParam = ::GetPrivateProfileIntA("Notice", "LParam", missing == 0 ? 2 : 1, ini.c_str());
    char line[32];
    std::snprintf(line, sizeof(line), "missing %d\n", missing);
    report += line;
    std::string kind = Variable("STANDIN_NOTICE");
    if (kind.compare(0, 7, "helper-") == 0) {
        report += StartHelper(kind.substr(7), wParam, lParam);
        WriteLog(report);
        return 0;
    }
    // The log is complete before the notice: the upgrade may act on it at once.
    Notice notice(kind.empty() ? "post" : kind, wParam, lParam);
    WriteLog(report + notice.LogLine());
    notice.Give();
    return 0;
}
