// A language library replaces the texts, templates and icons used after the switch.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include "support/TestThreads.h"

#include "DriverThread.h"
#include "download/UpToDateDialog.h"
#include "resources/ResourceIds.h"
#include "support/TestFiles.h"
#include "support/WindowDriver.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

class LanguageLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = ::LoadLibraryA((test::ModuleFolder() + "TestLanguage.dll").c_str());
        ASSERT_NE(library_, nullptr);
    }
    void TearDown() override {
        SetResourceModule(nullptr);
        if (library_) {
            ::FreeLibrary(library_);
        }
    }
    HMODULE library_ = nullptr;
};

struct Shown {
    bool found = false;
    std::string text, ok, reinstall;
    int width = 0;
};

Shown ShowUpToDate() {
    Shown shown;
    UpToDateDialog dialog(nullptr);
    test::RunDriven(dialog, [&] {
        HWND window = test::WaitForDialog(kAppTitle, IDC_UP_TO_DATE_TEXT);
        if (!window) {
            return;
        }
        shown.found = true;
        shown.text = test::ItemText(window, IDC_UP_TO_DATE_TEXT);
        shown.ok = test::ItemText(window, IDOK);
        shown.reinstall = test::ItemText(window, IDCANCEL);
        RECT rect;
        ::GetClientRect(window, &rect);
        shown.width = rect.right;
        test::PressButton(window, IDOK);
    });
    return shown;
}

TEST_F(LanguageLibrary, ReplacesTheTextsOfAMessageBox) {
    EXPECT_EQ(LoadResString(IDS_OK), "OK");
    SetResourceModule(library_);
    EXPECT_EQ(LoadResString(IDS_OK), "Jawohl");
    // Every later string comes from the library, also one it does not carry.
    EXPECT_EQ(LoadResString(IDS_DOWNLOAD_FAILED), "");

    std::string text, caption;
    test::Thread driver([&] {
        HWND box = test::WaitForMessageBox("Die Installation");
        if (box) {
            text = test::MessageBoxText(box);
            caption = test::WindowText(box);
            test::PressButton(box, IDNO);
        }
    });
    int answer = ShowMessage(nullptr, IDS_CONFIRM_CANCEL, MB_YESNO | MB_DEFBUTTON2);
    driver.join();
    EXPECT_EQ(text, "Die Installation ist nicht abgeschlossen. \nAbbrechen?");
    EXPECT_EQ(caption, "Melorra Installer");
    EXPECT_EQ(answer, IDNO);
}

TEST_F(LanguageLibrary, ReplacesTheTemplateAndTextsOfADialog) {
    Shown builtIn = ShowUpToDate();
    SetResourceModule(library_);
    Shown translated = ShowUpToDate();
    SetResourceModule(nullptr);
    Shown again = ShowUpToDate();

    ASSERT_TRUE(builtIn.found);
    ASSERT_TRUE(translated.found);
    ASSERT_TRUE(again.found);
    EXPECT_EQ(builtIn.ok, "OK");
    EXPECT_EQ(builtIn.reinstall, "Reinstall");
    EXPECT_EQ(translated.text.rfind("Keine Aktualisierung n", 0), 0u) << translated.text;
    EXPECT_EQ(translated.ok, "Jawohl");
    EXPECT_EQ(translated.reinstall, "Neu installieren");
    // The library's template is wider than the built-in one.
    EXPECT_GT(translated.width, builtIn.width);
    EXPECT_EQ(again.width, builtIn.width);
    EXPECT_EQ(again.ok, "OK");
}

TEST_F(LanguageLibrary, IconsComeFromTheCurrentModule) {
    // The library swaps the two status pictures; an icon loaded after the switch is the
    // library's, so its pixels differ from the built-in icon of the same number.
    auto pixelsOf = [](int id) {
        HICON icon = LoadIconResource(id, 16, 16);
        std::string bits;
        ICONINFO info = {};
        if (icon && ::GetIconInfo(icon, &info)) {
            BITMAP bitmap = {};
            ::GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
            bits.resize(static_cast<size_t>(bitmap.bmWidthBytes) * bitmap.bmHeight);
            ::GetBitmapBits(info.hbmColor, static_cast<LONG>(bits.size()), &bits[0]);
            ::DeleteObject(info.hbmColor);
            ::DeleteObject(info.hbmMask);
        }
        if (icon) {
            ::DestroyIcon(icon);
        }
        return bits;
    };
    std::string builtInDone = pixelsOf(IDI_DONE);
    std::string builtInToDownload = pixelsOf(IDI_TO_DOWNLOAD);
    SetResourceModule(library_);
    std::string libraryDone = pixelsOf(IDI_DONE);
    ASSERT_FALSE(builtInDone.empty());
    EXPECT_NE(libraryDone, builtInDone);
    EXPECT_EQ(libraryDone, builtInToDownload);
}

}  // namespace
}  // namespace netrefit
