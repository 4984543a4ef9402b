#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "InventoryTestSupport.h"
#include "inventory/InstalledCatalog.h"
#include "inventory/MachineProbes.h"
#include "support/CurrentDirectoryScope.h"
#include "support/MachineRegistry.h"
#include "support/TestFiles.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

// The folders of either view of a 64-bit Windows, found without the code under test: the
// suite's (32-bit) one, which the detection reads in both builds, and the other one.
std::string ViewSystemFolder(bool suite) {
    char folder[MAX_PATH] = "";
#ifdef _WIN64
    suite ? ::GetSystemWow64DirectoryA(folder, MAX_PATH) : ::GetSystemDirectoryA(folder, MAX_PATH);
#else
    suite ? ::GetSystemDirectoryA(folder, MAX_PATH) : ::GetWindowsDirectoryA(folder, MAX_PATH);
    std::strcat(folder, suite ? "" : "\\Sysnative");  // the 64-bit one, seen from 32 bits
#endif
    return std::string(folder) + "\\";
}

std::string ViewCommonFiles(bool suite) {
    char folder[MAX_PATH] = "";
    ::GetEnvironmentVariableA(suite ? "CommonProgramFiles(x86)" : "CommonProgramW6432", folder,
                              MAX_PATH);
    return std::string(folder) + "\\";
}

std::string SystemFolder() {
    return ViewSystemFolder(true);
}

std::string Built(const char* name) {
    return ModuleFolder() + name;
}

std::string OwnFileName() {
    char module[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    return ::PathFindFileNameA(module);
}

// The DirectX setup library in the system folder, present only while a test puts it there.
class DirectXDetection : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(FileExists(installed_)) << "the prefix already has a DirectX setup library";
    }
    void TearDown() override {
        ::DeleteFileA(installed_.c_str());
        ::DeleteFileA(beside_.c_str());
    }

    const std::string installed_ = SystemFolder() + "DSETUP.dll";
    const std::string beside_ = ModuleFolder() + "DSETUP.dll";
};

}  // namespace

TEST_F(DirectXDetection, StandInInTheSystemFolderGivesItsVersion) {
    ASSERT_TRUE(::CopyFileA(Built("dsetup_standin.dll").c_str(), installed_.c_str(), FALSE));
    InstalledCatalog catalog;
    ComponentVersion* directX = catalog.DirectX();
    EXPECT_EQ("4.9.0.904", VersionText(directX));
    ASSERT_NE(nullptr, directX);
    EXPECT_EQ(kKindDirectX, directX->Kind());
    // The library is released again, so it can be replaced or removed.
    EXPECT_TRUE(::DeleteFileA(installed_.c_str()));
}

TEST_F(DirectXDetection, NoSetupLibraryMeansNotInstalled) {
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.DirectX());
    uint32_t version = 7;
    uint32_t revision = 7;
    EXPECT_FALSE(QueryDirectXVersion(&version, &revision));
    EXPECT_EQ(7u, version);
}

TEST_F(DirectXDetection, LibraryWithoutTheVersionExportMeansNotInstalled) {
    ASSERT_TRUE(::CopyFileA(Built("dsetup_wrong_ordinal.dll").c_str(), installed_.c_str(), FALSE));
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.DirectX());
}

TEST_F(DirectXDetection, LibraryOfThatNameInTheCurrentDirectoryIsNotLoaded) {
    CurrentDirectoryScope restore;
    TempDir downloads;
    ASSERT_TRUE(::SetCurrentDirectoryA(downloads.Path().c_str()));
    ASSERT_TRUE(::CopyFileA(Built("dsetup_standin.dll").c_str(),
                            downloads.File("DSETUP.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(Built("dsetup_standin.dll").c_str(), beside_.c_str(), FALSE));
    InstalledCatalog catalog;
    EXPECT_EQ(nullptr, catalog.DirectX());
    EXPECT_EQ(nullptr, ::GetModuleHandleA("DSETUP.dll"));

    // With the library in the system folder the one there answers, not the one here (which
    // lacks the export and would make the detection fail).
    ASSERT_TRUE(::CopyFileA(Built("dsetup_wrong_ordinal.dll").c_str(),
                            downloads.File("DSETUP.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(Built("dsetup_standin.dll").c_str(), installed_.c_str(), FALSE));
    EXPECT_EQ("4.9.0.904", VersionText(catalog.DirectX()));
}

namespace {

// MDAC's data-access libraries in the common files folder; Msdadc.dll exists only while a test
// puts it there (the prefix itself brings Oledb32.dll).
class MdacDetection : public ::testing::Test {
  protected:
    void SetUp() override {
        oleDb_ = ViewCommonFiles(true) + "System\\Ole DB\\";
        ASSERT_FALSE(FileExists(oleDb_ + "Msdadc.dll"));
    }
    void TearDown() override { ::DeleteFileA((oleDb_ + "Msdadc.dll").c_str()); }

    std::string oleDb_;
};

}  // namespace

TEST_F(MdacDetection, VersionResourceOfMsdadcComesFirst) {
    ASSERT_TRUE(
        ::CopyFileA(Built("mdac_standin.dll").c_str(), (oleDb_ + "Msdadc.dll").c_str(), FALSE));
    InstalledCatalog catalog;
    EXPECT_EQ("2.81.1117.6", VersionText(catalog.MDAC()));
    EXPECT_EQ(kKindMdac, catalog.MDAC()->Kind());
}

TEST_F(MdacDetection, OledbIsUsedWhenMsdadcHasNoVersion) {
    char expected[32] = "";
    ASSERT_EQ(1, GetFileVersionText((oleDb_ + "Oledb32.dll").c_str(), expected, sizeof(expected)));
    {
        InstalledCatalog catalog;
        EXPECT_EQ(expected, VersionText(catalog.MDAC())) << "no Msdadc.dll at all";
    }
    ASSERT_TRUE(WriteFileBytes(oleDb_ + "Msdadc.dll", "no version resource here"));
    InstalledCatalog catalog;
    EXPECT_EQ(expected, VersionText(catalog.MDAC()));
}

namespace {

// The system's Windows Media Format library is set aside while a test runs, then put back.
class WmfDetection : public ::testing::Test {
  protected:
    void SetUp() override {
        WIN32_FIND_DATAA found;
        HANDLE find = ::FindFirstFileA(library_.c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            ::FindClose(find);
            original_ = SystemFolder() + found.cFileName;  // put back under its own spelling
            ASSERT_TRUE(
                ::MoveFileExA(original_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING));
        }
    }
    void TearDown() override {
        ::DeleteFileA(library_.c_str());
        if (!original_.empty()) {
            ::MoveFileExA(saved_.c_str(), original_.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }

    const std::string library_ = SystemFolder() + "WMVcore.dll";
    const std::string saved_ = SystemFolder() + "WMVcore.dll.nrtest";
    std::string original_;
};

}  // namespace

TEST_F(WmfDetection, VersionResourceOfTheSystemLibrary) {
    {
        InstalledCatalog catalog;
        EXPECT_EQ(nullptr, catalog.WMFSDK());
    }
    ASSERT_TRUE(::CopyFileA(Built("wmf_standin.dll").c_str(), library_.c_str(), FALSE));
    InstalledCatalog catalog;
    EXPECT_EQ("9.0.0.3250", VersionText(catalog.WMFSDK()));
    EXPECT_EQ(kKindWindowsMediaFormat, catalog.WMFSDK()->Kind());
}

namespace {

// A platform component's library as the detection looks for it in one view's folder.
struct ViewProbe {
    const char* name;
    const char* standIn;  // built beside the tests
    bool commonFiles;     // under the common files folder, else in the system folder
    const char* file;     // relative to that folder
    const char* version;  // the stand-in's
    std::string (*detect)();
};

void PrintTo(const ViewProbe& probe, std::ostream* out) {
    *out << probe.name;
}

// Both views' copies of the library are set aside while a test runs, then put back.
class OnlyTheSuitesView : public ::testing::TestWithParam<ViewProbe> {
  protected:
    std::string Target(bool suite) const {
        const ViewProbe& probe = GetParam();
        return (probe.commonFiles ? ViewCommonFiles(suite) : ViewSystemFolder(suite)) + probe.file;
    }
    void SetUp() override {
        for (bool suite : {true, false}) {
            if (::MoveFileExA(Target(suite).c_str(), (Target(suite) + ".nrtest").c_str(),
                              MOVEFILE_REPLACE_EXISTING)) {
                setAside_.push_back(Target(suite));
            }
        }
    }
    void TearDown() override {
        for (bool suite : {true, false}) {
            ::DeleteFileA(Target(suite).c_str());
        }
        for (const std::string& target : setAside_) {
            ::MoveFileExA((target + ".nrtest").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }

    std::vector<std::string> setAside_;
};

}  // namespace

TEST_P(OnlyTheSuitesView, TheOtherViewsLibraryIsNotRead) {
    const ViewProbe& probe = GetParam();
    ASSERT_TRUE(::PathIsDirectoryA(ViewSystemFolder(false).c_str())) << "a 64-bit system";
    ASSERT_NE(Target(false), Target(true));
    ASSERT_TRUE(::CopyFileA(Built(probe.standIn).c_str(), Target(false).c_str(), FALSE));
    EXPECT_NE(probe.version, probe.detect()) << "read from " << Target(false);
    ASSERT_TRUE(::CopyFileA(Built(probe.standIn).c_str(), Target(true).c_str(), FALSE));
    EXPECT_EQ(probe.version, probe.detect()) << "not read from " << Target(true);
}

INSTANTIATE_TEST_SUITE_P(
    Platform,
    OnlyTheSuitesView,
    ::testing::Values(ViewProbe{"DirectX", "dsetup_standin.dll", false, "DSETUP.dll", "4.9.0.904",
                                [] { return VersionText(InstalledCatalog().DirectX()); }},
                      ViewProbe{"MDAC", "mdac_standin.dll", true, "System\\Ole DB\\Msdadc.dll",
                                "2.81.1117.6",
                                [] { return VersionText(InstalledCatalog().MDAC()); }},
                      ViewProbe{"WMF", "wmf_standin.dll", false, "WMVcore.dll", "9.0.0.3250",
                                [] { return VersionText(InstalledCatalog().WMFSDK()); }}),
    [](const ::testing::TestParamInfo<ViewProbe>& info) { return std::string(info.param.name); });

TEST(SelfDetection, OwnVersionResourceInTheGivenFolder) {
    std::string folder = ModuleFolder();
    InstalledCatalog withSlash;
    EXPECT_EQ("3.1.4.15", VersionText(withSlash.UpdateAgent(folder.c_str())));
    EXPECT_EQ(kKindUpdateAgent, withSlash.UpdateAgent(folder.c_str())->Kind());
    EXPECT_EQ(withSlash.UpdateAgent(folder.c_str()), withSlash.Get(kSlotUpdateAgent));

    folder.pop_back();
    InstalledCatalog withoutSlash;
    EXPECT_EQ("3.1.4.15", VersionText(withoutSlash.UpdateAgent(folder.c_str())));

    CurrentDirectoryScope restore;
    ASSERT_TRUE(::SetCurrentDirectoryA(ModuleFolder().c_str()));
    InstalledCatalog relative;
    EXPECT_EQ("3.1.4.15", VersionText(relative.UpdateAgent(nullptr)));
}

TEST(SelfDetection, CopyWithoutVersionResourceOrNoCopyIsUnknown) {
    TempDir copy;
    InstalledCatalog absent;
    EXPECT_EQ(nullptr, absent.UpdateAgent(copy.Path().c_str()));
    ASSERT_TRUE(WriteFileBytes(copy.File(OwnFileName()), "MZ but nothing else"));
    InstalledCatalog unversioned;
    EXPECT_EQ(nullptr, unversioned.UpdateAgent(copy.Path().c_str()));
    std::string tooLong = "C:\\" + std::string(260, 'f') + "\\";
    InstalledCatalog longFolder;
    EXPECT_EQ(nullptr, longFolder.UpdateAgent(tooLong.c_str()));
}

TEST(MachineProbes, ReadFirstLineBoundaries) {
    TempDir dir;
    std::string file = dir.File("Version.txt");
    ASSERT_TRUE(WriteFileBytes(file, "2.0.0.123\r\nsecond\r\n"));
    char buffer[24];
    std::memset(buffer, 'x', sizeof(buffer));
    ASSERT_EQ(1, ReadFirstLine(file.c_str(), buffer, sizeof(buffer)));
    EXPECT_STREQ("2.0.0.123", buffer);
    ASSERT_EQ(1, ReadFirstLine(file.c_str(), buffer, 5));
    EXPECT_STREQ("2.0.", buffer) << "at most size - 1 characters";
    ASSERT_EQ(1, ReadFirstLine(file.c_str(), buffer, 1));
    EXPECT_STREQ("", buffer);

    ASSERT_TRUE(WriteFileBytes(file, ""));
    std::strcpy(buffer, "old");
    EXPECT_EQ(1, ReadFirstLine(file.c_str(), buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);

    std::strcpy(buffer, "old");
    EXPECT_EQ(0, ReadFirstLine(dir.File("missing.txt").c_str(), buffer, sizeof(buffer)));
    EXPECT_EQ(0, ReadFirstLine(dir.Path().c_str(), buffer, sizeof(buffer))) << "a folder";
    EXPECT_EQ(0, ReadFirstLine("", buffer, sizeof(buffer)));
    EXPECT_EQ(0, ReadFirstLine(nullptr, buffer, sizeof(buffer)));
    EXPECT_EQ(0, ReadFirstLine(file.c_str(), nullptr, sizeof(buffer)));
    EXPECT_EQ(0, ReadFirstLine(file.c_str(), buffer, 0));
    EXPECT_STREQ("old", buffer);
}

TEST(MachineProbes, ReadFirstLineOfAFileHeldWithoutSharingFails) {
    TempDir dir;
    std::string file = dir.File("Version.txt");
    ASSERT_TRUE(WriteFileBytes(file, "2.0.0.123\n"));
    HANDLE held = ::CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    char buffer[24] = "untouched";
    EXPECT_EQ(0, ReadFirstLine(file.c_str(), buffer, sizeof(buffer)));
    EXPECT_STREQ("untouched", buffer);
    ::CloseHandle(held);
    EXPECT_EQ(1, ReadFirstLine(file.c_str(), buffer, sizeof(buffer)));
    EXPECT_STREQ("2.0.0.123", buffer);
}

TEST(MachineProbes, FileVersionTextIsWrittenOnlyWhenItFits) {
    std::string library = Built("wmf_standin.dll");
    char buffer[16];
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(0, GetFileVersionText(library.c_str(), buffer, 10)) << "\"9.0.0.3250\" needs 11";
    EXPECT_STREQ("untouched", buffer);
    EXPECT_EQ(1, GetFileVersionText(library.c_str(), buffer, 11));
    EXPECT_STREQ("9.0.0.3250", buffer);

    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("plain.dll"), PatternBytes(4096)));
    EXPECT_EQ(0, GetFileVersionText(dir.File("plain.dll").c_str(), buffer, sizeof(buffer)));
    EXPECT_EQ(0, GetFileVersionText(dir.File("missing.dll").c_str(), buffer, sizeof(buffer)));
    EXPECT_EQ(0, GetFileVersionText(nullptr, buffer, sizeof(buffer)));
    EXPECT_EQ(0, GetFileVersionText(library.c_str(), nullptr, sizeof(buffer)));
    EXPECT_EQ(0, GetFileVersionText(library.c_str(), buffer, 0));
}

TEST(MachineProbes, SpecialFolderIsCopiedOnlyWithItsTerminator) {
    char folder[MAX_PATH] = "";
    ASSERT_EQ(1, GetSpecialFolder(CSIDL_PROGRAM_FILES_COMMON, folder, sizeof(folder)));
    EXPECT_TRUE(::PathIsDirectoryA(folder)) << folder;
    size_t length = std::strlen(folder);
    char exact[MAX_PATH];
    std::strcpy(exact, "untouched");
    EXPECT_EQ(0, GetSpecialFolder(CSIDL_PROGRAM_FILES_COMMON, exact, length));
    EXPECT_STREQ("untouched", exact);
    EXPECT_EQ(1, GetSpecialFolder(CSIDL_PROGRAM_FILES_COMMON, exact, length + 1));
    EXPECT_STREQ(folder, exact);
    EXPECT_EQ(0, GetSpecialFolder(CSIDL_PROGRAM_FILES_COMMON, nullptr, sizeof(folder)));
}

TEST(MachineProbes, JoinPathStopsBeforeTheWindowsPathLimit) {
    std::string path;
    ASSERT_TRUE(JoinPath("C:\\dir", "file", &path));
    EXPECT_EQ("C:\\dir\\file", path);
    ASSERT_TRUE(JoinPath("C:\\dir\\", "file", &path));
    EXPECT_EQ("C:\\dir\\file", path);
    std::string folder = "C:\\" + std::string(244, 'f') + "\\";  // 248 characters
    ASSERT_TRUE(JoinPath(folder, "Version.txt", &path));
    EXPECT_EQ(259u, path.size());
    EXPECT_FALSE(JoinPath(folder + "g", "Version.txt", &path));
    EXPECT_EQ(259u, path.size()) << "left as it was";
}

// A 32-bit number is read as any value of exactly four bytes, whatever type it was written with.
TEST(MachineProbes, NumbersAreValuesOfExactlyFourBytes) {
    const std::string key = "Software\\Netrefit Test\\Numbers";
    struct Case {
        DWORD type;
        std::string bytes;
        bool read;
    };
    const Case cases[] = {
        {REG_DWORD, std::string("\x78\x56\x34\x12", 4), true},
        {REG_BINARY, std::string("\x78\x56\x34\x12", 4), true},
        {REG_BINARY, std::string("\x78\x56\x34", 3), false},
        {REG_BINARY, std::string("\x78\x56\x34\x12\x00\x00\x00\x00", 8), false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(test::SetMachineRaw(key, "Value", c.type, c.bytes));
        uint32_t number = 5;
        EXPECT_EQ(ReadMachineNumber(key.c_str(), "Value", &number), c.read) << c.bytes.size();
        EXPECT_EQ(number, c.read ? 0x12345678u : 5u) << c.bytes.size();
    }
    test::DeleteMachineKey(key);
}

TEST(MachineProbes, MissingRegistryValuesAreReportedAsMissing) {
    std::string text = "kept";
    uint32_t number = 5;
    EXPECT_FALSE(ReadMachineText("Software\\Netrefit Test\\Absent", "Value", 24, &text));
    EXPECT_FALSE(ReadMachineNumber("Software\\Netrefit Test\\Absent", "Value", &number));
    EXPECT_FALSE(ReadMachineText(nullptr, "Value", 24, &text));
    EXPECT_FALSE(ReadMachineText("Software", "Value", 0, &text));
    EXPECT_EQ("kept", text);
    EXPECT_EQ(5u, number);
    // A value Windows always has.
    EXPECT_TRUE(ReadMachineText("Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                                261, &text));
    EXPECT_FALSE(text.empty());
}

namespace {

// A copy of a versioned library whose version resource lost its signature.
bool WriteUnsignedVersionCopy(const std::string& source, const std::string& target) {
    HMODULE data = ::LoadLibraryExA(source.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (data == nullptr) {
        return false;
    }
    std::string bytes;
    HRSRC found = ::FindResourceA(data, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(data, found) : nullptr;
    if (loaded != nullptr) {
        bytes.assign(static_cast<const char*>(::LockResource(loaded)),
                     ::SizeofResource(data, found));
    }
    ::FreeLibrary(data);
    const DWORD signature = VS_FFI_SIGNATURE;
    size_t at = bytes.find(std::string(reinterpret_cast<const char*>(&signature), 4));
    if (at == std::string::npos || !::CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        return false;
    }
    bytes[at] = 0;
    HANDLE update = ::BeginUpdateResourceA(target.c_str(), TRUE);
    if (update == nullptr) {
        return false;
    }
    bool ok = ::UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &bytes[0],
                                static_cast<DWORD>(bytes.size()));
    return ::EndUpdateResourceA(update, !ok) && ok;
}

}  // namespace

TEST(MachineProbes, VersionResourceWithoutItsSignatureGivesNoVersion) {
    TempDir dir;
    std::string copy = dir.File("unsigned.dll");
    ASSERT_TRUE(WriteUnsignedVersionCopy(Built("wmf_standin.dll"), copy));
    DWORD ignored = 0;
    ASSERT_NE(0u, ::GetFileVersionInfoSizeA(copy.c_str(), &ignored)) << "resource still there";
    char buffer[32] = "untouched";
    EXPECT_EQ(0, GetFileVersionText(copy.c_str(), buffer, sizeof(buffer)));
    EXPECT_STREQ("untouched", buffer);
}
