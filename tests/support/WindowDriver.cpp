#include "support/WindowDriver.h"

#include <commctrl.h>

#include <cstdio>

namespace netrefit::test {
namespace {

struct EnumState {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    EnumState* state = reinterpret_cast<EnumState*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (::IsWindowVisible(window) && (state->processId == 0 || owner == state->processId)) {
        state->windows->push_back(window);
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
        if (address_ != nullptr) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_ != nullptr) ::CloseHandle(process_);
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
    if (!remote.Write(0, item, sizeof(*item))) return false;
    LRESULT ok = ::SendMessageA(listView, item->mask & LVIF_TEXT ? LVM_GETITEMTEXTA : LVM_GETITEMA,
                                row, reinterpret_cast<LPARAM>(remote.Address()));
    if (item->mask & LVIF_TEXT) {
        return remote.Read(sizeof(LVITEMA), text, 256);
    }
    return ok && remote.Read(0, item, sizeof(*item));
}

}  // namespace

std::vector<HWND> VisibleTopLevelWindows(DWORD processId) {
    std::vector<HWND> windows;
    EnumState state = {processId, &windows};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return windows;
}

HWND FindTopLevel(DWORD processId, const std::string& title, int controlId) {
    for (HWND window : VisibleTopLevelWindows(processId)) {
        if (WindowText(window) == title &&
            (controlId == 0 || ::GetDlgItem(window, controlId) != nullptr)) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForTopLevel(DWORD processId, const std::string& title, int controlId, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    do {
        if (HWND window = FindTopLevel(processId, title, controlId)) return window;
        ::Sleep(50);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (::IsWindow(window) && ::IsWindowVisible(window)) {
        if (::GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(50);
    }
    return true;
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string ControlText(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    return control != nullptr ? WindowText(control) : std::string();
}

bool IsMessageBox(HWND window) {
    char className[32] = "";
    ::GetClassNameA(window, className, sizeof(className));
    return std::string(className) == "#32770" && ::GetDlgItem(window, 0xFFFF) != nullptr;
}

std::string MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    do {
        for (HWND window : VisibleTopLevelWindows(processId)) {
            if (IsMessageBox(window)) return window;
        }
        ::Sleep(50);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

void Click(HWND dialog, int controlId) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, controlId)));
}

std::vector<std::string> ListViewColumn(HWND listView, int column) {
    std::vector<std::string> texts;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + 256);
    if (!remote.Valid()) return texts;
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
    if (!remote.Valid()) return images;
    int rows = static_cast<int>(::SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        images.push_back(QueryItem(listView, remote, row, &item, nullptr) ? item.iImage : -1);
    }
    return images;
}

bool SaveWindowPicture(HWND window, const std::string& bmpPath) {
    RECT rect;
    if (!::GetWindowRect(window, &rect)) return false;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD stride = ((width * 3 + 3) / 4) * 4;
    std::vector<char> pixels(static_cast<size_t>(stride) * height);
    bool ok = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == height;
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!ok) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(bmpPath.c_str(), "wb");
    if (out == nullptr) return false;
    ok = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
         std::fwrite(&header, sizeof(header), 1, out) == 1 &&
         std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

ChildProcess::~ChildProcess() {
    if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
    if (info.hThread != nullptr) ::CloseHandle(info.hThread);
}

bool ChildProcess::Start(const std::string& exe, const std::string& arguments,
                         const std::string& folder) {
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info) != 0;
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
    if (info.hProcess == nullptr) return STILL_ACTIVE;
    if (::WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
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
