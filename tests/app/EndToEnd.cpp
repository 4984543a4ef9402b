#include "EndToEnd.h"

#include <shlwapi.h>

#include <vector>

namespace netrefit::test {
namespace {

const char kTavrin[] = "Software\\Tavrin Corporation";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kMainUninstall[] = "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";
const char kOtherUninstall[] = "{0D93B4E2-7A61-4F58-B2C7-91E0F3A6D854}";
const char kSecondExtension[] = "{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}";
const int kModuleListControl = 1006;
const int kProgressCancel = 1011;

void SetRegistryNumber(const std::string& key, const std::string& name, DWORD value) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, &handle, nullptr));
    ::RegSetValueExA(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                     sizeof(value));
    ::RegCloseKey(handle);
}

}  // namespace

void SetRegistryText(const std::string& key, const std::string& name, const std::string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, &handle, nullptr));
    ::RegSetValueExA(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(handle);
}

void DeleteRegistryTree(const std::string& key) {
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

void ClearSuiteRegistry() {
    DeleteRegistryTree(kTavrin);
    DeleteRegistryTree(std::string(kUninstall) + kMainUninstall);
    DeleteRegistryTree(std::string(kUninstall) + kOtherUninstall);
}

void InstallOlderSuite() {
    std::string tavrin = kTavrin;
    SetRegistryText(std::string(kUninstall) + kMainUninstall, "UninstallString",
                    "C:\\Program Files\\Tavrin\\Melorra\\Uninstall.exe");
    SetRegistryText(tavrin + "\\Melorra\\Jukebox", "InstalledPath",
                    "C:\\Program Files\\Tavrin\\Melorra\\Melorra.exe");
    SetRegistryText(tavrin + "\\Melorra\\Version", "", "2.0.0.123");
    SetRegistryText(tavrin + "\\Keldra", "InstallerVersion", "3.0.0.0");
    SetRegistryText(tavrin + "\\Shared Info\\AppDB\\Melorra Common Library", "Version", "1.4.0.0");
    std::string extension = tavrin + "\\Melorra\\Addon\\" + kSecondExtension;
    SetRegistryNumber(extension, "UninstallCount", 0);
    SetRegistryText(extension, "Version", "1.0.0.0");
}

void EndToEnd::SetUp() {
    site_ = ModuleFolder() + "..\\e2e\\site\\";
    ASSERT_TRUE(FileExists(site_ + "Version_English.ini")) << "the e2e site fixture did not run";
    RemoveTree(WorkFolder());
    ::DeleteFileA(StandinLog().c_str());
    ClearSuiteRegistry();
    InstallOlderSuite();
    for (const char* name : {"Netrefit.exe", "Hashgate.dll"}) {
        ASSERT_TRUE(::CopyFileA((ModuleFolder() + name).c_str(), program_.File(name).c_str(),
                                FALSE));
    }
    WriteSettings(Settings());
}

void EndToEnd::TearDown() {
    process_.Kill();
    watching_ = false;
    if (watcher_.joinable()) watcher_.join();
    ClearSuiteRegistry();
    RemoveTree(WorkFolder());
}

std::string EndToEnd::SiteServerText() const {
    std::string text;
    EXPECT_TRUE(ReadFileBytes(site_ + "Version_English.ini", &text));
    return text;
}

void EndToEnd::ServeCase(const std::string& name, const std::string& serverText) {
    std::string folder = site_ + "cases\\" + name + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(folder + "Version_English.ini", serverText));
    Settings settings;
    settings.server = "http://127.0.0.4/cases/" + name;
    WriteSettings(settings);
}

void EndToEnd::WriteSettings(const Settings& s) {
    std::string text = "[Setup]\r\nServer=" + s.server + "\r\nVersion=1.1\r\nSupportOS=" +
                       s.supportOS + "\r\nSupportApplicationLang=" + s.applicationLanguages +
                       "\r\nSupportOSLang=" + s.osLanguages + "\r\nNonSupportOSLang=" +
                       s.nonOsLanguages + "\r\n";
    ASSERT_TRUE(WriteFileBytes(program_.File("Netrefit.ini"), text));
}

std::string EndToEnd::Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << "not in the server file: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

void EndToEnd::Start(const std::string& environment) {
    std::string folder = program_.Path();
    folder.pop_back();
    if (!environment.empty()) {
        ::SetEnvironmentVariableA(environment.substr(0, environment.find('=')).c_str(),
                                  environment.substr(environment.find('=') + 1).c_str());
    }
    bool started = process_.Start(program_.File("Netrefit.exe"), "", folder);
    if (!environment.empty()) {
        // Restore this process's own value: the child has its copy already.
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        ::SetEnvironmentVariableA(environment.substr(0, environment.find('=')).c_str(), nullptr);
    }
    ASSERT_TRUE(started);
    watching_ = true;
    mainWindowShown_ = false;
    watcher_ = std::thread(&EndToEnd::WatchMainWindow, this);
}

void EndToEnd::WatchMainWindow() {
    while (watching_) {
        for (HWND window : AllTopLevelWindows()) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == process_.Id() && ::GetDlgItem(window, kModuleListControl) != nullptr &&
                ::GetDlgItem(window, 1014) != nullptr) {
                mainWindowShown_ = true;
            }
        }
        ::Sleep(20);
    }
}

DWORD EndToEnd::WaitForEnd(DWORD timeoutMs) {
    DWORD code = process_.Wait(timeoutMs);
    watching_ = false;
    if (watcher_.joinable()) watcher_.join();
    return code;
}

HWND EndToEnd::WaitModuleList(DWORD timeoutMs) {
    return WaitForTopLevel(process_.Id(), "Melorra Installer", kModuleListControl, timeoutMs);
}

HWND EndToEnd::WaitProgress(DWORD timeoutMs) {
    return WaitForTopLevel(process_.Id(), "Melorra Installer", kProgressCancel, timeoutMs);
}

std::string EndToEnd::Answer(int button, DWORD timeoutMs) {
    HWND box = WaitForProcessMessageBox(process_.Id(), timeoutMs);
    if (box == nullptr) return "<no message box>";
    std::string text = MessageBoxText(box);
    PressButton(box, button);
    WaitForWindowGone(box, 10000);
    return text;
}

bool EndToEnd::TypePassword(const std::string& password) {
    HWND dialog = WaitForTopLevel(0, "Please Input Password", 1005, kWindowWait);
    if (dialog == nullptr) return false;
    ::SendMessageA(::GetDlgItem(dialog, 1005), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(password.c_str()));
    PressButton(dialog, IDOK);
    return WaitForWindowGone(dialog, 10000);
}

std::string EndToEnd::WorkFolder() const {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "Netrefit\\";
}

std::string EndToEnd::StandinLog() const {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "NetrefitStandin.log";
}

}  // namespace netrefit::test
