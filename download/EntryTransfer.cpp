#include "download/EntryTransfer.h"

#include <cstdio>
#include <cstdlib>

#include "common/SupportLog.h"
#include "download/HttpRequest.h"
#include "download/ModuleDigest.h"
#include "download/PartialRecord.h"
#include "download/ProxyLogin.h"
#include "download/RedirectChain.h"
#include "download/TransferControl.h"

namespace netrefit {
namespace {

constexpr DWORD kPauseStepMs = 100;

int32_t Signed(uint64_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(count));
}

// Statuses worth asking the same URL again for: the server's own trouble, a time-out, and a
// proxy's login (which a repeated request may carry).
bool IsTransientStatus(int status) {
    return status == 0 || status == 407 || status == 408 || (status >= 500 && status <= 599);
}

// "bytes first-last/total" of a Content-Range header.
bool ParseContentRange(const std::string& text, uint64_t* first, uint64_t* last, uint64_t* total) {
    unsigned long long a = 0;
    unsigned long long b = 0;
    unsigned long long c = 0;
    char tail = '\0';
    if (std::sscanf(text.c_str(), "bytes %llu-%llu/%llu%c", &a, &b, &c, &tail) != 3) {
        return false;
    }
    *first = a;
    *last = b;
    *total = c;
    return true;
}

}  // namespace

EntryTransfer::EntryTransfer(DownloadEntry& entry,
                             const std::string& folder,
                             TransferHost& host,
                             uint32_t& overall)
    : entry_(entry), folder_(folder), host_(host), control_(host.Control()), overall_(overall) {}

TransferOutcome EntryTransfer::Run() {
    // A cancel that came while an earlier entry was reported (a digest mismatch) sends nothing.
    if (control_->CancelRequested()) {
        return CancelRun();
    }
    return entry_.Resumable() ? RunResumable() : RunWhole();
}

// A file without digests (the server file) is taken whole from one answer or not at all.
TransferOutcome EntryTransfer::RunWhole() {
    if (!OpenRequest(entry_) || !StatusIsOk() || !CreateLocalFile()) {
        return Fail();
    }
    host_.Report(&entry_, FileStarted, Signed(overall_), 0);
    BodyEnd end = ReceiveBody();
    if (end == BodyEnd::Cancelled) {
        return CancelRun();
    }
    if (end != BodyEnd::Whole) {
        return Fail();
    }
    return Complete();
}

TransferOutcome EntryTransfer::Complete() {
    host_.Report(&entry_, Progress, Signed(overall_), entry_.Size());
    fileCount_ = 0;
    CloseAll();
    if (host_.Report(&entry_, FileDone, Signed(overall_), entry_.Size()) == kReportReject) {
        DeleteLocalCopy();
        return TransferOutcome::Refused;
    }
    return TransferOutcome::Completed;
}

// The path, then each mirror, until one delivers the file its digests describe. A failure that
// is not a cancel keeps the partial file and its record for the next run.
TransferOutcome EntryTransfer::RunResumable() {
    AdoptPartial();
    UrlEnd end = FetchFrom(entry_);
    for (size_t i = 0; end == UrlEnd::NextUrl && i < entry_.Mirrors().size(); ++i) {
        RemoteFile mirror;
        if (mirror.SetUrl(entry_.Mirrors()[i])) {
            end = FetchFrom(mirror);
        }
    }
    if (end == UrlEnd::Verified && MovePartialIntoPlace()) {
        return Complete();
    }
    if (end == UrlEnd::Cancelled && !abandoned_) {
        return CancelRun();
    }
    return Fail();
}

// An earlier run's partial file goes on only when its record still describes the module.
void EntryTransfer::AdoptPartial() {
    PartialRecord record;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!LoadPartialRecord(PartialRecordPath(entry_), &record) || !record.Describes(entry_) ||
        !::GetFileAttributesExA(PartialPath(entry_).c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeHigh != 0 || data.nFileSizeLow == 0 ||
        data.nFileSizeLow >= entry_.DeclaredBytes()) {
        DeletePartial(entry_);
        return;
    }
    validator_ = record.validator;
    partialUrl_ = record.url;
    fileCount_ = data.nFileSizeLow;
    overall_ += static_cast<uint32_t>(fileCount_);
    spliced_ = true;  // whatever comes next joins an earlier run's bytes
}

EntryTransfer::UrlEnd EntryTransfer::FetchFrom(const RemoteFile& target) {
    refetched_ = false;
    int retries = 0;
    for (;;) {
        Attempt attempt = AttemptOnce(target);
        switch (attempt) {
            case Attempt::Whole:
                if (PartialVerifies()) {
                    return UrlEnd::Verified;
                }
                // Joined bytes that do not match are fetched once more from the start; a file
                // that came in one piece and does not match is a stale copy.
                if (spliced_ && !refetched_) {
                    refetched_ = true;
                    StartOver();
                    break;
                }
                StartOver();
                return UrlEnd::NextUrl;
            case Attempt::Restart:
                break;  // from 0, sent without a range: it cannot come again
            case Attempt::Transient:
                if (retries == kMaxRetries) {
                    return UrlEnd::NextUrl;
                }
                if (control_->WaitForCancel(kFirstRetryWaitMs << retries)) {
                    return UrlEnd::Cancelled;
                }
                ++retries;
                break;
            case Attempt::Hopeless:
                return UrlEnd::NextUrl;
            case Attempt::LocalFault:
                return UrlEnd::LocalFault;
            case Attempt::Cancelled:
                return UrlEnd::Cancelled;
        }
    }
}

EntryTransfer::Attempt EntryTransfer::AttemptOnce(const RemoteFile& target) {
    if (control_->CancelRequested()) {
        return Attempt::Cancelled;
    }
    // Bytes of another URL are never joined to these; they go only once this one answers whole.
    bool ranged = fileCount_ > 0 && !validator_.empty() && partialUrl_ == target.Url();
    if (!OpenPartialFile()) {
        return Attempt::LocalFault;
    }
    requestHeaders_.clear();
    if (ranged) {
        requestHeaders_ =
            "Range: bytes=" + std::to_string(fileCount_) + "-\r\nIf-Range: " + validator_ + "\r\n";
    }
    Attempt verdict = OpenRequest(target) ? WeighAnswer(target, ranged) : SendFailure();
    if (verdict == Attempt::Whole) {
        ReportStart();
        uint64_t before = fileCount_;
        DWORD startTicks = ::GetTickCount();
        verdict = WeighBody(ReceiveBody());
        LogLine("Received " + std::to_string(fileCount_ - before) + " bytes of " + target.Url() +
                " in " + std::to_string(::GetTickCount() - startTicks) + " ms");
    }
    if (abandoned_) {
        return Attempt::Cancelled;
    }
    control_->CloseInternet(root_, connection_, request_);
    if (verdict != Attempt::Cancelled && control_->CancelRequested()) {
        return Attempt::Cancelled;  // a call failed because the owner closed it under us
    }
    return verdict;
}

// Whether an answer may be written to the partial file (Whole: go on with its body).
EntryTransfer::Attempt EntryTransfer::WeighAnswer(const RemoteFile& target, bool ranged) {
    int status = QueryStatusCode(request_.get());
    if (status == 206 && ranged) {
        return WeighRange();
    }
    if (status == 416 && ranged) {
        StartOver();
        return Attempt::Restart;
    }
    if (status != 200) {
        return IsTransientStatus(status) ? Attempt::Transient : Attempt::Hopeless;
    }
    // The whole file: the server ignored the range, or the file has changed.
    StartOver();
    if (!ReadDeclaredLength() || (lengthDeclared_ && entry_.DeclaredBytes() != 0 &&
                                  declaredLength_ != entry_.DeclaredBytes())) {
        return Attempt::Hopeless;  // not the file the server file describes
    }
    validator_ = QueryValidator(request_.get());
    partialUrl_ = target.Url();
    if (!validator_.empty()) {
        PartialRecord record{partialUrl_, validator_, entry_.DeclaredBytes(), entry_.Md5(),
                             entry_.Sha256()};
        if (!SavePartialRecord(PartialRecordPath(entry_), record)) {
            validator_.clear();  // without its record the partial file cannot go on later
        }
    }
    return Attempt::Whole;
}

// A 206 is joined only when it continues the bytes on disk of the same file to its full size.
EntryTransfer::Attempt EntryTransfer::WeighRange() {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
    std::string validator = QueryValidator(request_.get());
    if (!ParseContentRange(QueryHeader(request_.get(), HTTP_QUERY_CONTENT_RANGE), &first, &last,
                           &total) ||
        first != fileCount_ || total != entry_.DeclaredBytes() || last + 1 != total ||
        (!validator.empty() && validator != validator_) || !ReadDeclaredLength() ||
        (lengthDeclared_ && declaredLength_ != total - first)) {
        StartOver();
        return Attempt::Restart;
    }
    spliced_ = true;
    return Attempt::Whole;
}

EntryTransfer::Attempt EntryTransfer::WeighBody(BodyEnd end) {
    switch (end) {
        case BodyEnd::Whole:
            // A body without a length may have been cut short with its connection.
            return fileCount_ < entry_.DeclaredBytes() ? Attempt::Transient : Attempt::Whole;
        case BodyEnd::Dropped:
            return Attempt::Transient;
        case BodyEnd::TooLong:
            StartOver();
            return Attempt::Hopeless;
        case BodyEnd::LocalFault:
            return Attempt::LocalFault;
        case BodyEnd::Cancelled:
            break;
    }
    return Attempt::Cancelled;
}

// No retry mends a URL that cannot be fetched, a refused redirect or a distrusted certificate.
EntryTransfer::Attempt EntryTransfer::SendFailure() const {
    if (hopelessSend_ || IsCertificateError(sendError_)) {
        return Attempt::Hopeless;
    }
    return Attempt::Transient;
}

bool EntryTransfer::OpenPartialFile() {
    if (file_) {
        return true;
    }
    const std::string path = PartialPath(entry_);
    if (path.size() >= MAX_PATH) {
        return false;
    }
    file_.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        return false;
    }
    control_->TrackFile(file_.get());
    LONG high = static_cast<LONG>(fileCount_ >> 32);
    if (::SetFilePointer(file_.get(), static_cast<LONG>(fileCount_ & 0xFFFFFFFFu), &high,
                         FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        return false;
    }
    space_.SetFolder(folder_);
    space_.SetQuery(host_.SpaceQuery());
    return space_.BeginMember(0);
}

// Back to an empty partial file; the bars lose what it held.
void EntryTransfer::StartOver() {
    overall_ -= static_cast<uint32_t>(fileCount_);
    fileCount_ = 0;
    validator_.clear();
    partialUrl_.clear();
    spliced_ = false;
    ::DeleteFileA(PartialRecordPath(entry_).c_str());
    if (file_) {
        ::SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file_.get());
    } else {
        ::DeleteFileA(PartialPath(entry_).c_str());
    }
}

bool EntryTransfer::PartialVerifies() {
    control_->CloseFile(file_);
    // Both digests in one pass over a handle nobody else may write through.
    FileHandle partial = OpenModuleFile(PartialPath(entry_));
    return partial && VerifyModuleHandle(partial.get(), entry_);
}

bool EntryTransfer::MovePartialIntoPlace() {
    control_->CloseFile(file_);
    ::DeleteFileA(PartialRecordPath(entry_).c_str());
    ::DeleteFileA(entry_.LocalPath().c_str());
    return ::MoveFileA(PartialPath(entry_).c_str(), entry_.LocalPath().c_str()) != FALSE;
}

// Bytes already on disk are counted once, when the entry starts.
void EntryTransfer::ReportStart() {
    if (started_) {
        return;
    }
    started_ = true;
    host_.Report(&entry_, FileStarted, Signed(overall_ - fileCount_), 0);
    if (fileCount_ > 0) {
        host_.Report(&entry_, Progress, Signed(overall_), Signed(fileCount_));
    }
}

// Redirects are followed one hop at a time, each on handles of its own, so that every hop
// is weighed (scheme, limit, credentials) before anything is sent to it.
bool EntryTransfer::OpenRequest(const RemoteFile& first) {
    hopelessSend_ = !first.Reachable();
    sendError_ = 0;
    RedirectChain chain(first);
    for (;;) {
        if (!SendRequest(chain.Target())) {
            return false;
        }
        RedirectStep step =
            chain.Next(QueryStatusCode(request_.get()), QueryLocation(request_.get()));
        if (step != RedirectStep::Follow) {
            LogAnswer(first, chain.Target(), step);
            hopelessSend_ = step == RedirectStep::Refused;
            return step == RedirectStep::Final;
        }
        control_->CloseInternet(root_, connection_, request_);
        if (control_->CancelRequested()) {
            return false;
        }
    }
}

// One line per answer for the support log (a no-op unless one is open): never per chunk.
void EntryTransfer::LogAnswer(const RemoteFile& first, const RemoteFile& last, RedirectStep step) {
    if (!SupportLogEnabled()) {
        return;
    }
    std::string line = "Request " + first.Url();
    if (last.Url() != first.Url()) {
        line += " (redirected to " + last.Url() + ")";
    }
    line += step == RedirectStep::Refused
                ? ": redirect refused"
                : ": status " + std::to_string(QueryStatusCode(request_.get()));
    LogLine(line);
}

// Sending waits for the status line, up to the stall limit.
bool EntryTransfer::SendRequest(const RemoteFile& target) {
    root_.reset(OpenInternetSession());
    control_->TrackInternet(root_.get(), nullptr, nullptr);
    if (!root_ || !target.Reachable()) {
        return false;
    }
    SetStallTimeouts(root_.get(), host_.StallLimitMs());
    connection_.reset(ConnectToServer(root_.get(), target));
    if (!connection_) {
        return false;
    }
    control_->TrackInternet(root_.get(), connection_.get(), nullptr);
    request_.reset(OpenGetRequest(connection_.get(), target));
    if (!request_) {
        return false;
    }
    SetStallTimeouts(request_.get(), host_.StallLimitMs());
    control_->TrackInternet(root_.get(), connection_.get(), request_.get());
    if (!control_->EnterNetworkCall(overall_, static_cast<uint32_t>(fileCount_))) {
        return false;
    }
    BOOL sent = SendWithProxyLogin(request_.get(), requestHeaders_);
    sendError_ = sent ? 0 : ::GetLastError();
    return NetworkCallStands() && sent != FALSE;
}

// Whether a send or read that has returned may be taken at its word: not when the owner closed
// its handles under it, nor when the owner ended the run while it waited.
bool EntryTransfer::NetworkCallStands() {
    switch (control_->LeaveNetworkCall()) {
        case TransferControl::CallEnd::Normal:
            return true;
        case TransferControl::CallEnd::Abandoned:
            abandoned_ = true;
            file_.release();  // closed by the owner
            break;
        case TransferControl::CallEnd::Unblocked:
            break;
    }
    // Closed by the owner: never to be used or closed again.
    request_.release();
    connection_.release();
    root_.release();
    return false;
}

bool EntryTransfer::StatusIsOk() {
    return QueryStatusCode(request_.get()) == 200 && ReadDeclaredLength();
}

// Remembered so that a body the connection cut short is not taken for a whole file. A body
// announced longer than the entry may be is refused before a byte is written.
bool EntryTransfer::ReadDeclaredLength() {
    lengthDeclared_ = false;
    declaredLength_ = 0;
    bodyStart_ = fileCount_;
    std::string text = QueryHeader(request_.get(), HTTP_QUERY_CONTENT_LENGTH);
    if (!text.empty()) {
        char* end = nullptr;
        unsigned long long value = std::strtoull(text.c_str(), &end, 10);
        lengthDeclared_ = end != text.c_str() && *end == '\0';
        declaredLength_ = value;
    }
    return !(lengthDeclared_ && bodyStart_ + declaredLength_ > entry_.MaxBytes());
}

bool EntryTransfer::CreateLocalFile() {
    const std::string& name = entry_.FileName();
    if (name.empty() || folder_.size() + name.size() >= MAX_PATH) {
        return false;  // never a shortened name: it could be a different file
    }
    std::string path = folder_ + name;
    file_.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        return false;
    }
    control_->TrackFile(file_.get());
    space_.SetFolder(folder_);
    space_.SetQuery(host_.SpaceQuery());
    return space_.BeginMember(0);
}

// A body may not grow past the entry's bound, nor (whatever the server says) take the drive
// below the margin the extraction keeps: an endless response would otherwise fill the disk.
EntryTransfer::BodyEnd EntryTransfer::ReceiveBody() {
    DWORD got = 0;
    if (!ReadChunk(&got)) {
        return BodyEnd::Dropped;
    }
    while (got > 0) {
        if (!PassPauseGate()) {
            return BodyEnd::Cancelled;
        }
        if (fileCount_ > entry_.MaxBytes()) {
            return BodyEnd::TooLong;
        }
        if (!space_.Allow(got) || !WriteChunk(got)) {
            return BodyEnd::LocalFault;
        }
        if (!ReadChunk(&got)) {
            return BodyEnd::Dropped;
        }
        if (control_->CancelRequested()) {
            return BodyEnd::Cancelled;
        }
        host_.Report(&entry_, Progress, Signed(overall_), Signed(fileCount_));
    }
    return BodyComplete() ? BodyEnd::Whole : BodyEnd::Dropped;
}

bool EntryTransfer::ReadChunk(DWORD* got) {
    *got = 0;
    if (!control_->EnterNetworkCall(overall_, static_cast<uint32_t>(fileCount_))) {
        return false;
    }
    DWORD read = 0;
    BOOL ok = ::InternetReadFile(request_.get(), buffer_, kChunkSize, &read);
    if (!NetworkCallStands() || !ok) {
        return false;
    }
    *got = read;
    overall_ += *got;
    fileCount_ += *got;
    return true;
}

bool EntryTransfer::WriteChunk(DWORD size) {
    DWORD written = 0;
    return ::WriteFile(file_.get(), buffer_, size, &written, nullptr) && written == size;
}

// Holds the transfer between two chunks while the owner has it paused, leaving the connection
// open; false when a cancel request arrives meanwhile.
bool EntryTransfer::PassPauseGate() {
    while (control_->PauseRequested()) {
        ::Sleep(kPauseStepMs);
        if (control_->CancelRequested()) {
            return false;
        }
    }
    return true;
}

bool EntryTransfer::BodyComplete() {
    return !lengthDeclared_ || fileCount_ >= bodyStart_ + declaredLength_;
}

void EntryTransfer::CloseAll() {
    control_->CloseFile(file_);
    control_->CloseInternet(root_, connection_, request_);
}

void EntryTransfer::DeleteLocalCopy() {
    if (!entry_.LocalPath().empty()) {
        ::DeleteFileA(entry_.LocalPath().c_str());
        DeletePartial(entry_);
    }
}

TransferOutcome EntryTransfer::Fail() {
    if (abandoned_) {
        return TransferOutcome::Abandoned;  // the owner has reported and cleaned up already
    }
    // A call that failed because the owner cancelled (its handles closed under it) ends the
    // run as the cancel it is.
    if (control_->CancelRequested()) {
        return CancelRun();
    }
    CloseAll();
    // A resumable entry's bytes stay for the next run when their record could be kept.
    bool keepPartial = entry_.Resumable() && fileCount_ > 0 && !validator_.empty();
    if (keepPartial) {
        ::DeleteFileA(entry_.LocalPath().c_str());
    } else {
        DeleteLocalCopy();
    }
    host_.Report(&entry_, Failed, Signed(overall_), Signed(fileCount_));
    return TransferOutcome::Failed;
}

TransferOutcome EntryTransfer::CancelRun() {
    host_.Report(&entry_, Cancelled, Signed(overall_), Signed(fileCount_));
    CloseAll();
    DeleteLocalCopy();
    host_.SignalDone();
    return TransferOutcome::Cancelled;
}

}  // namespace netrefit
