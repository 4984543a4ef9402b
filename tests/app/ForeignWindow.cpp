#include "ForeignWindow.h"

namespace netrefit::test {
namespace {

const char kPlainClass[] = "NetrefitTestForeignWindow";

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ForeignWindow::ForeignWindow(const std::string& title, bool dialogClass) {
    ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = test::Thread(&ForeignWindow::Run, this, title, dialogClass);
    ::WaitForSingleObject(ready_, 10000);
}

ForeignWindow::~ForeignWindow() {
    if (threadId_ != 0)
        ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
    ::CloseHandle(ready_);
}

bool ForeignWindow::BringForward() {
    return window_ != nullptr && ::SetForegroundWindow(window_) != 0;
}

void ForeignWindow::Run(const std::string& title, bool dialogClass) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    const char* windowClass = "#32770";
    if (!dialogClass) {
        WNDCLASSA plain = {};
        plain.lpfnWndProc = PlainWindowProc;
        plain.hInstance = instance;
        plain.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        plain.lpszClassName = kPlainClass;
        ::RegisterClassA(&plain);
        windowClass = kPlainClass;
    }
    window_ = ::CreateWindowExA(0, windowClass, title.c_str(),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 60, 60, 320,
                                160, nullptr, nullptr, instance, nullptr);
    threadId_ = ::GetCurrentThreadId();
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    ::SetEvent(ready_);
    if (window_ == nullptr)
        return;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ::DestroyWindow(window_);
}

}  // namespace netrefit::test
