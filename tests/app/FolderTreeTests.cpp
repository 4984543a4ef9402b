#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "app/FolderTree.h"
#include "app/SystemActions.h"
#include "app/WorkFolder.h"
#include "common/SecurityDescriptor.h"
#include "common/UniqueHandle.h"
#include "inventory/MachineProbes.h"
#include "support/CurrentDirectoryScope.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

class FolderTree : public ::testing::Test {
  protected:
    std::string Folder(const std::string& relative) {
        std::string path = dir_.File(relative);
        ::CreateDirectoryA(path.c_str(), nullptr);
        return path + "\\";
    }

    TempDir dir_;
    // Declared after the folder: the tests step into it, and it cannot go while it is current.
    CurrentDirectoryScope directory_;
};

}  // namespace

TEST_F(FolderTree, DeletesNestedFoldersAndProtectedFiles) {
    std::string root = Folder("Extract");
    std::string sub = Folder("Extract\\Data");
    Folder("Extract\\Data\\Deeper");
    Folder("Extract\\Empty");
    ASSERT_TRUE(WriteFileBytes(root + "Setup.exe", "MZ"));
    ASSERT_TRUE(WriteFileBytes(sub + "readonly.dat", "r"));
    ASSERT_TRUE(WriteFileBytes(sub + "Deeper\\hidden.dat", "h"));
    ::SetFileAttributesA((sub + "readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesA((sub + "Deeper\\hidden.dat").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(WriteFileBytes(dir_.File("beside.txt"), "keep"));

    DeleteFolderTree(root.c_str());

    EXPECT_FALSE(FileExists(root));
    EXPECT_TRUE(FileExists(dir_.File("beside.txt"))) << "deleted outside the folder";
    EXPECT_TRUE(FileExists(dir_.Path()));
}

TEST_F(FolderTree, FolderWithoutTrailingBackslash) {
    std::string root = Folder("Work");
    ASSERT_TRUE(WriteFileBytes(root + "a.zip", "z"));
    root.pop_back();
    DeleteFolderTree(root.c_str());
    EXPECT_FALSE(FileExists(root));
}

TEST_F(FolderTree, AFileHeldOpenStaysAndTheRestGoes) {
    std::string root = Folder("Busy");
    ASSERT_TRUE(WriteFileBytes(root + "held.bin", "held"));
    ASSERT_TRUE(WriteFileBytes(root + "free.bin", "free"));
    HANDLE held = ::CreateFileA((root + "held.bin").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    DeleteFolderTree(root.c_str());

    EXPECT_TRUE(FileExists(root + "held.bin"));
    EXPECT_FALSE(FileExists(root + "free.bin"));
    ::CloseHandle(held);
    DeleteFolderTree(root.c_str());
    EXPECT_FALSE(FileExists(root));
}

TEST_F(FolderTree, MissingOrEmptyFolderIsANoOp) {
    ASSERT_TRUE(WriteFileBytes(dir_.File("keep.txt"), "k"));
    ::SetCurrentDirectoryA(dir_.Path().c_str());
    DeleteFolderTree(nullptr);
    DeleteFolderTree("");
    DeleteFolderTree(dir_.File("missing\\").c_str());
    EXPECT_TRUE(FileExists(dir_.File("keep.txt")));
}

TEST_F(FolderTree, IsEmptyFolder) {
    std::string empty = Folder("Empty");
    EXPECT_TRUE(IsEmptyFolder(empty.c_str()));
    empty.pop_back();
    EXPECT_TRUE(IsEmptyFolder(empty.c_str())) << "without a trailing backslash";
    std::string withFolder = Folder("WithFolder");
    Folder("WithFolder\\inner");
    EXPECT_FALSE(IsEmptyFolder(withFolder.c_str()));
    std::string withFile = Folder("WithFile");
    ASSERT_TRUE(WriteFileBytes(withFile + "hidden.bin", "h"));
    ::SetFileAttributesA((withFile + "hidden.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(IsEmptyFolder(withFile.c_str()));
    EXPECT_FALSE(IsEmptyFolder((withFile + "hidden.bin").c_str())) << "a file is no folder";
    EXPECT_FALSE(IsEmptyFolder(dir_.File("missing\\").c_str()));
    EXPECT_FALSE(IsEmptyFolder(nullptr));
    EXPECT_FALSE(IsEmptyFolder(""));
}

TEST_F(FolderTree, ContainsZipArchives) {
    std::string work = Folder("Netrefit");
    EXPECT_FALSE(ContainsZipArchives(work.c_str()));
    ASSERT_TRUE(WriteFileBytes(work + "Netrefit.log", ""));
    ASSERT_TRUE(WriteFileBytes(work + "notes.txt", ""));
    Folder("Netrefit\\sub.zip.d");
    EXPECT_FALSE(ContainsZipArchives(work.c_str()));
    ASSERT_TRUE(WriteFileBytes(work + "Module.ZIP", "PK"));
    EXPECT_TRUE(ContainsZipArchives(work.c_str()));

    // What cannot be looked into is treated as holding archives, so nobody deletes it.
    EXPECT_TRUE(ContainsZipArchives(nullptr));
    EXPECT_TRUE(ContainsZipArchives(dir_.File("missing\\").c_str()));
}

TEST(SystemActions, EnablePrivilege) {
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", nullptr, true));
    EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", "", false));
    EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege", nullptr, true));
}

namespace {

// Links planted by tests/support/plant-links (a Unix link to a folder, which Wine reports as
// Windows reports a junction).
const std::string kLinks = "C:\\netrefit-links\\";

}  // namespace

TEST(WorkFolder, TheProtectedDescriptorLetsOnlyAdministratorsAndTheSystemIn) {
    SddlDescriptor descriptor(kProtectedFolderSddl);
    ASSERT_NE(nullptr, descriptor.get());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "inherits from its parent";
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    BOOL present = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl != nullptr);
    ASSERT_EQ(2, acl->AceCount);
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                    ::IsWellKnownSid(sid, WinLocalSystemSid));
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags);
    }
}

// Wine keeps no descriptor on disk but turns the access given into the Unix mode, and reports
// that back: everyone's access shows as an Everyone entry.
TEST(WorkFolder, ElevatedStagesInAProtectedFolderMadeOrRepairedEachRun) {
    char common[MAX_PATH] = "";
    ASSERT_TRUE(GetSpecialFolder(CSIDL_COMMON_APPDATA, common, sizeof(common)));
    std::string expected = std::string(common) + "\\Netrefit\\";
    ::RemoveDirectoryA(expected.c_str());
    // Made, then repaired after someone opened it to everyone.
    for (const char* start : {"made", "repaired"}) {
        EXPECT_EQ(expected, ChooseWorkFolder(TokenKind::Elevated)) << start;
        EXPECT_EQ(std::string::npos, SecurityText(expected).find(";;;WD)")) << start;
        SddlDescriptor open("D:(A;OICI;FA;;;WD)");
        ASSERT_TRUE(::SetFileSecurityA(expected.c_str(), DACL_SECURITY_INFORMATION, open.get()));
        ASSERT_NE(std::string::npos, SecurityText(expected).find(";;;WD)"));
    }
}

TEST(WorkFolder, PlainStagesInTheTemporaryFolderUntouched) {
    char temp[MAX_PATH] = "";
    ASSERT_NE(0u, ::GetTempPathA(sizeof(temp), temp));
    std::string expected = std::string(temp) + "Netrefit\\";
    ::CreateDirectoryA(expected.c_str(), nullptr);
    std::string before = SecurityText(expected);
    EXPECT_EQ(expected, ChooseWorkFolder(TokenKind::Plain));
    EXPECT_EQ(before, SecurityText(expected)) << "the user's own folder was given another owner";
    // No temporary folder that is a folder, or a link in the work folder's place: no work folder
    // at all, never the drive's root.
    TempDir scratch;
    ASSERT_TRUE(WriteFileBytes(scratch.File("file"), "x"));
    for (const std::string& unusable :
         {scratch.File("file") + "\\temp", scratch.File("missing"), kLinks + "temp\\"}) {
        ScopedEnvironment environment({"TMP=" + unusable, "TEMP=" + unusable});
        EXPECT_EQ("", ChooseWorkFolder(TokenKind::Plain)) << unusable;
    }
}

TEST(WorkFolder, LinksAreRefusedNeverFollowed) {
    ASSERT_TRUE(IsLinkPath(kLinks + "linked") && IsLinkPath(kLinks + "deleting\\link\\"))
        << "plant them first: tests/support/plant-links PREFIX";
    EXPECT_FALSE(IsLinkPath(kLinks + "outside\\"));
    EXPECT_FALSE(IsLinkPath(kLinks + "missing"));
    CurrentDirectoryScope directory;
    std::string before = SecurityText(kLinks + "outside");
    EXPECT_FALSE(MakeProtectedFolder(kLinks + "linked\\"));
    EXPECT_EQ(before, SecurityText(kLinks + "outside"));
    bool required = false;
    EXPECT_FALSE(HoldFolder(kLinks + "linked\\", &required).valid());
    // Deleting a folder that holds a link, or that is one, leaves what the link leads to.
    DeleteFolderTree((kLinks + "deleting\\").c_str());
    DeleteFolderTree((kLinks + "linked\\").c_str());
    EXPECT_TRUE(FileExists(kLinks + "outside\\victim.txt"));
}

TEST_F(FolderTree, AHeldFolderCannotBeRenamedOrRemovedUntilLetGo) {
    std::string folder = Folder("Extract");
    ASSERT_TRUE(WriteFileBytes(folder + "Setup.exe", "MZ"));
    bool required = false;
    FileHandle held = HoldFolder(folder, &required);
    ASSERT_TRUE(held.valid());
    EXPECT_TRUE(required);
    std::string bare = dir_.File("Extract");
    EXPECT_FALSE(::MoveFileA(bare.c_str(), dir_.File("Moved").c_str()));
    EXPECT_FALSE(::RemoveDirectoryA(bare.c_str()));
    EXPECT_TRUE(WriteFileBytes(folder + "more.dat", "files come and go inside"));
    held.reset();
    EXPECT_TRUE(::MoveFileA(bare.c_str(), dir_.File("Moved").c_str()));
}
