// A proxy in the system's settings that asks for a login (proxy-site, 127.0.0.30:3128): Windows'
// own prompt, once, and what is typed there carries the run; Cancel fails the download.
#include <gtest/gtest.h>

#include <string>

#include "EndToEnd.h"

using namespace netrefit::test;

namespace {

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// A value of the user's Internet settings, put back as it was when the case ends.
class SavedValue {
  public:
    explicit SavedValue(const char* name) : name_(name) {
        size_ = sizeof(data_);
        present_ = ::RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, name, RRF_RT_ANY, &type_,
                                  data_, &size_) == ERROR_SUCCESS;
    }
    ~SavedValue() {
        HKEY key;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        if (present_) {
            ::RegSetValueExA(key, name_, 0, type_, data_, size_);
        } else {
            ::RegDeleteValueA(key, name_);
        }
        ::RegCloseKey(key);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

  private:
    const char* name_;
    bool present_ = false;
    DWORD type_ = 0;
    BYTE data_[1024];
    DWORD size_ = 0;
};

// The proxy's login prompt of the program: the window with the user name and password fields.
HWND WaitForLoginPrompt(DWORD process) {
    return WaitForWindow(
        [](HWND window) {
            HWND first = ::FindWindowExA(window, nullptr, "Edit", nullptr);
            return first != nullptr && ::FindWindowExA(window, first, "Edit", nullptr) != nullptr;
        },
        kWindowWait, process);
}

class ProxyEndToEnd : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        UseProxy("");
    }

    // The proxy for every host but those of bypass (the settings' ProxyOverride list).
    void UseProxy(const std::string& bypass) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr,
                                                   0, KEY_SET_VALUE, nullptr, &key, nullptr));
        DWORD enable = 1;
        const char server[] = "127.0.0.30:3128";
        ::RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enable),
                         sizeof(enable));
        ::RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                         sizeof(server));
        ::RegSetValueExA(key, "ProxyOverride", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(bypass.c_str()),
                         static_cast<DWORD>(bypass.size() + 1));
        ::RegCloseKey(key);
    }

    // Fills the prompt's two fields and presses button; false when no prompt came.
    bool AnswerPrompt(const std::string& user, const std::string& password, int button) {
        HWND prompt = WaitForLoginPrompt(process_.Id());
        if (prompt == nullptr) {
            return false;
        }
        HWND userField = ::FindWindowExA(prompt, nullptr, "Edit", nullptr);
        HWND passwordField = ::FindWindowExA(prompt, userField, "Edit", nullptr);
        ::SendMessageA(userField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(user.c_str()));
        ::SendMessageA(passwordField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password.c_str()));
        PressButton(prompt, button);
        return WaitForWindowGone(prompt);
    }

    // Restored in this order after the case, before the prefix is used by the next one.
    SavedValue enable_{"ProxyEnable"};
    SavedValue server_{"ProxyServer"};
    SavedValue override_{"ProxyOverride"};
};

}  // namespace

TEST_F(ProxyEndToEnd, LoginTypedOnceCarriesTheWholeUpgrade) {
    Start();
    ASSERT_TRUE(AnswerPrompt("agent", "proxy-secret", IDOK)) << "no proxy login prompt";
    AcceptAndFinishUpgrade();
}

TEST_F(ProxyEndToEnd, CancelOrAWrongLoginFailsTheServerFile) {
    for (const std::string& password : {std::string(), std::string("wrong")}) {
        SCOPED_TRACE(password.empty() ? "cancel" : "wrong login");
        Start();
        ASSERT_TRUE(AnswerPrompt("agent", password, password.empty() ? IDCANCEL : IDOK));
        EXPECT_EQ(
            "Data was unable to be retrieved from the server.\nPlease check your Internet "
            "connection and try again.",
            Answer(IDOK));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
        EXPECT_FALSE(MainWindowWasShown());
    }
}

// The server file straight from its server, the modules through the proxy (on another host):
// the prompt comes with the first module, and Cancel fails it.
TEST_F(ProxyEndToEnd, CancelAtTheFirstModuleFailsItWith114) {
    std::string text = SiteServerText();
    for (size_t at = text.find("http://127.0.0.4/modules/"); at != std::string::npos;
         at = text.find("http://127.0.0.4/modules/", at)) {
        text.replace(at, 17, "http://127.0.0.29:8080/");
    }
    ServeCase("proxy-modules", text);
    UseProxy("127.0.0.4");
    Start();
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(AnswerPrompt("agent", "proxy-secret", IDCANCEL)) << "no prompt for the module";
    EXPECT_EQ(
        "Download failed. [Keldra Secure Module 3.1]\nPlease check your Internet connection and "
        "try again.",
        Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(FileExists(WorkFolder() + "SecureModule.zip"));
}
