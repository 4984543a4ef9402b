// The seven language libraries the program ships: each carries every text, template and icon of
// the built-in English resources, in its own language id and code page, and every text of its
// dialogs fits its control at the dialog's own font. Texts are compared and measured as UTF-16,
// so this runs under any locale of the prefix.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "NetrefitVersion.h"
#include "app/ModuleListDialog.h"
#include "resources/ResourceIds.h"
#include "support/TestFiles.h"
#include "support/WindowDriver.h"

namespace netrefit {
namespace {

struct Language {
    const char* name;
    LANGID id;
    UINT codePage;
    const char* face;  // the templates' font
    BYTE charset;
    const char* cancel;  // string 150 in UTF-8: the text comes out of the library as written
};

const Language kLanguages[] = {
    {"German", 0x0407, 1252, "MS Shell Dlg", ANSI_CHARSET, "Abbrechen"},
    {"French", 0x040C, 1252, "MS Shell Dlg", ANSI_CHARSET, "Annuler"},
    {"Italian", 0x0410, 1252, "MS Shell Dlg", ANSI_CHARSET, "Annulla"},
    {"Spanish", 0x040A, 1252, "MS Shell Dlg", ANSI_CHARSET, "Cancelar"},
    {"Japanese", 0x0411, 932, "MS UI Gothic", SHIFTJIS_CHARSET, "キャンセル"},
    {"Korean", 0x0412, 949, "Gulim", HANGEUL_CHARSET, "취소"},
    {"SChinese", 0x0804, 936, "SimSun", GB2312_CHARSET, "取消"},
};

const int kDialogs[] = {IDD_ABOUT,       IDD_PROGRESS,    IDD_PASSWORD,
                        IDD_MODULE_LIST, IDD_SERVER_WAIT, IDD_UP_TO_DATE};
const int kIcons[] = {IDI_APPLICATION_ICON, IDI_TO_DOWNLOAD, IDI_DONE};

// The texts the program puts into a template's controls when it shows the dialog.
struct ShownText {
    int dialog, control;
    UINT string;
};
const ShownText kShownTexts[] = {
    {IDD_ABOUT, IDOK, IDS_OK},
    {IDD_PROGRESS, IDC_PROGRESS_OVERALL_LABEL, IDS_OVERALL_PROGRESS},
    {IDD_PROGRESS, IDC_PROGRESS_PHASE, IDS_DOWNLOADING},
    {IDD_PROGRESS, IDC_PROGRESS_PHASE, IDS_EXTRACTING},
    {IDD_PROGRESS, IDC_PROGRESS_CANCEL, IDS_CANCEL},
    {IDD_MODULE_LIST, IDC_MODULE_GROUP, IDS_FILES_FOR_DOWNLOADING},
    {IDD_MODULE_LIST, IDC_MODULE_SIZE_LABEL, IDS_DOWNLOAD_SIZE},
    {IDD_MODULE_LIST, IDC_MODULE_HINT, IDS_CLICK_OK},
    {IDD_MODULE_LIST, IDC_MODULE_OK, IDS_OK},
    {IDD_MODULE_LIST, IDC_MODULE_CANCEL, IDS_CANCEL},
    {IDD_SERVER_WAIT, IDC_WAIT_MESSAGE, IDS_RETRIEVING},
    {IDD_SERVER_WAIT, IDC_WAIT_CANCEL, IDS_CANCEL},
    {IDD_UP_TO_DATE, IDC_UP_TO_DATE_TEXT, IDS_UP_TO_DATE},
    {IDD_UP_TO_DATE, IDOK, IDS_OK},
    {IDD_UP_TO_DATE, IDCANCEL, IDS_REINSTALL},
};

// Names that no translation changes.
const wchar_t* const kNames[] = {L"Melorra Installer", L"Melorra2.0", L"Melorra 2.0",
                                 L"Keldra Player",     L"Tavrin",     L"Melorra"};

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 4, '\0');
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<size_t>(length > 0 ? length : 0));
    return bytes;
}

std::wstring LoadWide(HMODULE module, UINT id) {
    wchar_t buffer[4096];
    int length = ::LoadStringW(module, id, buffer, 4096);
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The blanks before each line break and at the very end: the shape a translation keeps.
std::vector<size_t> BlanksBeforeBreaks(const std::wstring& text) {
    std::vector<size_t> blanks;
    size_t run = 0;
    for (wchar_t c : text) {
        if (c == L'\n') {
            blanks.push_back(run);
        }
        run = c == L' ' ? run + 1 : 0;
    }
    blanks.push_back(run);
    return blanks;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

std::vector<WORD> ResourceLanguages(HMODULE module, LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(module, type, name, AddLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

void PrintTo(const Language& language, std::ostream* out) {
    *out << language.name;
}

// The font a DIALOGEX template asks for (Wine creates dialog fonts with the default charset, so
// the charset is read from the template itself).
struct TemplateFont {
    std::string face;
    int charset = -1;
};

TemplateFont FontOfTemplate(HMODULE module, int id) {
    TemplateFont font;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    auto words = static_cast<const WORD*>(::LockResource(::LoadResource(module, found)));
    if (!words || words[0] != 1 || words[1] != 0xFFFF) {
        return font;
    }
    DWORD style = MAKELONG(words[6], words[7]);
    const WORD* at = words + 13;
    for (int field = 0; field < 3; ++field) {  // menu, window class, title
        if (*at == 0xFFFF) {
            at += 2;
        } else {
            while (*at++ != 0) {
            }
        }
    }
    if (style & DS_SETFONT) {
        font.charset = HIBYTE(at[2]);
        for (const WORD* c = at + 3; *c; ++c) {
            font.face += static_cast<char>(*c);
        }
    }
    return font;
}

std::string LibraryPath(const Language& language) {
    return test::ModuleFolder() + "Netrefit" + language.name + ".dll";
}

class ShippedLanguage : public ::testing::TestWithParam<Language> {
  protected:
    void SetUp() override {
        // As the program loads it: LoadLibraryA on the file beside it.
        library_ = ::LoadLibraryA(LibraryPath(GetParam()).c_str());
        ASSERT_NE(library_, nullptr) << LibraryPath(GetParam());
    }
    void TearDown() override {
        if (library_) {
            ::FreeLibrary(library_);
        }
    }
    HMODULE library_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Languages,
                         ShippedLanguage,
                         ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return std::string(info.param.name);
                         });

TEST_P(ShippedLanguage, CarriesEveryStringInTheShapeOfTheEnglishOne) {
    const Language& language = GetParam();
    HMODULE english = ::GetModuleHandleA(nullptr);
    int compared = 0;
    for (UINT id = 101; id <= IDS_UNVERIFIED_UPDATE; ++id) {
        std::wstring original = LoadWide(english, id);
        std::wstring text = LoadWide(library_, id);
        SCOPED_TRACE("string " + std::to_string(id) + ": " + Utf8(text));
        if (original.empty()) {
            EXPECT_TRUE(text.empty()) << "a number the program does not use";
            continue;
        }
        ++compared;
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(Count(original, L"%s"), Count(text, L"%s"));
        EXPECT_EQ(Count(original, L"%"), Count(text, L"%"));
        EXPECT_EQ(BlanksBeforeBreaks(original), BlanksBeforeBreaks(text));
        for (const wchar_t* name : kNames) {
            if (original.find(name) != std::wstring::npos) {
                EXPECT_NE(text.find(name), std::wstring::npos) << Utf8(name);
            }
        }
        // The program reads its texts as ANSI: each must come through the language's code page.
        BOOL lossy = FALSE;
        char bytes[8192];
        int length = ::WideCharToMultiByte(language.codePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                           static_cast<int>(text.size()), bytes, sizeof(bytes),
                                           nullptr, &lossy);
        EXPECT_GT(length, 0);
        EXPECT_FALSE(lossy) << "not in code page " << language.codePage;
    }
    EXPECT_EQ(compared, 40);
    EXPECT_EQ(Utf8(LoadWide(library_, IDS_CANCEL)), language.cancel);
}

TEST_P(ShippedLanguage, CarriesEveryTemplateAndIconInItsLanguage) {
    const Language& language = GetParam();
    const std::vector<WORD> only{language.id};
    for (int id : kDialogs) {
        EXPECT_EQ(ResourceLanguages(library_, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id)), only)
            << "dialog " << id;
    }
    for (int id : kIcons) {
        EXPECT_EQ(ResourceLanguages(library_, MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(id)), only)
            << "icon " << id;
        HICON icon =
            static_cast<HICON>(::LoadImageA(library_, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr) << "icon " << id;
        if (icon) {
            ::DestroyIcon(icon);
        }
    }
    for (UINT block = 101 / 16 + 1; block <= IDS_UNVERIFIED_UPDATE / 16 + 1; ++block) {
        EXPECT_EQ(ResourceLanguages(library_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(block)), only)
            << "string block " << block;
    }

    // The version block names the language and its code page.
    std::string path = LibraryPath(language);
    DWORD handle = 0;
    std::vector<char> info(::GetFileVersionInfoSizeA(path.c_str(), &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(
        ::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    WORD* translation = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(translation[0], language.id);
    EXPECT_EQ(translation[1], language.codePage);
    // ... and the program's version, in numbers and as text.
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(NETREFIT_VERSION_MINOR, NETREFIT_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(NETREFIT_VERSION_BUILD, NETREFIT_VERSION_PATCH));
    char block[64];
    std::snprintf(block, sizeof(block), "\\StringFileInfo\\%04x%04x\\FileVersion", language.id,
                  language.codePage);
    char* text = nullptr;
    ASSERT_TRUE(::VerQueryValueA(info.data(), block, reinterpret_cast<void**>(&text), &size));
    EXPECT_STREQ(text, NETREFIT_VERSION_TEXT);
}

INT_PTR CALLBACK Inert(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    ::GetClassNameW(window, name, 64);
    return name;
}

// Where a control of this kind draws its text, and how: the room left beside a check box and
// inside a button's edges or a group box's corners.
struct TextRoom {
    bool measured = false;
    int width = 0, height = 0;
    UINT format = 0;
};

TextRoom RoomFor(HWND control) {
    TextRoom room;
    RECT client;
    ::GetClientRect(control, &client);
    LONG style = ::GetWindowLongW(control, GWL_STYLE);
    std::wstring kind = ClassOf(control);
    int edge = 2 * ::GetSystemMetrics(SM_CXEDGE);
    room.width = client.right;
    room.height = client.bottom;
    if (kind == L"Static") {
        LONG type = style & SS_TYPEMASK;
        room.measured = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        room.format = DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    } else if (kind == L"Button") {
        LONG type = style & BS_TYPEMASK;
        room.measured = true;
        room.format = DT_SINGLELINE;
        if (type == BS_GROUPBOX) {
            room.width -= 2 * 8;
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
            room.width -= ::GetSystemMetrics(SM_CXMENUCHECK) + edge;
        } else {
            room.width -= 2 * edge;
            room.height -= 2 * edge;
        }
    }
    return room;
}

TEST_P(ShippedLanguage, EveryTextFitsItsControlAtTheDialogsFont) {
    const Language& language = GetParam();
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&classes);
    HMODULE english = ::GetModuleHandleA(nullptr);
    for (int id : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        HWND dialog = ::CreateDialogParamW(library_, MAKEINTRESOURCEW(id), nullptr, Inert, 0);
        HWND builtIn = ::CreateDialogParamW(english, MAKEINTRESOURCEW(id), nullptr, Inert, 0);
        ASSERT_NE(dialog, nullptr);
        ASSERT_NE(builtIn, nullptr);

        auto font = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
        LOGFONTA made = {};
        ASSERT_TRUE(::GetObjectA(font, sizeof(made), &made));
        EXPECT_STREQ(made.lfFaceName, language.face);
        TemplateFont asked = FontOfTemplate(library_, id);
        EXPECT_EQ(asked.face, language.face);
        EXPECT_EQ(asked.charset, language.charset);
        RECT inside;
        ::GetClientRect(dialog, &inside);

        for (HWND control = ::GetWindow(dialog, GW_CHILD); control;
             control = ::GetWindow(control, GW_HWNDNEXT)) {
            int controlId = ::GetDlgCtrlID(control);
            SCOPED_TRACE("control " + std::to_string(controlId));
            if (controlId != -1 && controlId != 0xFFFF) {
                HWND original = ::GetDlgItem(builtIn, controlId);
                ASSERT_NE(original, nullptr) << "no such control in the built-in template";
                EXPECT_EQ(ClassOf(control), ClassOf(original));
            }
            RECT box;
            ::GetWindowRect(control, &box);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= inside.right &&
                        box.bottom <= inside.bottom)
                << "outside the dialog";

            std::vector<std::wstring> texts;
            for (const ShownText& shown : kShownTexts) {
                if (shown.dialog == id && shown.control == controlId) {
                    texts.push_back(LoadWide(library_, shown.string));
                }
            }
            if (texts.empty() && !test::WideWindowText(control).empty()) {
                texts.push_back(test::WideWindowText(control));
            }
            TextRoom room = RoomFor(control);
            if (!room.measured) {
                continue;
            }
            HDC dc = ::GetDC(control);
            HGDIOBJ before = ::SelectObject(dc, font);
            wchar_t face[LF_FACESIZE] = L"";
            ::GetTextFaceW(dc, LF_FACESIZE, face);
            for (const std::wstring& text : texts) {
                SCOPED_TRACE(Utf8(text) + " in " + Utf8(face));
                ::SetWindowTextW(control, text.c_str());
                std::wstring shown = test::WideWindowText(control);
                ASSERT_EQ(shown, text);
                RECT need = {0, 0, room.width, 0};
                ::DrawTextW(dc, shown.c_str(), -1, &need, room.format | DT_CALCRECT);
                EXPECT_LE(need.right, room.width) << "cut at the side";
                EXPECT_LE(need.bottom, room.height) << "cut at the bottom";
                // The font shows the script: no character falls back to the missing glyph.
                std::wstring printable;
                for (wchar_t c : shown) {
                    if (c >= L' ')
                        printable += c;
                }
                std::vector<WORD> glyphs(printable.size());
                ::GetGlyphIndicesW(dc, printable.c_str(), static_cast<int>(printable.size()),
                                   glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
                for (size_t i = 0; i < glyphs.size(); ++i) {
                    EXPECT_NE(glyphs[i], 0xFFFF)
                        << "no glyph for U+" << std::hex << static_cast<int>(printable[i]);
                }
            }
            ::SelectObject(dc, before);
            ::ReleaseDC(control, dc);
        }
        ::DestroyWindow(builtIn);
        ::DestroyWindow(dialog);
    }
}

// The module names stay English in every language: the longest of them, with a version, must fit
// the file column (the list less the status column) beside its icon at the dialog's font.
TEST_P(ShippedLanguage, LongestModuleNameFitsTheFileColumn) {
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&classes);
    HWND dialog =
        ::CreateDialogParamW(library_, MAKEINTRESOURCEW(IDD_MODULE_LIST), nullptr, Inert, 0);
    ASSERT_NE(dialog, nullptr);
    HWND list = ::GetDlgItem(dialog, IDC_MODULE_LIST);
    RECT client;
    ::GetClientRect(list, &client);
    const int icon = ::GetSystemMetrics(SM_CXSMICON);
    const int padding = 12;  // the list's margins left and right of the text
    for (const wchar_t* name : {L"Melorra Common Library 99.99", L"Windows Media Format 99.99",
                                L"Keldra Secure Module 99.99", L"Melorra Disc Writer 99.99"}) {
        int width = static_cast<int>(
            ::SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(name)));
        EXPECT_GT(width, 0);
        EXPECT_LE(icon + padding + width, client.right - ModuleListDialog::kStatusColumnWidth)
            << Utf8(name);
    }
    ::DestroyWindow(dialog);
}

}  // namespace
}  // namespace netrefit
