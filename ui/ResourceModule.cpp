#include "ui/ResourceModule.h"

#include <vector>

#include "ui/MessageRoute.h"

namespace netrefit {

const char kAppTitle[] = "Melorra Installer";

namespace {
HINSTANCE g_resourceModule = nullptr;
}

HINSTANCE CurrentResourceModule() {
    return g_resourceModule ? g_resourceModule : ::GetModuleHandleA(nullptr);
}

void SetResourceModule(HINSTANCE module) {
    g_resourceModule = module;
}

std::string LoadResString(UINT id) {
    // String-table entries are at most 4097 characters; grow once for the rare long one.
    std::vector<char> buffer(1024);
    for (;;) {
        int length = ::LoadStringA(CurrentResourceModule(), id, buffer.data(),
                                   static_cast<int>(buffer.size()));
        if (length <= 0) {
            return std::string();
        }
        if (static_cast<size_t>(length) < buffer.size() - 1 || buffer.size() >= 8192) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string FormatText(const std::string& text, std::initializer_list<std::string> args) {
    std::string result;
    auto next = args.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        char after = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && after == 's') {
            if (next != args.end()) {
                result += *next++;
            }
            ++i;
        } else if (text[i] == '%' && after == '%') {
            result += '%';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string FormatResString(UINT id, std::initializer_list<std::string> args) {
    return FormatText(LoadResString(id), args);
}

int ShowMessage(HWND owner, UINT id, UINT type, std::initializer_list<std::string> args) {
    std::string text = FormatResString(id, args);
    // The log is read by whoever supports the PC: in English, whatever the user reads.
    char english[1024] = "";
    ::LoadStringA(::GetModuleHandleA(nullptr), id, english, sizeof(english));
    return RouteMessage(owner, id, type, text, FormatText(english, args));
}

HICON LoadIconResource(int id, int width, int height) {
    UINT flags = (width == 0 && height == 0) ? (LR_DEFAULTSIZE | LR_SHARED) : 0;
    return static_cast<HICON>(::LoadImageA(CurrentResourceModule(), MAKEINTRESOURCEA(id),
                                           IMAGE_ICON, width, height, flags));
}

}  // namespace netrefit
