// Refusals that depend on the installed suite and on the computer: each ends the program with
// one message, without the main window, and leaves no server information file behind.
#include <gtest/gtest.h>

#include <string>

#include "EndToEnd.h"

using namespace netrefit::test;

namespace {

const char kTargetMissing[] = "The target application for this upgrade does not exist on your PC.";
const char kNothingToDo[] =
    "It is not necessary to upgrade.  \nThe latest version of Melorra is already installed. ";

}  // namespace

TEST_F(EndToEnd, MissingTargetRemovesAWorkFolderWithoutArchives) {
    ClearSuiteRegistry();
    // Left over from an earlier run, but nothing a later run could resume.
    ASSERT_TRUE(::CreateDirectoryA(WorkFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(WorkFolder() + "notes.txt", "not an archive"));
    Start();
    EXPECT_EQ(kTargetMissing, Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_FALSE(FileExists(WorkFolder())) << "a work folder without archives is removed";
}

TEST_F(EndToEnd, MissingTargetKeepsAWorkFolderWithArchives) {
    ClearSuiteRegistry();
    ASSERT_TRUE(::CreateDirectoryA(WorkFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(WorkFolder() + "Melorra.zip", PatternBytes(1000)));
    Start();
    EXPECT_EQ(kTargetMissing, Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_TRUE(FileExists(WorkFolder() + "Melorra.zip")) << "downloads are kept for a later run";
    EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    EXPECT_FALSE(FileExists(ExtractFolder()));
}

TEST_F(EndToEnd, NoUsableWorkFolderIsRefused) {
    // A plain file where the work folder goes: neither entered, created nor repaired.
    TempDir scratch;
    std::string folder = WorkFolder();
    folder.pop_back();
    ASSERT_TRUE(WriteFileBytes(folder, "a file, not a folder"));
    // And for a plain token, a temporary folder below a plain file.
    ASSERT_TRUE(WriteFileBytes(scratch.File("blocker"), "a file, not a folder"));
    std::string temp = scratch.File("blocker") + "\\temp";
    Start({"TMP=" + temp, "TEMP=" + temp});
    EXPECT_EQ("Application initialization failed(003).", Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_FALSE(FileExists("C:\\Netrefit")) << "fell back to the root of the drive";
    EXPECT_FALSE(FileExists(temp));
    ::DeleteFileA(folder.c_str());
}

TEST_F(EndToEnd, NewerSuiteNeedsNothing) {
    InstallSuite(SuiteNewerThanSite());
    Start();
    EXPECT_EQ(kNothingToDo, Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_FALSE(FileExists(WorkFolder() + "Version_English.ini"));
    EXPECT_FALSE(FileExists(ExtractFolder()));
}

TEST_F(EndToEnd, ALeftOverFileThatCannotBeRemovedIsRefused) {
    // Something still holds a file of an earlier run: the installer would find it beside ours.
    ASSERT_TRUE(::CreateDirectoryA(WorkFolder().c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(ExtractFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(ExtractFolder() + "Setup.exe", "from an earlier run"));
    ASSERT_TRUE(WriteFileBytes(ExtractFolder() + "free.dat", "removable"));
    HANDLE held = ::CreateFileA((ExtractFolder() + "Setup.exe").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    int asked = Requests("/Version_English.ini");
    Start();
    EXPECT_EQ("Application initialization failed(002).", Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    ::CloseHandle(held);
    EXPECT_FALSE(MainWindowWasShown());
    EXPECT_EQ(asked, Requests("/Version_English.ini")) << "went on to the server";
    EXPECT_FALSE(FileExists(ExtractFolder() + "free.dat"));
}
