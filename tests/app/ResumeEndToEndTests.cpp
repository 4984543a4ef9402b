// Runs that stop in the middle of the download phase, and the later runs that pick up what the
// earlier ones verified.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "EndToEnd.h"
#include "ForeignWindow.h"
#include "support/LoopbackHttpServer.h"

using namespace netrefit::test;

namespace {

const int kModuleList = 1006;
const int kModuleSize = 1007;
const int kProgressCancel = 1011;

const std::vector<std::string> kModuleFiles = {"SecureModule.zip", "CommonLib.zip", "Melorra.zip",
                                               "Extension.zip", "SetupStarter.zip"};

std::string ByteSizeText(unsigned long long bytes) {
    char text[64] = "";
    ::StrFormatByteSizeA(static_cast<DWORD>(bytes), text, sizeof(text));
    return text;
}

}  // namespace

// Message 114 for the third module, which the cases below make fail.
const char kMelorraDownloadFailed[] =
    "Download failed. [Melorra 2.1]\nPlease check your Internet connection and try again.";

class Resume : public EndToEnd {
  protected:
    // Completes a run whose progress window is open: password, installer, notice, restart box.
    void FinishUpgrade() {
        ASSERT_TRUE(TypePassword("melorra"));
        EXPECT_EQ(kInstallDoneText, Answer(IDOK, 60000));
        EXPECT_EQ(0u, WaitForEnd());
        std::string log;
        ReadFileBytes(StandinLog(), &log);
        EXPECT_NE(std::string::npos, log.find("missing 0\n")) << log;
    }

    // The site's server file with every module after the first two served slowly, so that a
    // run can be stopped in the middle of the third.
    std::string SlowAfterTheFirstTwo() {
        std::string slow = SiteServerText();
        for (const char* file : {"Melorra.zip", "Extension.zip", "SetupStarter.zip"}) {
            slow = SlowDown(slow, file);
        }
        return slow;
    }
};

TEST_F(Resume, CancelledDownloadResumesWithTheVerifiedFiles) {
    ServeCase("cancelled", SlowAfterTheFirstTwo());
    Start();
    HWND list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    PressButton(list, 1014);
    HWND progress = WaitProgress();
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(WaitUntil([&] { return JournalNames().size() >= 2; }));
    PressButton(progress, kProgressCancel);
    EXPECT_EQ(kConfirmCancelText, Answer(IDYES));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    ASSERT_EQ((std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5"}),
              JournalNames());
    EXPECT_FALSE(FileExists(ExtractFolder()));

    // Meanwhile the second download is damaged on disk.
    std::string common;
    ASSERT_TRUE(ReadFileBytes(WorkFolder() + "CommonLib.zip", &common));
    common[common.size() / 2] ^= 0x5A;
    ASSERT_TRUE(WriteFileBytes(WorkFolder() + "CommonLib.zip", common));

    WriteSettings(Settings());
    int secureBefore = Requests("/modules/SecureModule.zip");
    int commonBefore = Requests("/modules/CommonLib.zip");
    Start();
    list = WaitModuleList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ((std::vector<std::string>{"Done", "-", "-", "-", "-"}),
              ListViewColumn(::GetDlgItem(list, kModuleList), 1));
    EXPECT_EQ((std::vector<int>{0, 1, 1, 1, 1}), ListViewImages(::GetDlgItem(list, kModuleList)));
    unsigned long long rest = 0;
    for (size_t i = 1; i < kModuleFiles.size(); ++i)
        rest += std::stoull(ModuleSize(kModuleFiles[i]));
    EXPECT_EQ(ByteSizeText(rest), ItemText(list, kModuleSize));
    EXPECT_FALSE(FileExists(WorkFolder() + "CommonLib.zip")) << "a damaged download is dropped";

    PressButton(list, 1014);
    FinishUpgrade();
    EXPECT_EQ(secureBefore, Requests("/modules/SecureModule.zip")) << "fetched again";
    EXPECT_EQ(commonBefore + 1, Requests("/modules/CommonLib.zip")) << "not fetched again";
}

// What a second run sees after the first one ended in the middle of the third module: the two
// verified modules are shown done and not fetched again, the partial one is fetched whole.
class Interrupted : public Resume {
  protected:
    // partialLeft: the first run ended without a chance to remove the third module's part.
    void SecondRunResumes(bool partialLeft) {
        ASSERT_EQ(
            (std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5"}),
            JournalNames());
        std::string partial, whole;
        EXPECT_EQ(partialLeft, ReadFileBytes(WorkFolder() + "Melorra.zip.part", &partial));
        EXPECT_FALSE(FileExists(WorkFolder() + "Melorra.zip"));
        ASSERT_TRUE(ReadFileBytes(site_ + "modules\\Melorra.zip", &whole));
        EXPECT_LT(partial.size(), whole.size()) << "the third module was not cut short";

        WriteSettings(Settings());
        const int secure = Requests("/modules/SecureModule.zip");
        const int common = Requests("/modules/CommonLib.zip");
        const int melorra = Requests("/modules/Melorra.zip");
        Start();
        HWND list = WaitModuleList();
        ASSERT_NE(nullptr, list);
        EXPECT_EQ((std::vector<std::string>{"Done", "Done", "-", "-", "-"}),
                  ListViewColumn(::GetDlgItem(list, kModuleList), 1));
        PressButton(list, 1014);
        FinishUpgrade();
        EXPECT_EQ(secure, Requests("/modules/SecureModule.zip")) << "fetched again";
        EXPECT_EQ(common, Requests("/modules/CommonLib.zip")) << "fetched again";
        EXPECT_EQ(melorra + 1, Requests("/modules/Melorra.zip"));
    }
};

TEST_F(Interrupted, ProcessEndedMidModule) {
    ServeCase("killed", SlowAfterTheFirstTwo());
    Start();
    ASSERT_TRUE(AcceptModuleList());
    ASSERT_NE(nullptr, WaitProgress());
    // The third module has begun to arrive (slowly) when the process is ended.
    // The download holds its file open without sharing, so only its size can be looked at.
    ASSERT_TRUE(WaitUntil([&] {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return JournalNames().size() == 2 &&
               ::GetFileAttributesExA((WorkFolder() + "Melorra.zip.part").c_str(),
                                      GetFileExInfoStandard, &data) &&
               (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
    }));
    process_.Kill();
    ASSERT_NE(STILL_ACTIVE, WaitForEnd());
    SecondRunResumes(true);
}

// A module whose first answer breaks off at 60 %: the run goes on from the bytes on disk and
// completes, the server sending little more than the module in all.
TEST_F(Interrupted, ConnectionDroppedMidModuleIsResumed) {
    std::string whole;
    ASSERT_TRUE(ReadFileBytes(site_ + "modules\\Melorra.zip", &whole));
    LoopbackHttpServer dropping("127.0.0.6");
    HttpResponse cut = HttpResponse::Ok(whole);
    cut.headers.emplace_back("ETag", "\"melorra-2.1\"");
    cut.ranges = true;
    cut.dropAfter = whole.size() * 6 / 10;
    cut.misbehaveTimes = 1;
    dropping.Serve("/modules/Melorra.zip", cut);
    ASSERT_TRUE(dropping.Start()) << "cannot bind 127.0.0.6:80";
    ServeCase("dropped", Replace(SiteServerText(), "http://127.0.0.4/modules/Melorra.zip",
                                 dropping.Url("/modules/Melorra.zip")));
    Start();
    ASSERT_TRUE(AcceptModuleList());
    FinishUpgrade();
    EXPECT_EQ(2u, dropping.RequestCount("/modules/Melorra.zip"));
    EXPECT_LE(dropping.BodyBytesSent(), whole.size() * 11 / 10);
}

// A path that serves other bytes (a stale copy) and a good mirror: the upgrade completes.
TEST_F(Resume, StalePathFallsBackToTheModulesMirror) {
    LoopbackHttpServer stale("127.0.0.6");
    std::string whole;
    ASSERT_TRUE(ReadFileBytes(site_ + "modules\\Melorra.zip", &whole));
    std::string other = whole;
    other[other.size() / 2] ^= 0x5A;
    stale.Serve("/modules/Melorra.zip", HttpResponse::Ok(other));
    ASSERT_TRUE(stale.Start()) << "cannot bind 127.0.0.6:80";
    const std::string good = "http://127.0.0.4/modules/Melorra.zip";
    ServeCase("mirror", Replace(SiteServerText(), good,
                                stale.Url("/modules/Melorra.zip") + "\r\nMirrors=" + good));
    const int before = Requests("/modules/Melorra.zip");
    Start();
    ASSERT_TRUE(AcceptModuleList());
    FinishUpgrade();
    EXPECT_EQ(1u, stale.RequestCount("/modules/Melorra.zip"));
    EXPECT_EQ(before + 1, Requests("/modules/Melorra.zip"));
}

TEST_F(Resume, DigestMismatchKeepsTheEarlierDownloads) {
    std::string text = SiteServerText();
    std::string digest = ServerValue(text, "Melorra", "MD5");
    ASSERT_EQ(32u, digest.size());
    std::string wrong = digest;
    wrong[0] = wrong[0] == '0' ? '1' : '0';
    ServeCase("mismatch", Replace(text, "MD5=" + digest, "MD5=" + wrong));
    Start();
    ASSERT_TRUE(AcceptModuleList());
    EXPECT_EQ(kMelorraDownloadFailed, Answer(IDOK));
    EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    EXPECT_EQ((std::vector<std::string>{"Keldra Secure Module 3.1", "Melorra Common Library 1.5"}),
              JournalNames());
    for (const char* file : {"SecureModule.zip", "CommonLib.zip"}) {
        std::string kept, served;
        EXPECT_TRUE(ReadFileBytes(WorkFolder() + file, &kept)) << file;
        ReadFileBytes(site_ + "modules\\" + file, &served);
        EXPECT_TRUE(kept == served) << file;
    }
    EXPECT_FALSE(FileExists(WorkFolder() + "Extension.zip")) << "the download went on";
    EXPECT_FALSE(FileExists(ExtractFolder()));
    EXPECT_FALSE(FileExists(StandinLog()));
}

TEST_F(Resume, ConflictingApplicationStopsBeforeTheInstallerAndTheNextRunGoesStraightOn) {
    {
        ForeignWindow player("Keldra Player", true);
        ASSERT_NE(nullptr, player.Window());
        Start();
        HWND list = WaitModuleList();
        ASSERT_NE(nullptr, list);
        PressButton(list, 1014);
        ASSERT_TRUE(TypePassword("melorra"));
        EXPECT_EQ(
            "Keldra Player is currently running. \nCannot upgrade Melorra2.0 while Keldra "
            "Player is running. \nClose Keldra Player and try again.",
            Answer(IDOK, 60000));
        EXPECT_NE(STILL_ACTIVE, WaitForEnd());
    }
    EXPECT_FALSE(FileExists(ExtractFolder()));
    EXPECT_FALSE(FileExists(StandinLog())) << "the installer ran";
    ASSERT_EQ(5u, JournalNames().size());

    // Every module is there and verified: the progress window opens without the module list.
    std::vector<int> before;
    for (const std::string& file : kModuleFiles)
        before.push_back(Requests("/modules/" + file));
    Start();
    ASSERT_NE(nullptr, WaitProgress());
    FinishUpgrade();
    EXPECT_FALSE(MainWindowWasShown());
    for (size_t i = 0; i < kModuleFiles.size(); ++i) {
        EXPECT_EQ(before[i], Requests("/modules/" + kModuleFiles[i])) << kModuleFiles[i];
    }
}
