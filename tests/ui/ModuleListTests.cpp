#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "DriverThread.h"
#include "NetrefitVersion.h"
#include "app/ModuleListDialog.h"
#include "resources/ResourceIds.h"
#include "support/WindowDriver.h"
#include "ui/ResourceModule.h"

namespace netrefit {
namespace {

using test::ItemText;
using test::PressButton;
using test::WaitForDialog;

DownloadEntry Entry(const std::string& name, int32_t size, bool done) {
    DownloadEntry entry;
    entry.SetName(name);
    entry.SetSize(size);
    entry.SetAlreadyDownloaded(done ? 1 : 0);
    return entry;
}

// The real dialog with the download phase replaced by a record of its start, and the list
// control optionally resized before filling (as a different template would make it).
class RecordingModuleList : public ModuleListDialog {
  public:
    RecordingModuleList() : ModuleListDialog(nullptr) {}
    int downloadPhaseStarts = 0;
    int cancels = 0;
    int listWidth = 0;
    using ModuleListDialog::Icon;
    using ModuleListDialog::List;
    using ModuleListDialog::SetDownloadList;

  protected:
    // Only the display: the upgrade sequence and the cancel confirmation are tested elsewhere.
    SequenceOutcome RunUpgradeSequence() override {
        if (listWidth > 0) {
            RECT rect;
            ::GetWindowRect(List().Window(), &rect);
            ::SetWindowPos(List().Window(), nullptr, 0, 0, listWidth, rect.bottom - rect.top,
                           SWP_NOMOVE | SWP_NOZORDER);
        }
        FillModuleList();
        return SequenceOutcome::ListShown;
    }
    void OnCancel() override {
        ++cancels;
        End(IDCANCEL);
    }
    void BeginDownloadPhase() override {
        ++downloadPhaseStarts;
        End(IDOK);
    }
};

struct Row {
    std::string name;
    std::string status;
    int image;
};

struct Seen {
    HWND window = nullptr;
    std::vector<Row> rows;
    std::string total, group, label, hint, ok, cancel;
    int fileWidth = 0, statusWidth = 0, clientWidth = 0, imageCount = 0;
    DWORD extendedStyle = 0;
};

Seen ReadWindow(RecordingModuleList& dialog, HWND window) {
    Seen seen;
    seen.window = window;
    const ListView& list = dialog.List();
    for (int row = 0; row < list.ItemCount(); ++row) {
        seen.rows.push_back({list.ItemText(row, 0), list.ItemText(row, 1), list.ItemImage(row)});
    }
    seen.total = ItemText(window, IDC_MODULE_SIZE);
    seen.group = ItemText(window, IDC_MODULE_GROUP);
    seen.label = ItemText(window, IDC_MODULE_SIZE_LABEL);
    seen.hint = ItemText(window, IDC_MODULE_HINT);
    seen.ok = ItemText(window, IDC_MODULE_OK);
    seen.cancel = ItemText(window, IDC_MODULE_CANCEL);
    seen.fileWidth = list.ColumnWidth(0);
    seen.statusWidth = list.ColumnWidth(1);
    seen.clientWidth = list.ClientWidth();
    seen.imageCount = ::ImageList_GetImageCount(list.SmallImages());
    seen.extendedStyle = list.ExtendedStyle();
    return seen;
}

TEST(ModuleList, ShowsRowsImagesAndTheTotalStillToFetch) {
    RecordingModuleList dialog;
    dialog.SetDownloadList({Entry("Melorra Player", 1048576, false), Entry("DirectX", 700000, true),
                            Entry("Windows Media Format", 548576, false)});
    Seen seen;
    INT_PTR result = test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (!window) {
            return;
        }
        seen = ReadWindow(dialog, window);
        test::SaveScreenshot(window, "module-list");
        PressButton(window, IDC_MODULE_CANCEL);
    });
    ASSERT_NE(seen.window, nullptr) << "the module list never appeared";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.cancels, 1);
    EXPECT_EQ(dialog.downloadPhaseStarts, 0);
    ASSERT_EQ(seen.rows.size(), 3u);
    EXPECT_EQ(seen.rows[0].name, "Melorra Player");
    EXPECT_EQ(seen.rows[0].status, "-");
    EXPECT_EQ(seen.rows[0].image, 1);
    EXPECT_EQ(seen.rows[1].name, "DirectX");
    EXPECT_EQ(seen.rows[1].status, "Done");
    EXPECT_EQ(seen.rows[1].image, 0);
    EXPECT_EQ(seen.rows[2].status, "-");
    EXPECT_EQ(seen.rows[2].image, 1);
    // 1048576 + 548576 bytes; the done entry's 700000 bytes are left out.
    char expected[64];
    ::StrFormatByteSizeA(1597152, expected, sizeof(expected));
    EXPECT_EQ(seen.total, expected);
    EXPECT_EQ(seen.group, "Files for downloading");
    EXPECT_EQ(seen.label, "Download size");
    EXPECT_EQ(seen.hint, "Please click OK to begin the download.");
    EXPECT_EQ(seen.ok, "OK");
    EXPECT_EQ(seen.cancel, "Cancel");
    EXPECT_EQ(seen.imageCount, 2);
    EXPECT_EQ(seen.extendedStyle, static_cast<DWORD>(LVS_EX_FULLROWSELECT));
    EXPECT_EQ(seen.statusWidth, 90);
    EXPECT_EQ(seen.fileWidth, seen.clientWidth - 90);
}

TEST(ModuleList, EmptyListShowsNoRowsAndZeroBytes) {
    RecordingModuleList dialog;
    Seen seen;
    test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (window) {
            seen = ReadWindow(dialog, window);
            PressButton(window, IDC_MODULE_CANCEL);
        }
    });
    ASSERT_NE(seen.window, nullptr);
    EXPECT_TRUE(seen.rows.empty());
    char expected[64];
    ::StrFormatByteSizeA(0, expected, sizeof(expected));
    EXPECT_EQ(seen.total, expected);
}

TEST(ModuleList, FileColumnFollowsTheControlWidth) {
    int fileWidths[2] = {};
    int statusWidths[2] = {};
    int clientWidths[2] = {};
    const int widths[2] = {300, 420};
    for (int i = 0; i < 2; ++i) {
        RecordingModuleList dialog;
        dialog.listWidth = widths[i];
        dialog.SetDownloadList({Entry("Melorra", 10, false)});
        test::RunDriven(dialog, [&] {
            HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
            if (window) {
                Seen seen = ReadWindow(dialog, window);
                fileWidths[i] = seen.fileWidth;
                statusWidths[i] = seen.statusWidth;
                clientWidths[i] = seen.clientWidth;
                PressButton(window, IDC_MODULE_CANCEL);
            }
        });
    }
    EXPECT_EQ(statusWidths[0], 90);
    EXPECT_EQ(statusWidths[1], 90);
    EXPECT_EQ(fileWidths[0], clientWidths[0] - 90);
    EXPECT_EQ(fileWidths[1], clientWidths[1] - 90);
    EXPECT_EQ(fileWidths[1] - fileWidths[0], 120);
}

TEST(ModuleList, EnterStartsTheDownloadPhaseThroughTheDefaultButton) {
    RecordingModuleList dialog;
    dialog.SetDownloadList({Entry("Melorra", 10, false)});
    bool found = false;
    INT_PTR result = test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (!window) {
            return;
        }
        found = true;
        // Enter goes to whichever control has the focus; the dialog manager turns it into the
        // default button's command.
        test::PressKey(window, VK_RETURN);
    });
    ASSERT_TRUE(found);
    EXPECT_EQ(dialog.downloadPhaseStarts, 1);
    EXPECT_EQ(result, IDOK);
}

TEST(ModuleList, DefaultButtonIsOk) {
    RecordingModuleList dialog;
    LRESULT defaultId = 0;
    test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (window) {
            defaultId = ::SendMessageA(window, DM_GETDEFID, 0, 0);
            PressButton(window, IDC_MODULE_CANCEL);
        }
    });
    EXPECT_EQ(HIWORD(defaultId), DC_HASDEFID);
    EXPECT_EQ(LOWORD(defaultId), IDC_MODULE_OK);
}

TEST(ModuleList, DragIconQueryIsAnsweredWithTheApplicationIcon) {
    RecordingModuleList dialog;
    LRESULT dragIcon = 0, bigIcon = 0;
    test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (window) {
            dragIcon = ::SendMessageA(window, WM_QUERYDRAGICON, 0, 0);
            bigIcon = ::SendMessageA(window, WM_GETICON, ICON_BIG, 0);
            PressButton(window, IDC_MODULE_CANCEL);
        }
    });
    ASSERT_NE(dialog.Icon(), nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(dragIcon), dialog.Icon());
    EXPECT_EQ(bigIcon, dragIcon) << "the icon dragged is the one the window shows";
}

TEST(ModuleList, SystemMenuItemOpensTheAboutBox) {
    RecordingModuleList dialog;
    std::string menuText, aboutOk, aboutVersion;
    bool aboutShown = false, aboutClosed = false;
    test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (!window) {
            return;
        }
        char text[256] = {};
        ::GetMenuStringA(::GetSystemMenu(window, FALSE), IDM_ABOUTBOX, text, sizeof(text),
                         MF_BYCOMMAND);
        menuText = text;
        ::PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = WaitForDialog("Melorra Installer version information", IDOK);
        if (about) {
            aboutShown = true;
            aboutOk = ItemText(about, IDOK);
            HWND child = ::FindWindowExA(about, nullptr, "Static", NETREFIT_ABOUT_VERSION_TEXT);
            aboutVersion = child ? test::WindowText(child) : "";
            test::SaveScreenshot(about, "about");
            PressButton(about, IDOK);
            aboutClosed = test::WaitForWindowGone(about);
        }
        PressButton(window, IDC_MODULE_CANCEL);
    });
    EXPECT_EQ(menuText, "Melorra Installer version information...");
    ASSERT_TRUE(aboutShown);
    EXPECT_EQ(aboutOk, "OK");
    EXPECT_EQ(aboutVersion, "Melorra Installer Version " NETREFIT_VERSION_TEXT);
    EXPECT_TRUE(aboutClosed);
}

TEST(ModuleList, SetItemImageChangesOnlyTheImage) {
    RecordingModuleList dialog;
    dialog.SetDownloadList({Entry("Melorra", 10, false), Entry("DirectX", 20, false)});
    int before = -1, after = -1, other = -1;
    std::string text, status;
    bool changed = false;
    test::RunDriven(dialog, [&] {
        HWND window = WaitForDialog(kAppTitle, IDC_MODULE_LIST);
        if (!window) {
            return;
        }
        before = dialog.List().ItemImage(0);
        changed = dialog.SetItemImage(0, 0);
        after = dialog.List().ItemImage(0);
        other = dialog.List().ItemImage(1);
        text = dialog.List().ItemText(0, 0);
        status = dialog.List().ItemText(0, 1);
        PressButton(window, IDC_MODULE_CANCEL);
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(other, 1);
    EXPECT_EQ(text, "Melorra");
    EXPECT_EQ(status, "-");
}

}  // namespace
}  // namespace netrefit
