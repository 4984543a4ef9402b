#pragma once
// The progress window's bars and texts. The workers' report handlers call it from their own
// threads: a bar moves without waiting for the window's thread, a text waits for it and is sent
// only when it changed.

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/Controls.h"

namespace netrefit {

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

    void FileStarted(const std::string& name, int64_t overallCount, uint32_t total, uint32_t size);
    void Progress(int64_t overallCount, uint32_t total, int64_t fileCount, uint32_t size);
    void ShowSizes(int64_t overallCount, uint32_t total, int64_t fileCount, uint32_t size);

    void ExtractStarted(const std::string& name);
    void SetBars(int overallPerMille, int filePerMille) const;
    void SetFileLabel(const std::string& name) const { fileLabel_.SetText(name); }

  private:
    void ShowText(const Static& text, std::string& shown, const std::string& value);

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
    std::string overallShown_;
    std::string fileShown_;
    // Bar positions the download reports last set: a chunk that moves no bar sends nothing.
    int shownOverall_ = -1;
    int shownFile_ = -1;
};

}  // namespace netrefit
