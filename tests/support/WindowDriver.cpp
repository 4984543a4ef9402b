#include "support/WindowDriver.h"

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

namespace {
struct EnumState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == state->processId && ::IsWindowVisible(window)) {
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

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs, DWORD processId) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId)) {
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

std::string SaveScreenshot(HWND window, const std::string& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect;
    if (!::GetWindowRect(window, &rect)) {
        return std::string();
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    std::string folder = ModuleFolder() + "..\\screenshots\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + name + ".bmp";
    // The screen holds what the user sees, child controls and message boxes included.
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, old);
    bool written = WriteBitmap(path, memory, bitmap, width, height);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written ? path : std::string();
}

}  // namespace netrefit::test
