// The progress window downloading from the loopback server and unpacking real archives.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "DriverThread.h"
#include "ProgressFixture.h"
#include "download/ProgressDialog.h"
#include "resources/ResourceIds.h"
#include "support/WindowDriver.h"
#include "ui/ResourceModule.h"
#include "unzip/ZipTestWriter.h"

namespace netrefit {
namespace {

using test::HttpResponse;
using test::PressButton;

constexpr char kConfirm[] = "Setup process is not complete. \nIf you cancel";
constexpr char kDownloading[] =
    "Downloading files for Melorra 2.0 upgrade.\nThis operation may take a while, depending on "
    "your Internet connection and PC environment.";

class Progress : public test::ServedFixture {
  protected:
    INT_PTR Run(const DownloadList& list, const std::function<void(HWND)>& driver) {
        ProgressDialog dialog(nullptr);
        dialog.SetList(list);
        dialog.SetDownloadFolder(work_.Path());
        dialog.SetExtractFolder(extractFolder_);
        return test::RunDriven(dialog, [&] {
            HWND window = test::WaitForDialog(kAppTitle, IDC_PROGRESS_OVERALL_BAR);
            shown_ = window != nullptr;
            if (window) {
                firstPhaseText_ = test::ItemText(window, IDC_PROGRESS_PHASE);
                driver(window);
            }
        });
    }
    // Answers the first message box holding textPart; returns its text.
    static std::string Answer(const std::string& textPart, int button) {
        HWND box = test::WaitForMessageBox(textPart);
        if (!box) {
            return std::string();
        }
        std::string text = test::MessageBoxText(box);
        PressButton(box, button);
        test::WaitForWindowGone(box);
        return text;
    }
    std::string Extracted(const std::string& member) {
        std::string bytes;
        test::ReadFileBytes(extractFolder_ + member, &bytes);
        return bytes;
    }
    std::string Reference(const std::string& archive, const std::string& member) {
        std::string bytes;
        test::ReadFileBytes(
            test::ModuleFolder() + "unzip-archives\\ref\\" + archive + "\\" + member, &bytes);
        return bytes;
    }

    // Presses Cancel while the worker waits in the password prompt, then gives the password:
    // the worker goes on with the question on screen. False when no prompt came.
    static bool CancelInPasswordPrompt(HWND window, const char* password, HWND* question) {
        HWND prompt = test::WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
        if (!prompt) {
            return false;
        }
        PressButton(window, IDC_PROGRESS_CANCEL);
        *question = test::WaitForMessageBox(kConfirm);
        ::SetDlgItemTextA(prompt, IDC_PASSWORD_EDIT, password);
        PressButton(prompt, IDOK);
        test::WaitForWindowGone(prompt);
        return true;
    }

    bool shown_ = false;
    std::string firstPhaseText_;
};

TEST_F(Progress, FullRunDownloadsVerifiesJournalsAndUnpacks) {
    HttpResponse stalling;
    stalling.stallAfter = 100000;
    stalling.sendChunk = 16384;
    DownloadList list{Served("deflated.zip", test::ToolArchive("zip-deflated"), stalling),
                      Served("stored.zip", test::ToolArchive("zip-stored"))};
    ASSERT_GT(list[0].Size(), 100000);
    std::string fileLabel, overallLabel, button;
    int overallPos = -1, filePos = -1;
    bool sawExtracting = false;
    INT_PTR result = Run(list, [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        // Let the last reports before the stall reach the window.
        test::WaitUntil([&] {
            return ::SendDlgItemMessageA(window, IDC_PROGRESS_FILE_BAR, PBM_GETPOS, 0, 0) > 0;
        });
        fileLabel = test::ItemText(window, IDC_PROGRESS_FILE_LABEL);
        overallLabel = test::ItemText(window, IDC_PROGRESS_OVERALL_LABEL);
        button = test::ItemText(window, IDC_PROGRESS_CANCEL);
        overallPos = static_cast<int>(
            ::SendDlgItemMessageA(window, IDC_PROGRESS_OVERALL_BAR, PBM_GETPOS, 0, 0));
        filePos = static_cast<int>(
            ::SendDlgItemMessageA(window, IDC_PROGRESS_FILE_BAR, PBM_GETPOS, 0, 0));
        test::SaveScreenshot(window, "progress");
        server_.Release();
        sawExtracting = test::WaitUntil(
            [&] { return test::ItemText(window, IDC_PROGRESS_PHASE) == "Extracting..."; });
        test::WaitForWindowGone(window);
    });
    ASSERT_TRUE(shown_);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(firstPhaseText_, kDownloading);
    EXPECT_EQ(fileLabel, "Module deflated.zip");
    EXPECT_EQ(overallLabel, "Overall Progress");
    EXPECT_EQ(button, "Cancel");
    EXPECT_GT(filePos, 0);
    EXPECT_LT(filePos, 1000);
    EXPECT_GT(overallPos, 0);
    EXPECT_LT(overallPos, filePos);
    EXPECT_TRUE(sawExtracting);
    EXPECT_EQ(Journal(), std::string("Module deflated.zip\0Module stored.zip\0", 38));
    EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-deflated", "tree\\readme.txt"));
    EXPECT_FALSE(Extracted("tree\\docs\\big.dat").empty());
}

TEST_F(Progress, DigestMismatchShowsMessage114AndEndsWithTwo) {
    DownloadEntry entry = Served("module.zip", test::ToolArchive("zip-stored"));
    // The computed digest is lowercase; an uppercase expectation never matches.
    std::string upper = entry.Md5();
    for (char& c : upper) {
        c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    }
    entry.SetMd5(upper);
    std::string message;
    INT_PTR result = Run({entry}, [&](HWND window) {
        message = Answer("Download failed.", IDOK);
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(message,
              "Download failed. [Module module.zip]\nPlease check your Internet connection and "
              "try again.");
    EXPECT_FALSE(test::FileExists(entry.LocalPath()));
    EXPECT_EQ(Journal(), "");
}

TEST_F(Progress, MismatchOnAnEntryFromAnEarlierRunStopsTheDownloader) {
    DownloadEntry present = Present("old.zip", test::ToolArchive("zip-stored"));
    test::WriteFileBytes(present.LocalPath(), "damaged since the last run");
    DownloadEntry next = Served("next.zip", test::ToolArchive("zip-deflated"));
    int messages = 0;
    std::string message;
    INT_PTR result = Run({present, next}, [&](HWND window) {
        message = Answer("Download failed.", IDOK);
        messages = message.empty() ? 0 : 1;
        test::WaitForWindowGone(window);
        if (test::WaitForMessageBox("Download failed.", 500)) {
            ++messages;
        }
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(messages, 1);
    EXPECT_NE(message.find("[Module old.zip]"), std::string::npos);
    // Neither file is listed: the earlier one failed its check again, and goes.
    EXPECT_EQ(Journal(), "");
    EXPECT_FALSE(test::FileExists(present.LocalPath()));
    EXPECT_TRUE(Extracted("tree\\readme.txt").empty());
    // Not a byte of the next file is asked for once a digest did not match.
    EXPECT_EQ(server_.RequestCount("/files/next.zip"), 0u);
    EXPECT_FALSE(test::FileExists(next.LocalPath()));
}

// Runs the real window without a worker; the test calls the report function itself, from its
// own thread, exactly as the download worker would.
class WorkerlessProgress : public ProgressDialog {
  public:
    WorkerlessProgress() : ProgressDialog(nullptr) {}

  protected:
    // What starting the download does to the window, without the worker.
    void StartDownload() override {
        for (int bar : {IDC_PROGRESS_OVERALL_BAR, IDC_PROGRESS_FILE_BAR}) {
            ::SendDlgItemMessageA(Window(), bar, PBM_SETRANGE32, 0, 1000);
        }
    }
};

TEST_F(Progress, SizeTextsRefreshOnEveryFifthReportWhileBarsMoveOnEach) {
    DownloadEntry entry = Served("big.zip", std::string(200000, 'x'));
    WorkerlessProgress dialog;
    dialog.SetList({entry});
    dialog.SetDownloadFolder(work_.Path());
    dialog.SetExtractFolder(extractFolder_);
    std::vector<std::string> texts;
    std::vector<int> bars;
    std::string startedLabel, startedSizes;
    test::RunDriven(dialog, [&] {
        HWND window = test::WaitForDialog(kAppTitle, IDC_PROGRESS_OVERALL_BAR);
        if (!window) {
            return;
        }
        ProgressDialog::DownloadReport(&dialog, &entry, FileStarted, 0, 0);
        startedLabel = test::ItemText(window, IDC_PROGRESS_FILE_LABEL);
        startedSizes = test::ItemText(window, IDC_PROGRESS_FILE_SIZES);
        for (int i = 1; i <= 15; ++i) {
            ProgressDialog::DownloadReport(&dialog, &entry, DownloadStatus::Progress, i * 10000,
                                           i * 10000);
            texts.push_back(test::ItemText(window, IDC_PROGRESS_FILE_SIZES));
            bars.push_back(static_cast<int>(
                ::SendDlgItemMessageA(window, IDC_PROGRESS_FILE_BAR, PBM_GETPOS, 0, 0)));
        }
        PressButton(window, IDC_PROGRESS_CANCEL);
        Answer(kConfirm, IDYES);
    });
    EXPECT_EQ(startedLabel, "Module big.zip");
    char zero[64], whole[64];
    ::StrFormatByteSizeA(0, zero, sizeof(zero));
    ::StrFormatByteSizeA(200000, whole, sizeof(whole));
    EXPECT_EQ(startedSizes, std::string(zero) + " / " + whole);
    ASSERT_EQ(bars.size(), 15u);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(bars[i], (i + 1) * 10000 / 200) << "report " << i + 1;
    }
    // The counter spans the process, so where the cycle starts depends on earlier reports;
    // what is fixed is one refresh in every five reports.
    std::vector<int> refreshed;
    std::string previous = startedSizes;
    for (int i = 0; i < 15; ++i) {
        if (texts[i] != previous) {
            refreshed.push_back(i);
            char count[64];
            ::StrFormatByteSizeA((i + 1) * 10000, count, sizeof(count));
            EXPECT_EQ(texts[i], std::string(count) + " / " + whole);
        }
        previous = texts[i];
    }
    // From a fresh counter the first refresh comes with the sixth report.
    ASSERT_GE(refreshed.size(), 2u);
    EXPECT_LE(refreshed[0], 5);
    for (size_t i = 1; i < refreshed.size(); ++i) {
        EXPECT_EQ(refreshed[i] - refreshed[i - 1], 5);
    }
}

// The reports carry byte counts of up to 4 GiB - 1 in 32 bits: past 2 GiB they are not negative.
TEST_F(Progress, CountsPastTwoGibibytesShowTheirRealProgress) {
    const uint32_t size = 0xC0000000u;   // 3 GiB
    const uint32_t count = 0x90000000u;  // 2.25 GiB
    DownloadEntry entry = Served("huge.zip", "x");
    entry.SetSize(static_cast<int32_t>(size));
    WorkerlessProgress dialog;
    dialog.SetList({entry});
    dialog.SetDownloadFolder(work_.Path());
    dialog.SetExtractFolder(extractFolder_);
    int overallBar = -1, fileBar = -1;
    std::string sizes;
    test::RunDriven(dialog, [&] {
        HWND window = test::WaitForDialog(kAppTitle, IDC_PROGRESS_OVERALL_BAR);
        if (!window) {
            return;
        }
        ProgressDialog::DownloadReport(&dialog, &entry, FileStarted, 0, 0);
        for (int i = 0; i < 6; ++i) {  // the size texts follow every fifth report
            ProgressDialog::DownloadReport(&dialog, &entry, DownloadStatus::Progress,
                                           static_cast<int32_t>(count),
                                           static_cast<int32_t>(count));
        }
        overallBar = static_cast<int>(
            ::SendDlgItemMessageA(window, IDC_PROGRESS_OVERALL_BAR, PBM_GETPOS, 0, 0));
        fileBar = static_cast<int>(
            ::SendDlgItemMessageA(window, IDC_PROGRESS_FILE_BAR, PBM_GETPOS, 0, 0));
        sizes = test::ItemText(window, IDC_PROGRESS_FILE_SIZES);
        PressButton(window, IDC_PROGRESS_CANCEL);
        Answer(kConfirm, IDYES);
    });
    EXPECT_EQ(overallBar, 750);
    EXPECT_EQ(fileBar, 750);
    char part[64], whole[64];
    ::StrFormatByteSizeA(count, part, sizeof(part));
    ::StrFormatByteSizeA(size, whole, sizeof(whole));
    EXPECT_EQ(sizes, std::string(part) + " / " + whole);
}

TEST(BarPosition, CountsThousandthsOfTheWhole) {
    EXPECT_EQ(BarPosition(0, 200000), 0);
    EXPECT_EQ(BarPosition(100000, 200000), 500);
    EXPECT_EQ(BarPosition(200000, 200000), 1000);
    // The thousandth is taken in whole numbers first: 2999 / 1000 = 2.
    EXPECT_EQ(BarPosition(1499, 2999), 749);
    EXPECT_EQ(BarPosition(1000, 1000), 1000);
    EXPECT_EQ(BarPosition(999, 1000), 999);
}

TEST(BarPosition, WholeBelowOneThousandShowsZeroUntilTheEnd) {
    EXPECT_EQ(BarPosition(0, 999), 0);
    EXPECT_EQ(BarPosition(998, 999), 0);
    EXPECT_EQ(BarPosition(999, 999), 1000);
    EXPECT_EQ(BarPosition(1, 1), 1000);
    EXPECT_EQ(BarPosition(0, 0), 1000);
}

TEST(BarPosition, StaysWithinTheRange) {
    EXPECT_EQ(BarPosition(5000000, 200000), 1000);
    EXPECT_EQ(BarPosition(-5, 200000), 0);
    EXPECT_EQ(BarPosition(0xFFFFFFFFll, 0xFFFFFFFFu), 1000);
}

TEST_F(Progress, WindowThatCannotBeMadeEndsAsADownloadFailure) {
    ProgressDialog dialog(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7fff0001)));
    dialog.SetList({Served("module.zip", "x")});
    dialog.SetDownloadFolder(work_.Path());
    dialog.SetExtractFolder(extractFolder_);
    EXPECT_EQ(dialog.RunModal(), 2);
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(Progress, FailedDownloadShowsMessage114AndEndsWithTwo) {
    DownloadEntry entry = Served("missing.zip", "x", HttpResponse::Status(404));
    std::string message;
    INT_PTR result = Run({entry}, [&](HWND window) {
        message = Answer("Download failed.", IDOK);
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(result, 2);
    EXPECT_NE(message.find("[Module missing.zip]"), std::string::npos);
}

TEST_F(Progress, ExtractionFailureShowsMessage120AndEndsWithThree) {
    DownloadList list{Served("broken.zip", test::PatternBytes(5000, 9))};
    std::string message;
    INT_PTR result = Run(list, [&](HWND window) {
        message = Answer("The extracting operation failed.", IDOK);
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(message,
              "The extracting operation failed. [Module broken.zip]\nThe downloaded files may be "
              "damaged. \nPlease try again.");
    // The download itself was verified and journalled before the extraction failed.
    EXPECT_EQ(Journal(), std::string("Module broken.zip\0", 18));
}

TEST_F(Progress, NoToTheCancelQuestionResumesTheTransfer) {
    HttpResponse stalling;
    stalling.stallAfter = 50000;
    DownloadList list{Served("module.zip", test::ToolArchive("zip-deflated"), stalling)};
    std::string question;
    INT_PTR result = Run(list, [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        PressButton(window, IDC_PROGRESS_CANCEL);
        question = Answer(kConfirm, IDNO);
        server_.Release();
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(question,
              "Setup process is not complete. \nIf you cancel the installation process, "
              "Melorra2.0 will not be installed. \nDo you want to terminate the installation "
              "process?");
    EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-deflated", "tree\\readme.txt"));
}

// A pixel of the bar's client area, read back from what was painted; CLR_INVALID when none.
COLORREF BarPixel(HWND bar, int percent) {
    RECT client;
    ::GetClientRect(bar, &client);
    HDC dc = ::GetDC(bar);
    COLORREF color = ::GetPixel(dc, client.right * percent / 100, client.bottom / 2);
    ::ReleaseDC(bar, dc);
    return color;
}

// The bars take their positions at once but are painted on the window's own timer: the paint
// must still come while the transfer stands still.
TEST_F(Progress, BarsArePaintedWhileTheTransferIsHeld) {
    HttpResponse stalling;
    stalling.stallAfter = 100000;
    DownloadList list{Served("module.zip", std::string(200000, 'x'), stalling)};
    bool reachedHalf = false;
    COLORREF filled = CLR_INVALID, empty = CLR_INVALID;
    Run(list, [&](HWND window) {
        HWND bar = ::GetDlgItem(window, IDC_PROGRESS_FILE_BAR);
        server_.WaitStalled(1, test::kWindowWait);
        reachedHalf = test::WaitUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) >= 400; });
        // Painted within a few of the timer's turns; the wait only bounds a failure. Unpainted,
        // both places would show the window's background alike.
        test::WaitUntil([&] { return BarPixel(bar, 25) != BarPixel(bar, 90); });
        filled = BarPixel(bar, 25);
        empty = BarPixel(bar, 90);
        PressButton(window, IDC_PROGRESS_CANCEL);
        Answer(kConfirm, IDYES);
        server_.Release();
    });
    ASSERT_TRUE(reachedHalf);
    ASSERT_NE(empty, CLR_INVALID) << "the bar's pixels cannot be read";
    EXPECT_NE(filled, empty) << "the bar was never painted at its new position";
}

// Whether any pixel of a control is not the window's background: whether it painted.
bool PaintedPixels(HWND control) {
    RECT client;
    ::GetClientRect(control, &client);
    HDC dc = ::GetDC(control);
    bool painted = false;
    for (int y = 0; y < client.bottom && !painted; ++y) {
        for (int x = 0; x < client.right && !painted; ++x) {
            COLORREF color = ::GetPixel(dc, x, y);
            painted = color != ::GetSysColor(COLOR_BTNFACE) && color != CLR_INVALID;
        }
    }
    ::ReleaseDC(control, dc);
    return painted;
}

// The question is moved over the bars and the size texts and answered No while the transfer
// stands still: what it uncovers is painted from the current values, without a new one.
TEST_F(Progress, BarsAndSizesUncoveredWhileHeldArePaintedAgain) {
    HttpResponse stalling;
    stalling.stallAfter = 100000;
    DownloadList list{Served("module.zip", std::string(200000, 'x'), stalling)};
    bool painted = false, covered = false, repainted = false;
    Run(list, [&](HWND window) {
        HWND bar = ::GetDlgItem(window, IDC_PROGRESS_FILE_BAR);
        HWND sizes = ::GetDlgItem(window, IDC_PROGRESS_FILE_SIZES);
        // Unpainted, a bar's filled and empty parts show the window's background alike.
        auto shown = [&] { return BarPixel(bar, 25) != BarPixel(bar, 90) && PaintedPixels(sizes); };
        server_.WaitStalled(1, test::kWindowWait);
        painted = test::WaitUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) >= 400; }) &&
                  test::WaitUntil(shown);
        PressButton(window, IDC_PROGRESS_CANCEL);
        HWND box = test::WaitForMessageBox(kConfirm);
        RECT dialog, top, bottom, area;
        ::GetWindowRect(window, &dialog);
        ::GetWindowRect(::GetDlgItem(window, IDC_PROGRESS_OVERALL_SIZES), &top);
        ::GetWindowRect(bar, &bottom);
        ::SetWindowPos(box, HWND_TOP, dialog.left, top.top - 4, dialog.right - dialog.left,
                       bottom.bottom + 4 - (top.top - 4), SWP_NOACTIVATE);
        ::GetWindowRect(box, &area);
        covered = area.left <= dialog.left && area.right >= dialog.right && area.top < top.top &&
                  area.bottom > bottom.bottom;
        PressButton(box, IDNO);
        test::WaitForWindowGone(box);
        // Windows has the window and its visible controls paint what the question uncovered;
        // Wine keeps the window's pixels and asks for nothing, so the test asks as Windows would.
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
        ::RedrawWindow(window, &area, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        repainted = test::WaitUntil(shown, 10000);  // the wait only bounds a failure
        PressButton(window, IDC_PROGRESS_CANCEL);
        Answer(kConfirm, IDYES);
        server_.Release();
    });
    ASSERT_TRUE(painted) << "the bars were never painted in the first place";
    ASSERT_TRUE(covered) << "the question did not cover the bars";
    EXPECT_TRUE(repainted) << "the uncovered bar or size text stayed blank";
}

TEST_F(Progress, YesToTheCancelQuestionWhileDownloadingEndsWithTwo) {
    HttpResponse stalling;
    stalling.stallAfter = 50000;
    DownloadList list{Served("module.zip", test::ToolArchive("zip-deflated"), stalling)};
    bool asked = false;
    INT_PTR result = Run(list, [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        // Escape is the same as the cancel button.
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        asked = !Answer(kConfirm, IDYES).empty();
        server_.Release();
        test::WaitForWindowGone(window);
    });
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(Extracted("tree\\readme.txt").empty());
}

// An answer to the cancel question, by the name of its case.
struct CancelAnswer {
    const char* name;
    int button;
};

std::ostream& operator<<(std::ostream& out, const CancelAnswer& answer) {
    return out << answer.name;
}

std::string CaseName(const ::testing::TestParamInfo<CancelAnswer>& info) {
    return info.param.name;
}

class CancelWhileExtracting : public Progress,
                              public ::testing::WithParamInterface<CancelAnswer> {};

INSTANTIATE_TEST_SUITE_P(Progress,
                         CancelWhileExtracting,
                         ::testing::Values(CancelAnswer{"YesEndsWithTwo", IDYES},
                                           CancelAnswer{"NoResumes", IDNO}),
                         CaseName);

TEST_P(CancelWhileExtracting, Answered) {
    const int button = GetParam().button;
    // Two encrypted members: the worker waits in the first one's password prompt, so the cancel
    // question is on screen before the pause gate of the second member is reached.
    DownloadList list{Present("secret.zip", test::ToolArchive("zip-encrypted"))};
    bool asked = false;
    INT_PTR result = Run(list, [&](HWND window) {
        HWND question = nullptr;
        if (!CancelInPasswordPrompt(window, "secret", &question)) {
            return;
        }
        asked = question != nullptr;
        if (question) {
            PressButton(question, button);
        }
        test::WaitForWindowGone(window);
    });
    EXPECT_TRUE(asked);
    if (button == IDYES) {
        EXPECT_EQ(result, 2);
        // The member being written when the pause came is finished; the next one never starts.
        EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-encrypted", "tree\\readme.txt"));
        EXPECT_TRUE(Extracted("tree\\docs\\deep\\er\\nested.txt").empty());
    } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(Extracted("tree\\docs\\deep\\er\\nested.txt"),
                  Reference("zip-encrypted", "tree\\docs\\deep\\er\\nested.txt"));
    }
}

// Cancel pressed once the last file is verified: the question comes up in the pause between
// the phases (or, if the report is a moment late, just before it; the outcome is the same).
class CancelBetweenThePhases : public Progress,
                               public ::testing::WithParamInterface<CancelAnswer> {};

INSTANTIATE_TEST_SUITE_P(Progress,
                         CancelBetweenThePhases,
                         ::testing::Values(CancelAnswer{"YesEndsWithTwoAndUnpacksNothing", IDYES},
                                           CancelAnswer{"NoGoesOnToUnpack", IDNO}),
                         CaseName);

TEST_P(CancelBetweenThePhases, Answered) {
    const int button = GetParam().button;
    DownloadList list{Served("module.zip", test::ToolArchive("zip-deflated"))};
    bool asked = false;
    INT_PTR result = Run(list, [&](HWND window) {
        test::WaitUntil([&] { return Journal() == std::string("Module module.zip\0", 18); });
        PressButton(window, IDC_PROGRESS_CANCEL);
        asked = !Answer(kConfirm, button).empty();
        test::WaitForWindowGone(window);
    });
    EXPECT_TRUE(asked);
    if (button == IDYES) {
        EXPECT_EQ(result, 2);
        EXPECT_TRUE(Extracted("tree\\readme.txt").empty());
    } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-deflated", "tree\\readme.txt"));
    }
}

// The cancel question held open while the phase's worker finishes its last file or member and
// hands over (the end of the download, or of the extraction). Whatever arrives meanwhile waits
// for the answer: Yes ends with 2 and unpacks nothing more, No goes on as if never asked. Each
// case runs several times, so that a race between the answer and the hand-over shows.
enum class HeldPhase { Download, Extraction };

class ProgressQuestion : public Progress,
                         public ::testing::WithParamInterface<std::tuple<HeldPhase, int>> {
  protected:
    static constexpr int kRounds = 3;
    // Longer than the pause the worker makes between the phases.
    static constexpr DWORD kPastHandOver = 3500;

    void Reset() {
        ::DeleteFileA((work_.Path() + "Netrefit.log").c_str());
        test::RemoveTree(extractFolder_);
        ASSERT_TRUE(::CreateDirectoryA(extractFolder_.c_str(), nullptr));
        server_.Rearm();
    }

    // The last (only) module's body is all sent, then the answer stays open until released:
    // without a declared length the worker waits there for the end of the connection. The
    // archive is a whole number of reads long, so no read is left holding a partial one.
    INT_PTR HeldDownload(int answer, DownloadEntry* entry) {
        const std::string bytes = HeldArchive();
        HttpResponse held;
        held.sendContentLength = false;
        held.stallAfter = bytes.size();
        *entry = Served("module.zip", bytes, held);
        // The bytes arrive in the partial file beside the module's name.
        const std::string local = entry->LocalPath() + ".part";
        // An earlier round's whole file would pass for this round's before it has begun.
        ::DeleteFileA(entry->LocalPath().c_str());
        ::DeleteFileA(local.c_str());
        return Run({*entry}, [&](HWND window) {
            // All written: the worker now waits for the end in its next read, past the pause.
            if (!test::WaitUntil([&] { return LocalSize(local) == bytes.size(); })) {
                return;
            }
            PressButton(window, IDC_PROGRESS_CANCEL);
            HWND question = test::WaitForMessageBox(kConfirm);
            server_.Release();
            test::WaitUntil([&] { return !Journal().empty(); });
            ::Sleep(kPastHandOver);
            if (question) {
                PressButton(question, answer);
            }
            test::WaitForWindowGone(window);
        });
    }

    static std::string HeldArchive() {
        const std::string name = "tree/held.bin";
        const size_t overhead = 30 + 46 + 22 + 2 * name.size();
        test::ZipBuilder zip;
        zip.Add(test::Stored(name, test::PatternBytes(8 * 16384 - overhead)));
        return zip.Bytes();
    }

    static uint64_t LocalSize(const std::string& path) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
            return 0;
        }
        return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    // The only member is encrypted: the worker waits in its password prompt while the question
    // comes up, then unpacks it and hands over while the question is still open.
    INT_PTR HeldExtraction(int answer) {
        DownloadList list{Present("secret.zip", test::ToolArchive("zip-encrypted-other"))};
        return Run(list, [&](HWND window) {
            HWND question = nullptr;
            if (!CancelInPasswordPrompt(window, "other", &question)) {
                return;
            }
            test::WaitUntil([&] {
                return Extracted("tree\\docs\\big.dat") ==
                       Reference("zip-encrypted-other", "tree\\docs\\big.dat");
            });
            ::Sleep(kPastHandOver);
            if (question) {
                PressButton(question, answer);
            }
            test::WaitForWindowGone(window);
        });
    }
};

INSTANTIATE_TEST_SUITE_P(PhasesAndAnswers,
                         ProgressQuestion,
                         ::testing::Combine(::testing::Values(HeldPhase::Download,
                                                              HeldPhase::Extraction),
                                            ::testing::Values(IDYES, IDNO)),
                         [](const ::testing::TestParamInfo<std::tuple<HeldPhase, int>>& info) {
                             return std::string(std::get<0>(info.param) == HeldPhase::Download
                                                    ? "Download"
                                                    : "Extraction") +
                                    (std::get<1>(info.param) == IDYES ? "Yes" : "No");
                         });

TEST_P(ProgressQuestion, HeldOpenAcrossTheEndOfThePhase) {
    const auto [phase, answer] = GetParam();
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Reset();
        DownloadEntry entry;
        INT_PTR result =
            phase == HeldPhase::Download ? HeldDownload(answer, &entry) : HeldExtraction(answer);
        EXPECT_EQ(result, answer == IDYES ? 2 : 1);
        if (phase == HeldPhase::Download) {
            // The file arrived whole before the answer: it is kept and journaled either way.
            EXPECT_EQ(Journal(), std::string("Module module.zip\0", 18));
            EXPECT_TRUE(test::FileExists(entry.LocalPath()));
            EXPECT_EQ(Extracted("tree\\held.bin").empty(), answer == IDYES);
        } else {
            EXPECT_EQ(Extracted("tree\\docs\\big.dat"),
                      Reference("zip-encrypted-other", "tree\\docs\\big.dat"));
        }
    }
}

TEST_F(Progress, AllAlreadyDownloadedStartsWithExtractingAndFetchesNothing) {
    DownloadList list{Present("a.zip", test::ToolArchive("zip-stored")),
                      Present("b.zip", test::ToolArchive("zip-deflated"))};
    test::WriteFileBytes(work_.Path() + "Netrefit.log", "stale journal");
    INT_PTR result = Run(list, [&](HWND window) { test::WaitForWindowGone(window); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(firstPhaseText_, "Extracting...");
    EXPECT_EQ(server_.RequestCount(), 0u);
    EXPECT_EQ(Journal(), std::string("Module a.zip\0Module b.zip\0", 26));
    EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-deflated", "tree\\readme.txt"));
}

TEST_F(Progress, SuspendWhileDownloadingIsRefusedWithOneMessage) {
    HttpResponse stalling;
    stalling.stallAfter = 50000;
    DownloadList list{Served("module.zip", test::ToolArchive("zip-deflated"), stalling)};
    std::vector<LRESULT> answers;
    int boxes = 0;
    std::string message;
    bool askedOnStandby = false;
    INT_PTR result = Run(list, [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        for (int i = 0; i < 3; ++i) {
            answers.push_back(::SendMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0));
        }
        HWND box = test::WaitForMessageBox("The standby function");
        if (box) {
            // More queries while the message shows add no second one.
            answers.push_back(::SendMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0));
            for (HWND other : test::TopLevelWindows()) {
                if (test::MessageBoxText(other).find("The standby function") == 0) {
                    ++boxes;
                }
            }
            message = test::MessageBoxText(box);
            test::SaveScreenshot(box, "standby-refused");
            PressButton(box, IDOK);
            test::WaitForWindowGone(box);
        }
        // A standby query goes to the cancel question.
        ::PostMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSTANDBY, 0);
        askedOnStandby = !Answer(kConfirm, IDYES).empty();
        server_.Release();
        test::WaitForWindowGone(window);
    });
    ASSERT_EQ(answers.size(), 4u);
    for (LRESULT answer : answers) {
        EXPECT_EQ(answer, BROADCAST_QUERY_DENY);
    }
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(message,
              "The standby function is not available during the download.\nPlease stop the "
              "current operation and try again.");
    EXPECT_TRUE(askedOnStandby);
    EXPECT_EQ(result, 2);
}

TEST_F(Progress, WrongPasswordThreeTimesFailsTheExtraction) {
    DownloadList list{Present("secret.zip", test::ToolArchive("zip-encrypted"))};
    int prompts = 0;
    std::string message;
    INT_PTR result = Run(list, [&](HWND window) {
        for (int i = 0; i < 3; ++i) {
            HWND prompt = test::WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
            if (!prompt) {
                break;
            }
            ++prompts;
            ::SetDlgItemTextA(prompt, IDC_PASSWORD_EDIT, "wrong");
            PressButton(prompt, IDOK);
            test::WaitForWindowGone(prompt);
        }
        message = Answer("The extracting operation failed.", IDOK);
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(prompts, 3);
    EXPECT_EQ(result, 3);
    EXPECT_NE(message.find("[Module secret.zip]"), std::string::npos);
}

TEST_F(Progress, RightPasswordUnpacksTheEncryptedArchive) {
    DownloadList list{Present("secret.zip", test::ToolArchive("zip-encrypted"))};
    int prompts = 0;
    INT_PTR result = Run(list, [&](HWND window) {
        HWND prompt = test::WaitForDialog("Please Input Password", IDC_PASSWORD_EDIT);
        if (prompt) {
            ++prompts;
            ::SetDlgItemTextA(prompt, IDC_PASSWORD_EDIT, "secret");
            PressButton(prompt, IDOK);
        }
        test::WaitForWindowGone(window);
    });
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Extracted("tree\\readme.txt"), Reference("zip-encrypted", "tree\\readme.txt"));
}

}  // namespace
}  // namespace netrefit
