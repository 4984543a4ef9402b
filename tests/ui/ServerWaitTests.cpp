// The server wait window fetching a real file from the loopback server.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "DriverThread.h"
#include "ProgressFixture.h"
#include "download/ServerWaitDialog.h"
#include "resources/ResourceIds.h"
#include "support/WindowDriver.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

using test::HttpResponse;
using test::PressButton;

constexpr char kConfirm[] = "Setup process is not complete. \nIf you cancel";

class ServerWait : public test::ServedFixture {
  protected:
    // The server information entry as the upgrade sequence makes it: no local path.
    DownloadEntry InfoEntry(HttpResponse response = HttpResponse()) {
        DownloadEntry entry = Served("Version_English.ini", info_, response);
        entry.SetLocalPath("");
        entry.SetName("Setting File");
        entry.SetSize(4096);
        return entry;
    }
    INT_PTR Run(const DownloadEntry& entry, const std::function<void(HWND)>& driver) {
        ServerWaitDialog dialog(nullptr);
        dialog.SetFolder(work_.Path());
        dialog.SetEntries({entry});
        return test::RunDriven(dialog, [&] {
            HWND window = test::WaitForDialog(kAppTitle, IDC_WAIT_MESSAGE);
            shown_ = window != nullptr;
            if (window) {
                message_ = test::ItemText(window, IDC_WAIT_MESSAGE);
                button_ = test::ItemText(window, IDC_WAIT_CANCEL);
                topmost_ = (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
                driver(window);
            }
        });
    }
    std::string Fetched() {
        std::string bytes;
        test::ReadFileBytes(work_.Path() + "Version_English.ini", &bytes);
        return bytes;
    }
    // Answers the cancel question and reports whether it was there.
    static bool Answer(int button) {
        HWND box = test::WaitForMessageBox(kConfirm);
        if (box) {
            PressButton(box, button);
        }
        return box != nullptr;
    }

    std::string info_ = test::PatternBytes(3000, 5);
    bool shown_ = false;
    bool topmost_ = false;
    std::string message_, button_;
};

TEST_F(ServerWait, FetchedFileEndsWithOne) {
    INT_PTR result = Run(InfoEntry(), [](HWND window) {
        test::SaveScreenshot(window, "server-wait");
        test::WaitForWindowGone(window);
    });
    ASSERT_TRUE(shown_);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Fetched(), info_);
    EXPECT_TRUE(topmost_);
    EXPECT_EQ(message_, "Retrieving data from the server...");
    EXPECT_EQ(button_, "Cancel");
}

// The signature file comes right after the server file; which of them failed decides the result.
// Refusals come at once: the window may end before it is ever shown.
TEST_F(ServerWait, FailedDownloadEndsWithThreeOrFourForTheSignatureFile) {
    struct {
        const char* name;
        int serverStatus;
        int signatureStatus;  // 0: no signature file asked for
        INT_PTR result;
        size_t signatureRequests;  // so far
    } cases[] = {
        {"ServerFileAlone", 404, 0, 3, 0},
        {"ServerFileBeforeItsSignature", 404, 200, 3, 0},
        {"SignatureFile", 200, 404, 4, 1},
        {"Both", 200, 200, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadList entries{InfoEntry(HttpResponse::Status(c.serverStatus))};
        if (c.signatureStatus != 0) {
            DownloadEntry signature =
                Served("Version_English.ini.sig", "lines", HttpResponse::Status(c.signatureStatus));
            signature.SetLocalPath("");
            entries.push_back(signature);
        }
        ServerWaitDialog dialog(nullptr);
        dialog.SetFolder(work_.Path());
        dialog.SetEntries(entries);
        EXPECT_EQ(dialog.RunModal(), c.result);
        EXPECT_EQ(server_.RequestCount("/files/Version_English.ini.sig"), c.signatureRequests);
        server_.Remove("/files/Version_English.ini.sig");
    }
    EXPECT_EQ(server_.RequestCount("/files/Version_English.ini"), 4u);
}

// Each further place is asked for both files when every place before it failed; a place that
// served the server file without its signature gives 4 when none serves both.
TEST_F(ServerWait, NextPlaceIsTriedWhenOneFails) {
    struct Place {
        int serverStatus;
        int signatureStatus;
    };
    struct {
        const char* name;
        Place first, second;
        INT_PTR result;
        const char* servedBy;  // the place whose server file is kept; "" for none
    } cases[] = {
        {"FirstDown", {404, 200}, {200, 200}, 1, "b"},
        {"FirstWithoutSignature", {200, 404}, {200, 200}, 1, "b"},
        {"FirstGood", {200, 200}, {500, 500}, 1, "a"},
        {"BothDown", {503, 200}, {404, 200}, 3, ""},
        {"SignatureMissingFirstThenDown", {200, 404}, {500, 200}, 4, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerWaitDialog dialog(nullptr);
        dialog.SetFolder(work_.Path());
        for (const auto& [place, statuses] :
             {std::make_pair("a", c.first), std::make_pair("b", c.second)}) {
            std::string folder = std::string(c.name) + "/" + place + "/";
            DownloadList entries{Served(folder + "Version_English.ini", place,
                                        HttpResponse::Status(statuses.serverStatus)),
                                 Served(folder + "Version_English.ini.sig", "lines",
                                        HttpResponse::Status(statuses.signatureStatus))};
            for (DownloadEntry& entry : entries) {
                entry.SetLocalPath("");
            }
            dialog.AddFallback(entries);
        }
        ::DeleteFileA((work_.Path() + "Version_English.ini").c_str());
        EXPECT_EQ(dialog.RunModal(), c.result);
        if (*c.servedBy != '\0') {
            EXPECT_EQ(Fetched(), c.servedBy);
        }
        bool secondAsked = std::string(c.servedBy) != "a";
        EXPECT_EQ(server_.RequestCount("/files/" + std::string(c.name) + "/b/Version_English.ini"),
                  secondAsked ? 1u : 0u);
    }
}

TEST_F(ServerWait, FailedDownloadDeletesTheLocalCopy) {
    DownloadEntry entry = InfoEntry(HttpResponse::Status(500));
    entry.SetLocalPath(work_.Path() + "Version_English.ini");
    ASSERT_TRUE(test::WriteFileBytes(entry.LocalPath(), "stale"));
    ServerWaitDialog dialog(nullptr);
    dialog.SetFolder(work_.Path());
    dialog.SetEntries({entry});
    EXPECT_EQ(dialog.RunModal(), 3);
    EXPECT_FALSE(test::FileExists(entry.LocalPath()));
}

TEST_F(ServerWait, WindowThatCannotBeMadeCountsAsFailed) {
    // A parent that is not a window makes the dialog manager refuse the dialog.
    ServerWaitDialog dialog(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7fff0001)));
    dialog.SetFolder(work_.Path());
    dialog.SetEntries({InfoEntry()});
    EXPECT_EQ(dialog.RunModal(), 3);
}

TEST_F(ServerWait, LanguageLibraryWithoutTheTemplateCountsAsFailed) {
    HMODULE library = ::LoadLibraryA((test::ModuleFolder() + "TestLanguage.dll").c_str());
    ASSERT_NE(library, nullptr);
    SetResourceModule(library);
    INT_PTR result = 0;
    {
        ServerWaitDialog dialog(nullptr);
        dialog.SetFolder(work_.Path());
        dialog.SetEntries({InfoEntry()});
        result = dialog.RunModal();
    }
    SetResourceModule(nullptr);
    ::FreeLibrary(library);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(ServerWait, ConfirmedCancelEndsWithTwo) {
    HttpResponse stalling;
    stalling.stallAfter = 1000;
    bool asked = false;
    INT_PTR result = Run(InfoEntry(stalling), [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        PressButton(window, IDC_WAIT_CANCEL);
        asked = Answer(IDYES);
        // The worker blocked in the stalled read sees the cancel once the bytes flow again.
        server_.Release();
        test::WaitForWindowGone(window);
    });
    ASSERT_TRUE(shown_);
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 2);
}

TEST_F(ServerWait, NoResumesTheDownloadWhichThenEndsWithOne) {
    HttpResponse stalling;
    stalling.stallAfter = 1000;
    stalling.sendChunk = 500;
    bool asked = false;
    INT_PTR result = Run(InfoEntry(stalling), [&](HWND window) {
        server_.WaitStalled(1, test::kWindowWait);
        PressButton(window, IDC_WAIT_CANCEL);
        asked = Answer(IDNO);
        server_.Release();
        test::WaitForWindowGone(window);
    });
    ASSERT_TRUE(shown_);
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Fetched(), info_);
}

TEST_F(ServerWait, CancelConfirmedDuringTheFinalPauseEndsWithTwo) {
    bool asked = false;
    INT_PTR result = Run(InfoEntry(), [&](HWND window) {
        // The whole file is on disk: the worker is in its final pause.
        test::WaitUntil([&] { return Fetched() == info_; });
        PressButton(window, IDC_WAIT_CANCEL);
        asked = Answer(IDYES);
        test::WaitForWindowGone(window);
    });
    ASSERT_TRUE(shown_);
    EXPECT_TRUE(asked);
    EXPECT_EQ(result, 2);
}

}  // namespace
}  // namespace netrefit
