#include "app/ModuleListDialog.h"

#include <shlwapi.h>

#include <cstdint>

#include "app/AboutDialog.h"
#include "app/UpgradeApp.h"
#include "common/UniqueHandle.h"
#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {

namespace {
constexpr int kImageDone = 0;
constexpr int kImageToDownload = 1;
}  // namespace

ModuleListDialog::ModuleListDialog(HWND parent)
    : Dialog(IDD_MODULE_LIST, parent), icon(LoadIconResource(IDI_APPLICATION_ICON)) {}

void ModuleListDialog::AttachControls() {
    HWND window = Window();
    moduleList.Attach(window, IDC_MODULE_LIST);
    groupBox.Attach(window, IDC_MODULE_GROUP);
    sizeText.Attach(window, IDC_MODULE_SIZE);
    sizeLabel.Attach(window, IDC_MODULE_SIZE_LABEL);
    hintText.Attach(window, IDC_MODULE_HINT);
    okButton.Attach(window, IDC_MODULE_OK);
    cancelButton.Attach(window, IDC_MODULE_CANCEL);
}

void ModuleListDialog::AddAboutMenuItem() {
    std::string text = LoadResString(IDS_ABOUT_MENU);
    HMENU menu = ::GetSystemMenu(Window(), FALSE);
    if (menu && !text.empty()) {
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
    }
}

BOOL ModuleListDialog::OnInitDialog() {
    AttachControls();
    AddAboutMenuItem();
    ::SendMessageA(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageA(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SetCaption(kAppTitle);
    return RunUpgradeSequence() == SequenceOutcome::ListShown ? TRUE : FALSE;
}

void ModuleListDialog::AddStatusImages() {
    ImageList images(::ImageList_Create(16, 16, ILC_COLOR8 | ILC_MASK, 1, 1));
    if (!images) {
        return;
    }
    for (int id : {IDI_DONE, IDI_TO_DOWNLOAD}) {
        IconHandle status(LoadIconResource(id, 16, 16));
        if (status) {
            ::ImageList_AddIcon(images.get(), status.get());
        }
    }
    moduleList.SetSmallImages(images);
}

void ModuleListDialog::FillModuleList() {
    int fileWidth = moduleList.ClientWidth() - kStatusColumnWidth;
    moduleList.InsertColumn(0, LoadResString(IDS_COLUMN_FILE), fileWidth, LVCFMT_LEFT);
    moduleList.InsertColumn(1, LoadResString(IDS_COLUMN_STATUS), kStatusColumnWidth, LVCFMT_CENTER);
    AddStatusImages();
    moduleList.SetExtendedStyle(LVS_EX_FULLROWSELECT);

    uint32_t total = 0;
    for (size_t i = 0; i < downloadList.size(); ++i) {
        const DownloadEntry& entry = downloadList[i];
        int row = static_cast<int>(i);
        bool done = entry.AlreadyDownloaded() != 0;
        moduleList.InsertItem(row, entry.Name(), done ? kImageDone : kImageToDownload);
        moduleList.SetItemText(row, 1,
                               LoadResString(done ? IDS_STATUS_DONE : IDS_STATUS_TO_DOWNLOAD));
        if (!done) {
            total += static_cast<uint32_t>(entry.Size());
        }
    }
    char size[255] = {};
    ::StrFormatByteSizeA(total, size, sizeof(size));
    sizeText.SetText(size);

    groupBox.SetText(LoadResString(IDS_FILES_FOR_DOWNLOADING));
    sizeLabel.SetText(LoadResString(IDS_DOWNLOAD_SIZE));
    hintText.SetText(LoadResString(IDS_CLICK_OK));
    okButton.SetText(LoadResString(IDS_OK));
    cancelButton.SetText(LoadResString(IDS_CANCEL));
    ::SetForegroundWindow(Window());
}

bool ModuleListDialog::SetItemImage(int row, int image) {
    return moduleList.SetItemImage(row, image);
}

bool ModuleListDialog::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) {
        return false;
    }
    if (id == IDC_MODULE_CANCEL) {
        OnCancel();
        return true;
    }
    if (id == IDC_MODULE_OK) {
        BeginDownloadPhase();
        return true;
    }
    return false;
}

bool ModuleListDialog::OnSysCommand(WPARAM command) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    AboutDialog about(Window());
    about.RunModal();
    return true;
}

bool ModuleListDialog::PaintMinimised() {
    if (!::IsIconic(Window())) {
        return false;
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(Window(), &paint);
    ::SendMessageA(Window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(Window(), &client);
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
    ::EndPaint(Window(), &paint);
    return true;
}

void ModuleListDialog::KeepHidden(WINDOWPOS* position) {
    if (staysHidden_ && (position->flags & SWP_SHOWWINDOW) != 0) {
        position->flags &= ~SWP_SHOWWINDOW;
        position->flags |= SWP_NOACTIVATE;
    }
}

INT_PTR ModuleListDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == InstallerNotice) {
        OnInstallerNotice(wParam, lParam);
        return Dialog::WindowProc(message, wParam, lParam);
    }
    switch (message) {
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return PaintMinimised() ? TRUE : FALSE;
        case WM_WINDOWPOSCHANGING:
            KeepHidden(reinterpret_cast<WINDOWPOS*>(lParam));
            return FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose answer is the dialog procedure's own result.
            return reinterpret_cast<INT_PTR>(icon);
        default:
            return Dialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace netrefit
