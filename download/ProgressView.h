#pragma once
// The progress window's bars and texts. The workers' report handlers call it from their own
// threads: a bar moves and the size texts change without waiting for the window's thread; the
// other texts wait for it.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/Sync.h"
#include "ui/Controls.h"

namespace netrefit {

// Sent (not posted) by the view to its window, which answers with ApplySizes.
constexpr UINT UM_SHOW_SIZES = 0x603;

// Position on a 0..1000 bar of count out of whole. A whole below 1000 bytes has no thousandth to
// divide by: the bar then stays at 0 until the count reaches the whole.
int BarPosition(int64_t count, uint32_t whole);

class ProgressView {
  public:
    void Attach(HWND window);
    // The texts of a window just opened, and the phase text by its string number.
    void ShowOpening();
    void ShowPhase(UINT textId) const;
    // Both bars on their full range at 0, as each phase begins.
    void ResetBars();
    void ClearBars() const;

    // While the download runs, the bars and the size texts take every value the moment it is
    // reported but are painted only on the window's kPaintTimer, whose ticks the window hands to
    // PaintDeferred: each control paints itself at once on each new value, and thousands of
    // paints a file would take the processor from the transfer. Without the timer nothing is
    // deferred. Window thread only.
    static constexpr UINT_PTR kPaintTimer = 1;
    void DeferPainting(bool defer);
    void PaintDeferred();
    // The window's WM_PAINT while painting is deferred: the deferred controls are hidden from
    // the system's painting, so the window's own paint covers them with its background; those
    // it covered are painted again at once from their current values, paused or not. False
    // when nothing is deferred (the window paints as usual).
    bool PaintWindow();

    void FileStarted(const std::string& name, int64_t overallCount, uint32_t total, uint32_t size);
    void Progress(int64_t overallCount, uint32_t total, int64_t fileCount, uint32_t size);
    void ShowSizes(int64_t overallCount, uint32_t total, int64_t fileCount, uint32_t size);
    // Window thread: the size texts last asked for reach their controls.
    void ApplySizes();

    void ExtractStarted(const std::string& name);
    void SetBars(int overallPerMille, int filePerMille) const;
    void SetFileLabel(const std::string& name) const { fileLabel_.SetText(name); }

  private:
    // Any thread: the size texts to show. The window is told without waiting for it; a text
    // still on its way is replaced, so a busy window thread skips to the latest.
    void WantSizes(const std::string& overall, const std::string& file);
    // Whether the text changed.
    bool ShowText(const Static& text, std::string& shown, const std::string& value);

    // The size texts follow every fifth progress report only; the count spans every window of
    // the process.
    static int progressReports_;

    ProgressBar overallBar_;
    ProgressBar fileBar_;
    Static phaseText_;
    Static overallLabel_;
    Static fileLabel_;
    Static overallSizes_;
    Static fileSizes_;
    Button cancelButton_;
    HWND window_ = nullptr;
    // What the size controls show; window thread only.
    std::string overallShown_;
    std::string fileShown_;
    // What they are to show, and whether the window has yet to be told.
    CriticalSection sizesLock_;
    std::string overallWanted_;
    std::string fileWanted_;
    bool sizesPending_ = false;
    // Bar positions the download reports last set: a chunk that moves no bar sends nothing.
    int shownOverall_ = -1;
    int shownFile_ = -1;
    bool paintingDeferred_ = false;
    // Positions the bars were last painted at, while painting is deferred.
    int paintedOverall_ = -1;
    int paintedFile_ = -1;
    bool sizesChanged_ = false;
};

}  // namespace netrefit
