// Encrypted members: the worker asks through its replaceable prompt, at most three times per
// member, and keeps a working password for the rest of its archive only.

#include <gtest/gtest.h>

#include <string>

#include "ExtractTestSupport.h"

using namespace netrefit;
using namespace netrefit::test;

namespace {

std::string Archive(const std::string& name) {
    return ModuleFolder() + "unzip-archives\\" + name + ".zip";
}

std::string Reference(const std::string& name, const std::string& member) {
    std::string bytes;
    ReadFileBytes(ModuleFolder() + "unzip-archives\\ref\\" + name + "\\" + member, &bytes);
    return bytes;
}

std::string Extracted(const std::string& dest, const std::string& member) {
    std::string bytes;
    ReadFileBytes(dest + member, &bytes);
    return bytes;
}

const char kReadme[] = "tree\\readme.txt";
const char kNested[] = "tree\\docs\\deep\\er\\nested.txt";

TEST(Password, RightOnFirstTryIsAskedOnceForTwoMembers) {
    TempDir dir;
    ScriptedPrompt prompt({"secret"});
    auto reports = RunExtraction({Archive("zip-encrypted")}, dir.Path(), prompt.Prompt());
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(Extracted(dir.Path(), kReadme), Reference("zip-encrypted", kReadme));
    EXPECT_EQ(Extracted(dir.Path(), kNested), Reference("zip-encrypted", kNested));
}

TEST(Password, WrongThenRight) {
    TempDir dir;
    ScriptedPrompt prompt({"Secret", "secret"});
    auto reports = RunExtraction({Archive("zip-encrypted")}, dir.Path(), prompt.Prompt());
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_EQ(prompt.asked, 2);
    EXPECT_EQ(Extracted(dir.Path(), kNested), Reference("zip-encrypted", kNested));
}

TEST(Password, ThreeWrongFailTheArchive) {
    TempDir dir;
    ScriptedPrompt prompt({"a", "b", "c", "secret"});
    auto reports = RunExtraction({Archive("zip-encrypted"), Archive("zip-stored")}, dir.Path(),
                                 prompt.Prompt());
    ASSERT_EQ(FinalStatus(reports), ExtractFailed);
    EXPECT_EQ(reports.back().text, "Module 1");
    EXPECT_EQ(prompt.asked, 3);
    EXPECT_FALSE(FileExists(dir.File("tree\\noise.bin"))) << "later archives are not extracted";
    EXPECT_NE(Extracted(dir.Path(), kReadme), Reference("zip-encrypted", kReadme));
}

TEST(Password, NoPromptMeansNoPassword) {
    TempDir dir;
    auto reports = RunExtraction({Archive("zip-encrypted")}, dir.Path());
    EXPECT_EQ(FinalStatus(reports), ExtractFailed);
}

TEST(Password, MemberWithOtherPasswordAsksAgain) {
    TempDir dir;
    ScriptedPrompt prompt({"secret", "other"});
    auto reports = RunExtraction({Archive("zip-two-passwords")}, dir.Path(), prompt.Prompt());
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_EQ(prompt.asked, 2);
}

TEST(Password, NextArchiveAsksAgainEvenForTheSamePassword) {
    TempDir dir;
    std::string copy = dir.File("copy.zip");
    ASSERT_TRUE(::CopyFileA(Archive("zip-encrypted").c_str(), copy.c_str(), FALSE));
    std::string dest = dir.File("out\\");
    ScriptedPrompt prompt({"secret", "secret"});
    auto reports = RunExtraction({Archive("zip-encrypted"), copy}, dest, prompt.Prompt());
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_EQ(prompt.asked, 2);
}

TEST(Password, DefaultPromptServesExtractorsWithoutTheirOwn) {
    TempDir dir;
    ScriptedPrompt prompt({"secret"});
    ZipExtractor::SetDefaultPasswordPrompt(prompt.Prompt());
    auto reports = RunExtraction({Archive("zip-encrypted")}, dir.Path());
    ZipExtractor::SetDefaultPasswordPrompt(nullptr);
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_EQ(prompt.asked, 1);
}

TEST(Password, PromptRunsOnTheWorkerThread) {
    TempDir dir;
    DWORD caller = ::GetCurrentThreadId();
    DWORD asker = caller;
    auto reports = RunExtraction({Archive("zip-encrypted")}, dir.Path(), [&asker](PromptSlot&) {
        asker = ::GetCurrentThreadId();
        return std::string("secret");
    });
    EXPECT_EQ(FinalStatus(reports), ExtractDone);
    EXPECT_NE(asker, caller);
    EXPECT_EQ(asker, reports.back().thread);
}

}  // namespace
