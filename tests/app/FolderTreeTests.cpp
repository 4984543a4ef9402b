#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/FolderTree.h"
#include "app/SystemActions.h"
#include "support/CurrentDirectoryScope.h"
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
