#include "download/PhaseHandOver.h"

#include "common/NamedObjects.h"

namespace netrefit {

namespace {
constexpr DWORD kHandOverPauseMs = 2000;
}

// The extraction worker opens the question event as its done event: made here first, it keeps
// manual reset, and the worker signals it only as its thread ends, after any pause.
PhaseHandOver::PhaseHandOver()
    : questionEvent_(CreateNamedEvent(kQuestionEventName, EventReset::Manual, true).handle),
      switchEvent_(CreateNamedEvent(kSwitchEventName, EventReset::Manual, true).handle),
      standbyEvent_(CreateNamedEvent(kStandbyEventName, EventReset::Manual, true).handle) {}

void PhaseHandOver::Pause(std::atomic<int32_t>& phase) {
    ::SetEvent(questionEvent_.get());
    ::ResetEvent(switchEvent_.get());
    phase = BetweenPhases;
    ::Sleep(kHandOverPauseMs);
    ::SetEvent(switchEvent_.get());
    ::WaitForSingleObject(questionEvent_.get(), INFINITE);
}

void PhaseHandOver::WaitForStandbyAnswer() const {
    ::WaitForSingleObject(standbyEvent_.get(), INFINITE);
}

void PhaseHandOver::QuestionAsked() const {
    ::ResetEvent(questionEvent_.get());
}

void PhaseHandOver::QuestionAnswered() const {
    ::SetEvent(questionEvent_.get());
}

void PhaseHandOver::WaitForPauseEnd() const {
    ::WaitForSingleObject(switchEvent_.get(), INFINITE);
}

void PhaseHandOver::StandbyRefused() const {
    ::ResetEvent(standbyEvent_.get());
}

void PhaseHandOver::StandbyAnswered() const {
    ::SetEvent(standbyEvent_.get());
}

}  // namespace netrefit
