// The whole upgrade as a German and a Japanese user see it: the program runs with the prefix's
// locale of that language (system language and code page), chooses the language from it, loads
// the shipped library named in [Resource], and every window and message shows its texts.
// A Wine program has the locale it was started in, and passes it to the programs it starts, so
// each case runs in its own CTest case (app_tests.German, app_tests.Japanese) under LC_ALL.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "EndToEnd.h"
#include "resources/ResourceIds.h"

using namespace netrefit::test;

namespace {

struct LocaleCase {
    const char* language;
    LANGID system;              // the system language of that locale
    const char* passwordTitle;  // the password dialog's caption, UTF-8
};

void PrintTo(const LocaleCase& c, std::ostream* out) {
    *out << c.language;
}

std::wstring Wide(const std::string& utf8) {
    wchar_t text[256] = L"";
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text, 256);
    return text;
}

std::wstring LoadWide(HMODULE module, UINT id) {
    wchar_t text[4096] = L"";
    ::LoadStringW(module, id, text, 4096);
    return text;
}

class EndToEndInLanguage : public EndToEnd, public ::testing::WithParamInterface<LocaleCase> {
  protected:
    void SetUp() override {
        if (::GetSystemDefaultLangID() != GetParam().system) {
            GTEST_SKIP() << "runs as app_tests." << GetParam().language << ", in its locale";
        }
        EndToEnd::SetUp();
        library_ = std::string("Netrefit") + GetParam().language + ".dll";
        ASSERT_TRUE(::CopyFileA((ShippedFolder() + library_).c_str(),
                                program_.File(library_).c_str(), FALSE));
        texts_ = ::LoadLibraryExA((ShippedFolder() + library_).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(texts_, nullptr);
    }
    void TearDown() override {
        if (texts_)
            ::FreeLibrary(texts_);
        EndToEnd::TearDown();
    }
    std::wstring Text(UINT id) const { return LoadWide(texts_, id); }

    std::string library_;
    HMODULE texts_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Locales,
                         EndToEndInLanguage,
                         ::testing::Values(LocaleCase{"German", 0x0407, "Kennwort eingeben"},
                                           LocaleCase{"Japanese", 0x0411, "パスワードの入力"}),
                         [](const ::testing::TestParamInfo<LocaleCase>& info) {
                             return std::string(info.param.language);
                         });

TEST_P(EndToEndInLanguage, UpgradeShowsTheTranslatedTexts) {
    const LocaleCase& c = GetParam();
    // The first module comes slowly, so that the progress window is read while it downloads.
    std::string slow = SlowDown(SiteServerText(), "SecureModule.zip");
    ServeCase("language", slow);
    ASSERT_TRUE(WriteFileBytes(site_ + "cases\\language\\Version_" + c.language + ".ini", slow));
    Settings settings;
    settings.server = "http://127.0.0.4/cases/language";
    settings.applicationLanguages = std::string("English,") + c.language;
    settings.resources = {std::string(c.language) + "=" + library_};
    WriteSettings(settings);

    EXPECT_EQ(::GetACP(), c.system == 0x0411 ? 932u : 1252u);
    Start();
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(Text(IDS_FILES_FOR_DOWNLOADING), WideItemText(list, IDC_MODULE_GROUP));
    EXPECT_EQ(Text(IDS_DOWNLOAD_SIZE), WideItemText(list, IDC_MODULE_SIZE_LABEL));
    EXPECT_EQ(Text(IDS_CLICK_OK), WideItemText(list, IDC_MODULE_HINT));
    EXPECT_EQ(Text(IDS_OK), WideItemText(list, IDC_MODULE_OK));
    EXPECT_EQ(Text(IDS_CANCEL), WideItemText(list, IDC_MODULE_CANCEL));
    EXPECT_EQ((std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5",
                                        "Melorra 2.1", "Melorra Extension ", "Setup Starter "}),
              ListViewColumn(::GetDlgItem(list, IDC_MODULE_LIST), 0));
    PressButton(list, IDC_MODULE_OK);

    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);
    EXPECT_EQ(Text(IDS_DOWNLOADING), WideItemText(progress, IDC_PROGRESS_PHASE));
    EXPECT_EQ(Text(IDS_OVERALL_PROGRESS), WideItemText(progress, IDC_PROGRESS_OVERALL_LABEL));
    EXPECT_EQ(Text(IDS_CANCEL), WideItemText(progress, IDC_PROGRESS_CANCEL));

    HWND password = WaitPasswordDialog();
    ASSERT_NE(nullptr, password);
    EXPECT_EQ(Wide(c.passwordTitle), WideWindowText(password));
    EXPECT_EQ(Text(IDS_EXTRACTING), WideItemText(progress, IDC_PROGRESS_PHASE));
    ASSERT_TRUE(TypePassword("melorra"));

    HWND box = WaitForProcessMessageBox(process_.Id(), 60000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(Text(IDS_INSTALL_DONE), WideItemText(box, 0xFFFF));
    EXPECT_EQ("Melorra Installer", WindowText(box));
    PressButton(box, IDOK);
    EXPECT_EQ(0u, WaitForEnd());
    EXPECT_EQ(FilesOfTheModules(), FilesSeenByInstaller());
}

}  // namespace
