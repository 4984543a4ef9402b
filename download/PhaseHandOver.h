#pragma once
// The progress window's phases and the three named events that keep its 2-second pause between
// two phases, its cancel question and its standby refusal from running into each other. The
// workers call the hand-over from their last report; the window's thread calls the rest.

#include <atomic>
#include <cstdint>

#include "common/UniqueHandle.h"

namespace netrefit {

enum ProgressPhase : int32_t { Downloading = 1, Extracting = 2, BetweenPhases = 3 };

class PhaseHandOver {
  public:
    PhaseHandOver();

    // Worker side, after its phase's last report: the pause between the phases, with phase set
    // to BetweenPhases during it. Returns once a cancel question asked meanwhile is answered.
    void Pause(std::atomic<int32_t>& phase);
    // Worker side: a standby refusal still on screen is answered first.
    void WaitForStandbyAnswer() const;

    // Window side: the cancel question between the phases is on screen, or answered.
    void QuestionAsked() const;
    void QuestionAnswered() const;
    // Window side, after a Yes between the phases: the pause is over.
    void WaitForPauseEnd() const;

    // Window side: a standby query was refused and its message is pending, or answered.
    void StandbyRefused() const;
    void StandbyAnswered() const;

  private:
    KernelHandle questionEvent_;
    KernelHandle switchEvent_;
    KernelHandle standbyEvent_;
};

}  // namespace netrefit
