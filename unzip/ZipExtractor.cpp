#include "unzip/ZipExtractor.h"

#include <algorithm>

#include "common/NamedObjects.h"
#include "unzip/ZipOutputPath.h"

namespace netrefit {

namespace {

constexpr DWORD kPausePollMs = 100;

PasswordPrompt& DefaultPrompt() {
    static PasswordPrompt prompt;
    return prompt;
}

// Truncated toward zero; hostile sizes can exceed the file, so the value is held to 1000.
int32_t PerMille(uint64_t part, uint64_t whole) {
    if (whole == 0) {
        return 0;
    }
    double value = static_cast<double>(part) * 1000.0 / static_cast<double>(whole);
    return static_cast<int32_t>(std::min(value, 1000.0));
}

}  // namespace

ZipExtractor::ZipExtractor() {
    // Normally the progress window's question event, which it made for manual reset; only
    // without that window does this creation decide the reset mode.
    doneEvent_ = CreateNamedEvent(kQuestionEventName, EventReset::Automatic, true).handle;
    if (doneEvent_) {
        ::ResetEvent(doneEvent_.get());
    }
    reader_.SetStopCheck([this] { return CancelRequested(); });
    reader_.SetWriteGate([this](size_t count) { return space_.Allow(count); });
}

ZipExtractor::~ZipExtractor() {
    {
        CriticalSectionLock lock(lock_);
        cancelRequest_ = true;
    }
    // After the request: a prompt ended here returns to a worker that sees it.
    promptSlot_.Cancel();
    worker_.Join(INFINITE);
}

void ZipExtractor::SetDefaultPasswordPrompt(PasswordPrompt prompt) {
    DefaultPrompt() = std::move(prompt);
}

void ZipExtractor::Start(const std::vector<std::string>& archivePaths,
                         const std::vector<std::string>& displayNames) {
    if (started_) {
        return;  // one object runs one extraction
    }
    archivePaths_ = archivePaths;
    displayNames_ = displayNames;
    displayNames_.resize(archivePaths_.size());
    Report(ExtractStarted, std::string(), 0, 0);
    totalSize_ = 0;
    for (size_t i = 0; i < archivePaths_.size(); ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (archivePaths_[i].size() > kMaxPathText ||
            !::GetFileAttributesExA(archivePaths_[i].c_str(), GetFileExInfoStandard, &data)) {
            Report(ExtractFailed, displayNames_[i], 0, 0);
            return;
        }
        totalSize_ += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    started_ = worker_.Start([this] { return WorkerMain(); });
    if (!started_) {
        Report(ExtractFailed, displayNames_.empty() ? std::string() : displayNames_[0], 0, 0);
    }
}

void ZipExtractor::Pause(bool pause) {
    if (started_) {
        CriticalSectionLock lock(lock_);
        pauseRequest_ = pause;
    }
}

void ZipExtractor::Cancel() {
    if (!started_) {
        return;
    }
    {
        CriticalSectionLock lock(lock_);
        cancelRequest_ = true;
    }
    // After the request: a prompt ended here returns to a worker that sees it.
    promptSlot_.Cancel();
    // The worker sees the request between chunks, so it ends soon unless a report holds it;
    // killing it instead could leave a C runtime lock held for ever.
    worker_.Join(cancelWaitMs_);
}

std::string ZipExtractor::AskPassword() {
    passwordText_.clear();
    const PasswordPrompt& prompt = prompt_ ? prompt_ : DefaultPrompt();
    if (prompt && !CancelRequested()) {
        passwordText_ = prompt(promptSlot_);
    }
    return passwordText_;
}

bool ZipExtractor::CancelRequested() {
    CriticalSectionLock lock(lock_);
    return cancelRequest_;
}

// True when a cancel request ends the worker. The lock is never held while sleeping.
bool ZipExtractor::PauseGate() {
    lock_.Enter();
    while (pauseRequest_ && !cancelRequest_) {
        lock_.Leave();
        ::Sleep(kPausePollMs);
        lock_.Enter();
    }
    bool cancelled = cancelRequest_;
    lock_.Leave();
    return cancelled;
}

void ZipExtractor::Report(ExtractStatus status,
                          const std::string& text,
                          int32_t overallPerMille,
                          int32_t filePerMille) {
    if (callback_ != nullptr) {
        callback_(owner_, text, status, overallPerMille, filePerMille);
    }
}

int32_t ZipExtractor::OverallPerMille() const {
    return PerMille(overallBytes_, totalSize_);
}

int32_t ZipExtractor::ArchivePerMille() const {
    return PerMille(archiveBytes_, archiveSize_);
}

unsigned ZipExtractor::WorkerMain() {
    overallBytes_ = 0;
    space_.SetFolder(folder_);
    Outcome outcome = reader_.AllocateWorkBuffer() ? Outcome::Done : Outcome::Failed;
    size_t index = 0;
    for (; outcome == Outcome::Done && index < archivePaths_.size(); ++index) {
        outcome = ExtractArchive(index);
        if (outcome != Outcome::Done) {
            break;
        }
    }
    reader_.CloseOutput();
    reader_.CloseArchive();
    reader_.ReleaseWorkBuffer();
    if (outcome == Outcome::Done) {
        Report(ExtractDone, std::string(), 1000, 1000);
    } else if (outcome == Outcome::Cancelled) {
        Report(ExtractCancelled, cancelText_, 0, 0);
    } else {
        std::string name = index < displayNames_.size() ? displayNames_[index] : std::string();
        Report(ExtractFailed, name, 0, 0);
    }
    if (doneEvent_) {
        ::SetEvent(doneEvent_.get());
    }
    return outcome == Outcome::Done ? 0 : 1;
}

}  // namespace netrefit
