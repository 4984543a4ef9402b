// A second process for the environment and lock tests: it reports its own view of the computer,
// holds cross-application locks, or shows a window, until the test tells it to end.
//
//   sysenv_helper facts OUTFILE
//   sysenv_helper hold local|global|both OUTFILE READY QUIT TITLEHEX LOCKNAME...
//   sysenv_helper windows READY QUIT dialog|class:NAME TITLEHEX [dialog|class:NAME TITLEHEX]...

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/UniqueHandle.h"
#include "inventory/AppLockRegistry.h"
#include "inventory/SystemEnvironment.h"

using namespace netrefit;

namespace {

std::string FromHex(const char* hex) {
    std::string bytes;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], '\0'};
        bytes.push_back(static_cast<char>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

bool WriteText(const char* path, const std::string& text) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Signals READY, then waits for QUIT while serving this thread's windows.
int ServeUntilQuit(const char* readyName, const char* quitName) {
    KernelHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName));
    KernelHandle quit(OpenEventA(SYNCHRONIZE, FALSE, quitName));
    if (!ready || !quit) {
        return 3;
    }
    SetEvent(ready.get());
    HANDLE waitFor = quit.get();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &waitFor, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) {
            return r == WAIT_OBJECT_0 ? 0 : 4;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

int Facts(const char* outFile) {
    const EnvironmentFacts facts = ProbeEnvironmentFacts();
    char line[128];
    std::snprintf(line, sizeof(line), "%d %u %d %d %d\n", facts.osCode, facts.language,
                  facts.isAdmin, facts.hasDoubleByteUserName, KernelNamespacesAvailable() ? 1 : 0);
    return WriteText(outFile, line) ? 0 : 2;
}

void Report(const AppLockRegistry& registry, LockKind kind, int count, std::string& out) {
    out += std::to_string(count) + "\n";
    for (size_t i = 0; i < registry.LockCount(kind); ++i) {
        const AppLock* lock = registry.Lock(kind, i);
        out += (lock->Held() ? "held " : "other ") + lock->FullName() + "\n";
    }
    for (int i = 0; i < count; ++i) {
        const char* name =
            kind == kLockLocal ? registry.LocalHolderName(i) : registry.GlobalHolderName(i);
        out += std::string("holder ") + name + "\n";
    }
}

int Hold(int argc, char** argv) {
    const std::string kind = argv[2];
    const std::string title = FromHex(argv[6]);
    AppLockRegistry registry;
    for (int i = 7; i < argc; ++i) {
        registry.AddLockName(argv[i]);
    }
    std::string out;
    if (kind == "local" || kind == "both") {
        Report(registry, kLockLocal, registry.ProbeLocalLocks(title.c_str()), out);
    }
    if (kind == "global" || kind == "both") {
        Report(registry, kLockGlobal, registry.ProbeGlobalLocks(title.c_str()), out);
    }
    if (!WriteText(argv[3], out)) {
        return 2;
    }
    return ServeUntilQuit(argv[4], argv[5]);
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog window (class "#32770") from an in-memory template with no controls and no title.
HWND CreateEmptyDialog() {
    alignas(DWORD) WORD words[12] = {};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    std::memcpy(&words[0], &style, sizeof(style));
    words[7] = 120;  // cx; words 2-6 are the extended style, item count, x and y
    words[8] = 40;   // cy; words 9-11 are the empty menu, class and title
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                      reinterpret_cast<const DLGTEMPLATE*>(words), nullptr,
                                      QuietDialogProc, 0);
}

HWND CreateClassWindow(const std::string& className) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className.c_str();
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    return CreateWindowA(className.c_str(), "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                         nullptr, nullptr, wc.hInstance, nullptr);
}

HWND CreateTitledWindow(const std::string& mode, const std::string& title) {
    HWND window = nullptr;
    if (mode == "dialog") {
        window = CreateEmptyDialog();
    } else if (mode.rfind("class:", 0) == 0) {
        window = CreateClassWindow(mode.substr(6));
    }
    if (window != nullptr && !SetWindowTextA(window, title.c_str())) {
        DestroyWindow(window);
        window = nullptr;
    }
    return window;
}

// One window per MODE TITLEHEX pair, kept until QUIT; the tests may retitle them meanwhile.
int Windows(int argc, char** argv) {
    for (int i = 4; i + 1 < argc; i += 2) {
        if (CreateTitledWindow(argv[i], FromHex(argv[i + 1])) == nullptr) {
            return 5;
        }
    }
    return ServeUntilQuit(argv[2], argv[3]);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "facts") == 0) {
        return Facts(argv[2]);
    }
    if (argc >= 8 && std::strcmp(argv[1], "hold") == 0) {
        return Hold(argc, argv);
    }
    if (argc >= 6 && argc % 2 == 0 && std::strcmp(argv[1], "windows") == 0) {
        return Windows(argc, argv);
    }
    std::fprintf(stderr, "usage: sysenv_helper facts|hold|windows ...\n");
    return 1;
}
