// Encrypted members: the worker asks through its replaceable prompt, at most three times per
// member, and keeps a working password for the rest of its archive only.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ExtractTestSupport.h"
#include "support/WindowDriver.h"

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

// A prompt that shows a window and holds it open until the slot ends it, as the password
// dialog does. It gives up after kGiveUpMs, answering the right password, so that a prompt the
// slot never ends fails the test instead of hanging the binary.
class HeldPrompt {
  public:
    static constexpr DWORD kGiveUpMs = 20000;

    HeldPrompt() : opened_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~HeldPrompt() { ::CloseHandle(opened_); }

    PasswordPrompt Prompt() {
        return [this](PromptSlot& slot) { return Hold(slot); };
    }
    // True once a prompt window is open.
    bool WaitOpened() { return ::WaitForSingleObject(opened_, kWindowWait) == WAIT_OBJECT_0; }

    int asked = 0;
    int refused = 0;      // the slot was cancelled before the window was entered
    int endedBySlot = 0;  // the slot's cancel ended the open window
    int gaveUp = 0;
    HWND window = nullptr;  // the last window shown

  private:
    std::string Hold(PromptSlot& slot) {
        ++asked;
        window = ::CreateWindowExA(0, "STATIC", "Held prompt", WS_POPUP, 0, 0, 1, 1, nullptr,
                                   nullptr, nullptr, nullptr);
        if (window == nullptr) {
            return std::string();
        }
        bool ended = false;
        if (!slot.Enter(window)) {
            ++refused;
            ended = true;
        } else {
            ::SetEvent(opened_);
        }
        DWORD start = ::GetTickCount();
        while (!ended) {
            DWORD waited = ::GetTickCount() - start;
            if (waited >= kGiveUpMs) {
                ++gaveUp;
                break;
            }
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kGiveUpMs - waited, QS_ALLINPUT);
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.hwnd == window && message.message == UM_END_PROMPT) {
                    ++endedBySlot;
                    ended = true;
                } else {
                    ::DispatchMessageA(&message);
                }
            }
        }
        slot.Leave(window);
        ::DestroyWindow(window);
        return ended ? std::string() : std::string("secret");
    }

    HANDLE opened_;
};

// The files (not folders) below folder.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    SnapshotTree(folder, "", &entries);
    std::vector<std::string> files;
    for (const auto& entry : entries) {
        if (entry.first.empty() || entry.first.back() != '/') {
            files.push_back(entry.first);
        }
    }
    return files;
}

// The owner's cancel (pause, then cancel) while the prompt is open ends the prompt and the
// worker at once, not after the cancel wait, and leaves no empty file for the member.
TEST(Password, CancelEndsTheOpenPromptAndTheWorker) {
    TempDir dir;
    HeldPrompt prompt;
    ExtractRecorder recorder;
    ZipExtractor extractor;
    recorder.Attach(&extractor, dir.Path());
    extractor.SetPasswordPrompt(prompt.Prompt());
    extractor.Start({Archive("zip-encrypted")}, {"Module 1"});
    ASSERT_TRUE(prompt.WaitOpened());
    extractor.Pause(true);
    DWORD start = ::GetTickCount();
    extractor.Cancel();
    DWORD elapsed = ::GetTickCount() - start;
    EXPECT_LT(elapsed, 5000u) << "Cancel waited for the prompt";
    EXPECT_FALSE(extractor.WorkerRunning());
    EXPECT_EQ(prompt.endedBySlot, 1);
    EXPECT_EQ(prompt.gaveUp, 0);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_FALSE(::IsWindow(prompt.window));
    EXPECT_EQ(recorder.LastStatus(), ExtractCancelled);
    EXPECT_EQ(recorder.LastText(), "tree/readme.txt");
    EXPECT_EQ(FilesBelow(dir.Path()), std::vector<std::string>());
}

// Destroying the extractor while the prompt is open (its owner's window ended) ends the prompt
// instead of waiting for an answer.
TEST(Password, DestroyingTheExtractorEndsTheOpenPrompt) {
    TempDir dir;
    HeldPrompt prompt;
    ExtractRecorder recorder;
    auto extractor = std::make_unique<ZipExtractor>();
    recorder.Attach(extractor.get(), dir.Path());
    extractor->SetPasswordPrompt(prompt.Prompt());
    extractor->Start({Archive("zip-encrypted")}, {"Module 1"});
    ASSERT_TRUE(prompt.WaitOpened());
    DWORD start = ::GetTickCount();
    extractor.reset();
    DWORD elapsed = ::GetTickCount() - start;
    EXPECT_LT(elapsed, 5000u) << "the destructor waited for the prompt";
    EXPECT_EQ(prompt.endedBySlot, 1);
    EXPECT_EQ(prompt.gaveUp, 0);
    EXPECT_EQ(recorder.LastStatus(), ExtractCancelled);
    EXPECT_EQ(FilesBelow(dir.Path()), std::vector<std::string>());
}

// A cancel that comes while the prompt is still being made (before its window is entered in
// the slot) is not lost: the prompt ends as soon as it would open, and asks no more.
TEST(Password, CancelBeforeThePromptWindowExistsIsNotLost) {
    TempDir dir;
    HeldPrompt held;
    HANDLE arrived = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ExtractRecorder recorder;
    ZipExtractor extractor;
    recorder.Attach(&extractor, dir.Path());
    extractor.SetPasswordPrompt([&](PromptSlot& slot) {
        ::SetEvent(arrived);
        // Held until the cancel has been made, then the window is made.
        WaitUntil([&] { return slot.Cancelled(); }, HeldPrompt::kGiveUpMs);
        return held.Prompt()(slot);
    });
    extractor.Start({Archive("zip-encrypted")}, {"Module 1"});
    ASSERT_EQ(::WaitForSingleObject(arrived, kWindowWait), WAIT_OBJECT_0);
    DWORD start = ::GetTickCount();
    extractor.Cancel();
    DWORD elapsed = ::GetTickCount() - start;
    ::CloseHandle(arrived);
    EXPECT_LT(elapsed, 5000u) << "Cancel waited for the prompt";
    EXPECT_FALSE(extractor.WorkerRunning());
    EXPECT_EQ(held.asked, 1);
    EXPECT_EQ(held.refused, 1);
    EXPECT_EQ(held.gaveUp, 0);
    EXPECT_EQ(recorder.LastStatus(), ExtractCancelled);
    EXPECT_EQ(FilesBelow(dir.Path()), std::vector<std::string>());
}

}  // namespace
