#include "EndToEnd.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "common/UniqueHandle.h"
#include "download/ModuleDigest.h"
#include "hashgate/Md5.h"
#include "signature/SignatureText.h"
#include "signature/UpdateSignature.h"
#include "support/MachineRegistry.h"
#include "support/ScopedEnvironment.h"

namespace netrefit::test {
namespace {

const char kTavrin[] = "Software\\Tavrin Corporation";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kMainUninstall[] = "{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}";
const char kOtherUninstall[] = "{0D93B4E2-7A61-4F58-B2C7-91E0F3A6D854}";
const char kSecondExtension[] = "{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}";
const int kModuleListControl = 1006;
const int kModuleListOk = 1014;
const int kProgressCancel = 1011;

void TestSeed(int key, uint8_t seed[kEd25519SeedSize]) {
    for (size_t i = 0; i < kEd25519SeedSize; ++i) {
        seed[i] = static_cast<uint8_t>(key * 101 + i * 13 + 7);
    }
}

// Programs that can outlive the case that started them: the program, the stand-in installer it
// starts, and Wine's wineboot, which the program's restart request starts. wineboot asks every
// program with a window to end and then ends it, so a copy started by the next case while it
// still runs would be ended under that case.
const char* const kLeftOverPrograms[] = {"wineboot.exe", "Netrefit.exe", "Setup.exe"};

// The processes of the prefix: id and program name.
std::vector<std::pair<DWORD, std::string>> PrefixProcesses() {
    std::vector<std::pair<DWORD, std::string>> processes;
    netrefit::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        processes.emplace_back(entry.th32ProcessID, entry.szExeFile);
    }
    return processes;
}

std::vector<DWORD> LeftOverProcesses() {
    std::vector<DWORD> found;
    for (const auto& [id, name] : PrefixProcesses()) {
        for (const char* program : kLeftOverPrograms) {
            if (_stricmp(name.c_str(), program) == 0)
                found.push_back(id);
        }
    }
    return found;
}

// Waits for the left-over programs to end by themselves; ends by force, as a failure of the case
// that left them, those still there after the limit.
void WaitForLeftOverPrograms() {
    if (WaitUntil([] { return LeftOverProcesses().empty(); }, 120000))
        return;
    for (DWORD id : LeftOverProcesses()) {
        ADD_FAILURE() << "process " << id << " was still running; ended by force";
        if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, 10000);
            ::CloseHandle(process);
        }
    }
}

// Where the program keeps the signing times it has taken, per server (one per prefix user).
std::string SigningRecordFile() {
    char folder[MAX_PATH] = "";
    EXPECT_TRUE(::SHGetSpecialFolderPathA(nullptr, folder, CSIDL_LOCAL_APPDATA, FALSE));
    return std::string(folder) + "\\Netrefit\\Signed.ini";
}

}  // namespace

std::string TestPublicKey(int key) {
    uint8_t seed[kEd25519SeedSize];
    uint8_t publicKey[kEd25519PublicKeySize];
    TestSeed(key, seed);
    Ed25519PublicKey(publicKey, seed);
    char text[2 * kEd25519PublicKeySize + 1];
    FormatHexBytes(publicKey, sizeof(publicKey), text);
    return text;
}

std::string TestSignature(const std::string& text, int key) {
    uint8_t seed[kEd25519SeedSize];
    TestSeed(key, seed);
    return SignatureLine(seed, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string ReleaseFolder() {
    char value[MAX_PATH] = "";
    DWORD length = ::GetEnvironmentVariableA("NETREFIT_RELEASE_DIR", value, sizeof(value));
    if (length == 0 || length >= sizeof(value)) {
        return std::string();
    }
    std::string folder = value;
    if (folder[0] == '/') {
        folder = "Z:" + folder;
    }
    std::replace(folder.begin(), folder.end(), '/', '\\');
    if (folder.back() != '\\') {
        folder += '\\';
    }
    return folder;
}

std::string ShippedFolder() {
    std::string release = ReleaseFolder();
    return release.empty() ? ModuleFolder() : release;
}

void ClearSuiteRegistry() {
    DeleteMachineKey(kTavrin);
    DeleteMachineKey(std::string(kUninstall) + kMainUninstall);
    DeleteMachineKey(std::string(kUninstall) + kOtherUninstall);
}

void InstallSuite(const Suite& suite) {
    std::string tavrin = kTavrin;
    std::string extension = tavrin + "\\Melorra\\Addon\\" + kSecondExtension;
    EXPECT_TRUE(SetMachineText(std::string(kUninstall) + kMainUninstall, "UninstallString",
                               "C:\\Program Files\\Tavrin\\Melorra\\Uninstall.exe"));
    EXPECT_TRUE(SetMachineText(tavrin + "\\Melorra\\Jukebox", "InstalledPath",
                               "C:\\Program Files\\Tavrin\\Melorra\\Melorra.exe"));
    EXPECT_TRUE(SetMachineText(tavrin + "\\Melorra\\Version", "", suite.melorra));
    EXPECT_TRUE(SetMachineText(tavrin + "\\Keldra", "InstallerVersion", suite.secureModule));
    EXPECT_TRUE(SetMachineText(tavrin + "\\Shared Info\\AppDB\\Melorra Common Library", "Version",
                               suite.commonLibrary));
    EXPECT_TRUE(SetMachineNumber(extension, "UninstallCount", 0));
    EXPECT_TRUE(SetMachineText(extension, "Version", suite.extension));
}

void InstallOlderSuite() {
    InstallSuite(Suite());
}

Suite SuiteAtSiteVersions() {
    return Suite{"2.1.0.0", "3.1.0.0", "1.5.0.0", "1.1.0.0"};
}

Suite SuiteNewerThanSite() {
    return Suite{"2.2.0.0", "3.2.0.0", "1.6.0.0", "1.2.0.0"};
}

void EndToEnd::SetUp() {
    WaitForLeftOverPrograms();
    ::DeleteFileA(SigningRecordFile().c_str());
    site_ = ModuleFolder() + "..\\e2e\\site\\";
    ASSERT_TRUE(FileExists(site_ + "Version_English.ini")) << "the e2e site fixture did not run";
    RemoveTree(WorkFolder());
    ::DeleteFileA(StandinLog().c_str());
    ::DeleteFileA(DefaultSupportLog().c_str());
    ClearSuiteRegistry();
    InstallOlderSuite();
    for (const char* name : {"Netrefit.exe", "Hashgate.dll"}) {
        ASSERT_TRUE(
            ::CopyFileA((ShippedFolder() + name).c_str(), program_.File(name).c_str(), FALSE))
            << ShippedFolder() << name;
    }
    WriteSettings(Settings());
}

std::string EndToEnd::DefaultSupportLog() {
    char temp[MAX_PATH] = "";
    ::GetTempPathA(sizeof(temp), temp);
    return std::string(temp) + "Netrefit.log";
}

void EndToEnd::TearDown() {
    process_.Kill();
    watching_ = false;
    if (watcher_.joinable())
        watcher_.join();
    WaitForLeftOverPrograms();
    RunAsWindows("");
    ClearSuiteRegistry();
    RemoveTree(WorkFolder());
}

std::string EndToEnd::SiteServerText() const {
    std::string text;
    EXPECT_TRUE(ReadFileBytes(site_ + "Version_English.ini", &text));
    return text;
}

void EndToEnd::ServeCase(const std::string& name,
                         const std::string& serverText,
                         const std::string& serverBase) {
    std::string folder = site_ + "cases\\" + name + "\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(folder + "Version_English.ini", serverText));
    Settings settings;
    settings.server = serverBase + "cases/" + name;
    WriteSettings(settings);
}

void EndToEnd::ServeSignedCase(const std::string& name,
                               const std::string& serverText,
                               const std::string& signatureText,
                               const std::string& publicKey) {
    ServeCase(name, serverText);
    std::string signature = site_ + "cases\\" + name + "\\Version_English.ini.sig";
    ::DeleteFileA(signature.c_str());
    if (!signatureText.empty()) {
        ASSERT_TRUE(WriteFileBytes(signature, signatureText));
    }
    Settings settings;
    settings.server = "http://127.0.0.4/cases/" + name;
    settings.publicKey = publicKey;
    WriteSettings(settings);
}

void EndToEnd::AcceptAndFinishUpgrade() {
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_TRUE(TypePassword("melorra"));
    EXPECT_EQ(kInstallDoneText, Answer(IDOK, 60000));
    EXPECT_EQ(0u, WaitForEnd());
    EXPECT_EQ(FilesOfTheModules(), FilesSeenByInstaller());
}

void EndToEnd::ExpectMelorraFailed() {
    RemoveTree(WorkFolder());
    Start();
    ASSERT_TRUE(AcceptModuleList());
    EXPECT_EQ(
        "Download failed. [Melorra 2.1]\nPlease check your Internet connection and try "
        "again.",
        Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_EQ((std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5"}),
              JournalNames());
    EXPECT_FALSE(FileExists(WorkFolder() + "Melorra.zip")) << "the failed module was kept";
    EXPECT_FALSE(FileExists(StandinLog()));
}

std::string EndToEnd::WithSha256(std::string text) const {
    const std::string prefix = "\r\npath=http://127.0.0.4/modules/";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
        size_t end = text.find("\r\n", at + prefix.size());
        std::string file = text.substr(at + prefix.size(), end - at - prefix.size());
        std::string digest;
        EXPECT_TRUE(FileSha256Text((site_ + "modules\\" + file).c_str(), &digest)) << file;
        text.insert(end, "\r\nSHA256=" + digest);
    }
    return text;
}

void EndToEnd::WriteSettings(const Settings& s) {
    std::string text =
        "[Setup]\r\nServer=" + s.server + "\r\nVersion=1.1\r\nSupportOS=" + s.supportOS +
        "\r\nSupportApplicationLang=" + s.applicationLanguages +
        "\r\nSupportOSLang=" + s.osLanguages + "\r\nNonSupportOSLang=" + s.nonOsLanguages + "\r\n";
    if (!s.publicKey.empty()) {
        text += "PublicKey=" + s.publicKey + "\r\n";
    }
    if (!s.mirrors.empty()) {
        text += "Mirrors=" + s.mirrors + "\r\n";
    }
    if (!s.resources.empty()) {
        text += "[Resource]\r\n";
        for (const std::string& line : s.resources)
            text += line + "\r\n";
    }
    ASSERT_TRUE(WriteFileBytes(program_.File("Netrefit.ini"), text));
}

std::string EndToEnd::Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << "not in the server file: " << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

std::string EndToEnd::SlowDown(const std::string& text, const std::string& file) {
    return Replace(text, "/modules/" + file + "\r\n", "/slow/" + file + "\r\n");
}

std::string EndToEnd::ServerValue(const std::string& text,
                                  const std::string& section,
                                  const std::string& key) {
    size_t at = text.find("[" + section + "]\r\n");
    if (at == std::string::npos)
        return std::string();
    size_t end = text.find("\r\n[", at + 1);
    size_t line = text.find("\r\n" + key + "=", at);
    if (line == std::string::npos || line > end)
        return std::string();
    line += key.size() + 3;
    return text.substr(line, text.find("\r\n", line) - line);
}

std::string EndToEnd::ModuleSize(const std::string& file) const {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(site_ + "modules\\" + file, &bytes)) << file;
    return std::to_string(bytes.size());
}

std::string EndToEnd::ModuleDigest(const std::string& file) const {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(site_ + "modules\\" + file, &bytes)) << file;
    netrefit::Md5Context context;
    netrefit::Md5Init(&context);
    netrefit::Md5Update(&context, bytes.data(), bytes.size());
    uint8_t digest[16];
    netrefit::Md5Final(digest, &context);
    char text[33];
    netrefit::Md5DigestToText(digest, text);
    return text;
}

int EndToEnd::Requests(const std::string& urlPath) const {
    std::string log;
    ReadFileBytes(site_ + "..\\server\\access.log", &log);
    std::string request = "\"GET " + urlPath + " ";
    int count = 0;
    for (size_t at = log.find(request); at != std::string::npos; at = log.find(request, at + 1)) {
        ++count;
    }
    return count;
}

void EndToEnd::RunAsWindows(const std::string& version) {
    const char* key = "Software\\Wine\\AppDefaults\\Netrefit.exe";
    if (version.empty()) {
        ::SHDeleteKeyA(HKEY_CURRENT_USER, key);
        return;
    }
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, &handle, nullptr));
    LONG rc = ::RegSetValueExA(handle, "Version", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(version.c_str()),
                               static_cast<DWORD>(version.size() + 1));
    ::RegCloseKey(handle);
    ASSERT_EQ(ERROR_SUCCESS, rc);
}

void EndToEnd::Start(const std::vector<std::string>& environment, const std::string& arguments) {
    watching_ = false;
    if (watcher_.joinable())
        watcher_.join();
    std::string folder = program_.Path();
    folder.pop_back();
    bool started;
    {
        // The child copies this process's environment; the overrides hold only around its start.
        ScopedEnvironment overrides(environment);
        started = process_.Start(program_.File("Netrefit.exe"), arguments, folder);
    }
    ASSERT_TRUE(started);
    watching_ = true;
    mainWindowShown_ = false;
    anyWindowShown_ = false;
    watcher_ = test::Thread(&EndToEnd::WatchMainWindow, this);
}

void EndToEnd::WatchMainWindow() {
    while (watching_) {
        // Only visible windows are listed.
        for (HWND window : TopLevelWindows(process_.Id())) {
            anyWindowShown_ = true;
            if (::GetDlgItem(window, kModuleListControl) != nullptr &&
                ::GetDlgItem(window, kModuleListOk) != nullptr) {
                mainWindowShown_ = true;
            }
        }
        ::Sleep(20);
    }
}

DWORD EndToEnd::WaitForEnd(DWORD timeoutMs) {
    DWORD code = process_.Wait(timeoutMs);
    watching_ = false;
    if (watcher_.joinable())
        watcher_.join();
    return code;
}

HWND EndToEnd::WaitModuleList(DWORD timeoutMs) {
    // The progress window holds a control 1006 too; only the module list has the OK button.
    return WaitForTopLevel(process_.Id(), "Melorra Installer", kModuleListOk, timeoutMs);
}

bool EndToEnd::AcceptModuleList() {
    HWND list = WaitModuleList();
    if (list == nullptr) {
        DescribeProgramState();
        return false;
    }
    PressButton(list, kModuleListOk);
    return true;
}

void EndToEnd::DescribeProgramState() {
    std::string text = "the program's windows:";
    for (HWND window : TopLevelWindows(process_.Id())) {
        char kind[64] = "";
        ::GetClassNameA(window, kind, sizeof(kind));
        text += std::string(" [") + kind + " \"" + WindowText(window) + "\"" +
                (::IsWindowVisible(window) ? "" : " hidden") + "]";
    }
    DWORD code = process_.Wait(0);
    text += code == STILL_ACTIVE ? "; still running" : "; ended with " + std::to_string(code);
    text += "; processes:";
    for (const auto& [id, name] : PrefixProcesses())
        text += " " + name + "(" + std::to_string(id) + ")";
    ADD_FAILURE() << text;
}

HWND EndToEnd::WaitProgress(DWORD timeoutMs) {
    return WaitForTopLevel(process_.Id(), "Melorra Installer", kProgressCancel, timeoutMs);
}

std::string EndToEnd::Answer(int button, DWORD timeoutMs) {
    HWND box = WaitForProcessMessageBox(process_.Id(), timeoutMs);
    if (box == nullptr)
        return "<no message box>";
    std::string text = MessageBoxText(box);
    PressButton(box, button);
    WaitForWindowGone(box, 10000);
    return text;
}

HWND EndToEnd::WaitPasswordDialog() {
    return WaitForWindow(
        [](HWND window) {
            char kind[16] = "";
            HWND edit = ::GetDlgItem(window, 1005);
            ::GetClassNameA(edit, kind, sizeof(kind));
            return edit != nullptr && _stricmp(kind, "Edit") == 0 &&
                   ::GetDlgItem(window, IDOK) != nullptr;
        },
        kWindowWait, process_.Id());
}

bool EndToEnd::TypePassword(const std::string& password) {
    HWND dialog = WaitPasswordDialog();
    if (dialog == nullptr)
        return false;
    ::SendMessageA(::GetDlgItem(dialog, 1005), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(password.c_str()));
    PressButton(dialog, IDOK);
    return WaitForWindowGone(dialog, 10000);
}

bool StagesElevated() {
    DWORD version = ::GetVersion();
    HANDLE raw = nullptr;
    if ((version & 0x80000000u) != 0 || LOBYTE(LOWORD(version)) < 6 ||
        !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return false;
    }
    KernelHandle token(raw);
    DWORD elevated = 0;
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevated, sizeof(elevated), &size) &&
           elevated != 0;
}

std::string EndToEnd::WorkFolder() const {
    // Where the program stages. Wine runs programs with an elevated token on the Windows 7 it
    // shows, so there it is the protected folder under the common application data.
    char folder[MAX_PATH] = "";
    if (StagesElevated() &&
        SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder))) {
        return std::string(folder) + "\\Netrefit\\";
    }
    ::GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "Netrefit\\";
}

std::vector<std::string> EndToEnd::JournalNames() const {
    std::string bytes;
    std::vector<std::string> names;
    if (!ReadFileBytes(WorkFolder() + "Netrefit.log", &bytes))
        return names;
    for (size_t at = 0, end; (end = bytes.find('\0', at)) != std::string::npos; at = end + 1) {
        names.push_back(bytes.substr(at, end - at));
    }
    return names;
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

namespace {

// Lines of text that begin with prefix, without it, sorted.
std::vector<std::string> LinesAfter(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : TextLines(text)) {
        if (line.size() > prefix.size() && line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line.substr(prefix.size()));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

std::vector<std::string> EndToEnd::FilesSeenByInstaller() const {
    std::string log;
    ReadFileBytes(StandinLog(), &log);
    return LinesAfter(log, "file ");
}

std::vector<std::string> EndToEnd::FilesOfTheModules() const {
    std::string list;
    EXPECT_TRUE(ReadFileBytes(site_ + "expected-files.txt", &list));
    return LinesAfter(list, "");
}

std::string EndToEnd::StandinLog() const {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "NetrefitStandin.log";
}

}  // namespace netrefit::test
