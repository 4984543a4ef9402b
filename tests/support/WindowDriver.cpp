#include "support/WindowDriver.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "support/TestFiles.h"

namespace netrefit::test {

std::string WindowText(HWND window) {
    char buffer[4096] = {};
    // WM_GETTEXT rather than GetWindowText, which does not read other processes' controls.
    ::SendMessageA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::string ItemText(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    return item ? WindowText(item) : std::string();
}

std::wstring WideWindowText(HWND window) {
    wchar_t buffer[4096] = {};
    ::SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::wstring WideItemText(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    return item ? WideWindowText(item) : std::wstring();
}

namespace {
struct EnumState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    if (WindowProcess(window) == state->processId && ::IsWindowVisible(window)) {
        state->windows.push_back(window);
    }
    return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId) {
    EnumState state{processId ? processId : ::GetCurrentProcessId(), {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs) {
            return false;
        }
        ::Sleep(10);
    }
    return true;
}

namespace {
// Polls the windows listed by windows() until match accepts one; null after timeoutMs.
HWND WaitForFirst(const std::function<std::vector<HWND>()>& windows,
                  const std::function<bool(HWND)>& match,
                  DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : windows()) {
                if (match(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}
}  // namespace

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs, DWORD processId) {
    return WaitForFirst([&] { return TopLevelWindows(processId); }, match, timeoutMs);
}

HWND WaitForDialog(const std::string& title, int controlId, DWORD timeoutMs) {
    return WaitForWindow(
        [&](HWND window) {
            return WindowText(window) == title && ::GetDlgItem(window, controlId) != nullptr;
        },
        timeoutMs);
}

std::string MessageBoxText(HWND box) {
    return ItemText(box, 0xFFFF);
}

HWND WaitForMessageBox(const std::string& textPart, DWORD timeoutMs) {
    return WaitForWindow(
        [&](HWND window) {
            HWND text = ::GetDlgItem(window, 0xFFFF);
            return text && WindowText(text).find(textPart) != std::string::npos;
        },
        timeoutMs);
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(window); }, timeoutMs);
}

void PressButton(HWND dialog, int id) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void PressKey(HWND dialog, WPARAM key) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
    HWND focus = info.hwndFocus ? info.hwndFocus : dialog;
    ::PostMessageA(focus, WM_KEYDOWN, key, 0);
    ::PostMessageA(focus, WM_KEYUP, key, 0xC0000000);
}

namespace {
bool WriteBitmap(const std::string& path, HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    if (!::GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), &pixels[0],
                     reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS)) {
        return false;
    }
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes += pixels;
    return WriteFileBytes(path, bytes);
}
}  // namespace

bool SaveWindowPicture(HWND window, const std::string& bmpPath) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect;
    if (!::GetWindowRect(window, &rect)) {
        return false;
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    // The screen holds what the user sees, child controls and message boxes included.
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    bool written = WriteBitmap(bmpPath, memory, bitmap, width, height);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written;
}

std::string SaveScreenshot(HWND window, const std::string& name) {
    std::string folder = ModuleFolder() + "..\\screenshots\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + name + ".bmp";
    return SaveWindowPicture(window, path) ? path : std::string();
}

namespace {

BOOL CALLBACK CollectAnyWindow(HWND window, LPARAM param) {
    if (::IsWindowVisible(window)) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    }
    return TRUE;
}

// Memory inside another process for list-view requests that carry pointers.
class RemoteBuffer {
  public:
    RemoteBuffer(HWND window, size_t size) : size_(size) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                 processId);
        if (process_ != nullptr) {
            address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        }
    }
    ~RemoteBuffer() {
        if (address_ != nullptr)
            ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            ::CloseHandle(process_);
    }
    bool Valid() const { return address_ != nullptr; }
    char* Address() const { return static_cast<char*>(address_); }
    bool Write(size_t offset, const void* data, size_t size) {
        return ::WriteProcessMemory(process_, Address() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) {
        return ::ReadProcessMemory(process_, Address() + offset, data, size, nullptr);
    }

  private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

bool QueryItem(HWND listView, RemoteBuffer& remote, int row, LVITEMA* item, char* text) {
    item->iItem = row;
    item->pszText = remote.Address() + sizeof(LVITEMA);
    item->cchTextMax = 256;
    if (!remote.Write(0, item, sizeof(*item)))
        return false;
    LRESULT ok = ::SendMessageA(listView, item->mask & LVIF_TEXT ? LVM_GETITEMTEXTA : LVM_GETITEMA,
                                row, reinterpret_cast<LPARAM>(remote.Address()));
    if (item->mask & LVIF_TEXT) {
        return remote.Read(sizeof(LVITEMA), text, 256);
    }
    return ok && remote.Read(0, item, sizeof(*item));
}

}  // namespace

DWORD WindowProcess(HWND window) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    return owner;
}

std::vector<HWND> AllTopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(&CollectAnyWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitForTopLevel(DWORD processId, const std::string& title, int controlId, DWORD timeoutMs) {
    return WaitForFirst(
        AllTopLevelWindows,
        [&](HWND window) {
            return (processId == 0 || WindowProcess(window) == processId) &&
                   WindowText(window) == title &&
                   (controlId == 0 || ::GetDlgItem(window, controlId) != nullptr);
        },
        timeoutMs);
}

bool IsMessageBox(HWND window) {
    char className[32] = "";
    ::GetClassNameA(window, className, sizeof(className));
    return std::strcmp(className, "#32770") == 0 && ::GetDlgItem(window, 0xFFFF) != nullptr;
}

HWND WaitForProcessMessageBox(DWORD processId, DWORD timeoutMs) {
    return WaitForFirst(
        AllTopLevelWindows,
        [&](HWND window) { return WindowProcess(window) == processId && IsMessageBox(window); },
        timeoutMs);
}

std::vector<std::string> ListViewColumn(HWND listView, int column) {
    std::vector<std::string> texts;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + 256);
    if (!remote.Valid())
        return texts;
    int rows = static_cast<int>(::SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iSubItem = column;
        char text[256] = "";
        QueryItem(listView, remote, row, &item, text);
        text[255] = '\0';
        texts.push_back(text);
    }
    return texts;
}

std::vector<int> ListViewImages(HWND listView) {
    std::vector<int> images;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + 256);
    if (!remote.Valid())
        return images;
    int rows = static_cast<int>(::SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        images.push_back(QueryItem(listView, remote, row, &item, nullptr) ? item.iImage : -1);
    }
    return images;
}

ChildProcess::~ChildProcess() {
    if (info.hProcess != nullptr)
        ::CloseHandle(info.hProcess);
    if (info.hThread != nullptr)
        ::CloseHandle(info.hThread);
}

bool ChildProcess::Start(const std::string& exe,
                         const std::string& arguments,
                         const std::string& folder) {
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info) != 0;
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
    if (info.hProcess == nullptr)
        return STILL_ACTIVE;
    if (::WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(info.hProcess, &code);
    return code;
}

void ChildProcess::Kill() {
    if (info.hProcess != nullptr && Wait(0) == STILL_ACTIVE) {
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
}

}  // namespace netrefit::test
