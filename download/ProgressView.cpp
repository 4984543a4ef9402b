#include "download/ProgressView.h"

#include <shlwapi.h>

#include <utility>

#include "resources/ResourceIds.h"
#include "ui/ResourceModule.h"

namespace netrefit {

namespace {

constexpr int kBarRange = 1000;
// Often enough to look continuous.
constexpr UINT kPaintMs = 40;

std::string ByteSize(int64_t count) {
    char text[255] = {};
    ::StrFormatByteSizeA(static_cast<DWORD>(count < 0 ? 0 : count), text, sizeof(text));
    return text;
}

std::string Sizes(int64_t count, uint32_t whole) {
    return ByteSize(count) + " / " + ByteSize(whole);
}

}  // namespace

int ProgressView::progressReports_ = 0;

int BarPosition(int64_t count, uint32_t whole) {
    uint32_t thousandth = whole / 1000;
    if (thousandth == 0) {
        return count >= static_cast<int64_t>(whole) ? kBarRange : 0;
    }
    double position = static_cast<double>(count) / static_cast<double>(thousandth);
    if (position < 0) {
        return 0;
    }
    return position > kBarRange ? kBarRange : static_cast<int>(position);
}

void ProgressView::Attach(HWND window) {
    window_ = window;
    overallBar_.Attach(window, IDC_PROGRESS_OVERALL_BAR);
    fileBar_.Attach(window, IDC_PROGRESS_FILE_BAR);
    phaseText_.Attach(window, IDC_PROGRESS_PHASE);
    overallLabel_.Attach(window, IDC_PROGRESS_OVERALL_LABEL);
    fileLabel_.Attach(window, IDC_PROGRESS_FILE_LABEL);
    overallSizes_.Attach(window, IDC_PROGRESS_OVERALL_SIZES);
    fileSizes_.Attach(window, IDC_PROGRESS_FILE_SIZES);
    cancelButton_.Attach(window, IDC_PROGRESS_CANCEL);
}

void ProgressView::ShowOpening() {
    overallLabel_.SetText(LoadResString(IDS_OVERALL_PROGRESS));
    fileLabel_.SetText("");
    WantSizes("", "");
    cancelButton_.SetText(LoadResString(IDS_CANCEL));
}

void ProgressView::ShowPhase(UINT textId) const {
    phaseText_.SetText(LoadResString(textId));
}

void ProgressView::ResetBars() {
    shownOverall_ = shownFile_ = -1;
    for (const ProgressBar* bar : {&overallBar_, &fileBar_}) {
        bar->SetRange(0, kBarRange);
        bar->SetPos(0);
    }
}

void ProgressView::ClearBars() const {
    SetBars(0, 0);
}

namespace {

// Turning redrawing off validates the control; turning it back on leaves it to be painted.
void SetRedraw(const Control& control, bool redraw) {
    ::SendMessageA(control.Window(), WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
}

// A text is painted over the background it leaves (erase); a bar paints all of itself.
void PaintNow(const Control& control, bool erase) {
    SetRedraw(control, true);
    ::InvalidateRect(control.Window(), nullptr, erase ? TRUE : FALSE);
    ::UpdateWindow(control.Window());
    SetRedraw(control, false);
}

}  // namespace

void ProgressView::DeferPainting(bool defer) {
    if (defer == paintingDeferred_) {
        return;
    }
    if (defer && !::SetTimer(window_, kPaintTimer, kPaintMs, nullptr)) {
        return;
    }
    if (!defer) {
        ::KillTimer(window_, kPaintTimer);
    }
    paintingDeferred_ = defer;
    paintedOverall_ = paintedFile_ = -1;
    sizesChanged_ = true;
    const Control* controls[] = {&overallBar_, &fileBar_, &overallSizes_, &fileSizes_};
    for (const Control* control : controls) {
        SetRedraw(*control, !defer);
        if (!defer) {
            ::InvalidateRect(control->Window(), nullptr, TRUE);
        }
    }
}

void ProgressView::PaintDeferred() {
    if (!paintingDeferred_) {
        return;
    }
    for (auto [bar, painted] :
         {std::pair{&overallBar_, &paintedOverall_}, std::pair{&fileBar_, &paintedFile_}}) {
        int position = bar->Pos();
        if (position != *painted) {
            *painted = position;
            PaintNow(*bar, false);
        }
    }
    if (sizesChanged_) {
        sizesChanged_ = false;
        PaintNow(overallSizes_, true);
        PaintNow(fileSizes_, true);
    }
}

bool ProgressView::PaintWindow() {
    if (!paintingDeferred_) {
        return false;
    }
    PAINTSTRUCT paint;
    ::BeginPaint(window_, &paint);
    ::EndPaint(window_, &paint);
    // The window paints itself seldom (shown, uncovered): all of them, whatever it covered.
    PaintNow(overallBar_, false);
    PaintNow(fileBar_, false);
    PaintNow(overallSizes_, true);
    PaintNow(fileSizes_, true);
    return true;
}

void ProgressView::FileStarted(const std::string& name,
                               int64_t overallCount,
                               uint32_t total,
                               uint32_t size) {
    fileBar_.SetPos(0);
    shownFile_ = 0;
    fileLabel_.SetText(name);
    ShowSizes(overallCount, total, 0, size);
}

void ProgressView::Progress(int64_t overallCount,
                            uint32_t total,
                            int64_t fileCount,
                            uint32_t size) {
    // Most reports move a bar; waiting for the window's thread each time would pace the
    // download by that thread's turns on the processor.
    int overall = BarPosition(overallCount, total);
    if (overall != shownOverall_) {
        overallBar_.MovePos(overall);
        shownOverall_ = overall;
    }
    int file = BarPosition(fileCount, size);
    if (file != shownFile_) {
        fileBar_.MovePos(file);
        shownFile_ = file;
    }
    if (progressReports_ > 4) {
        ShowSizes(overallCount, total, fileCount, size);
        progressReports_ = 0;
    }
    ++progressReports_;
}

void ProgressView::ShowSizes(int64_t overallCount,
                             uint32_t total,
                             int64_t fileCount,
                             uint32_t size) {
    WantSizes(Sizes(overallCount, total), Sizes(fileCount, size));
}

// A message sent without waiting keeps its place among the messages this thread sends to the
// window, so a text or bar change sent after it still comes after it. It carries no text (the
// system does not carry pointers for a sender that does not wait): the window reads the latest.
void ProgressView::WantSizes(const std::string& overall, const std::string& file) {
    {
        CriticalSectionLock lock(sizesLock_);
        if (overall == overallWanted_ && file == fileWanted_) {
            return;
        }
        overallWanted_ = overall;
        fileWanted_ = file;
        if (sizesPending_) {
            return;
        }
        sizesPending_ = true;
    }
    ::SendNotifyMessageA(window_, UM_SHOW_SIZES, 0, 0);
}

void ProgressView::ApplySizes() {
    std::string overall;
    std::string file;
    {
        CriticalSectionLock lock(sizesLock_);
        overall = overallWanted_;
        file = fileWanted_;
        sizesPending_ = false;
    }
    bool overallChanged = ShowText(overallSizes_, overallShown_, overall);
    bool fileChanged = ShowText(fileSizes_, fileShown_, file);
    sizesChanged_ = sizesChanged_ || overallChanged || fileChanged;
}

void ProgressView::ExtractStarted(const std::string& name) {
    fileBar_.SetPos(0);
    phaseText_.SetText(LoadResString(IDS_EXTRACTING));
    overallLabel_.SetText(LoadResString(IDS_OVERALL_PROGRESS));
    fileLabel_.SetText(name);
    WantSizes("", "");
}

void ProgressView::SetBars(int overallPerMille, int filePerMille) const {
    overallBar_.SetPos(overallPerMille);
    fileBar_.SetPos(filePerMille);
}

// Most refreshes repeat what is already shown.
bool ProgressView::ShowText(const Static& text, std::string& shown, const std::string& value) {
    if (value == shown) {
        return false;
    }
    text.SetText(value);
    shown = value;
    return true;
}

}  // namespace netrefit
