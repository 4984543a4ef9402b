#include "download/EntryTransfer.h"

#include <cstdlib>

#include "download/HttpRequest.h"
#include "download/ProxyLogin.h"
#include "download/RedirectChain.h"
#include "download/TransferControl.h"

namespace netrefit {
namespace {

constexpr DWORD kPauseStepMs = 100;

int32_t Signed(uint64_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(count));
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
    if (!OpenRequest() || !StatusIsOk() || !CreateLocalFile()) {
        return Fail();
    }
    host_.Report(&entry_, FileStarted, Signed(overall_), 0);
    DWORD got = 0;
    if (!ReadChunk(&got)) {
        return Fail();
    }
    while (got > 0) {
        if (!PassPauseGate()) {
            return CancelRun();
        }
        if (!WithinLimits(got) || !WriteChunk(got)) {
            return Fail();
        }
        if (!ReadChunk(&got)) {
            return Fail();
        }
        if (control_->CancelRequested()) {
            return CancelRun();
        }
        host_.Report(&entry_, Progress, Signed(overall_), Signed(fileCount_));
    }
    if (!BodyComplete()) {
        return Fail();
    }
    host_.Report(&entry_, Progress, Signed(overall_), entry_.Size());
    fileCount_ = 0;
    CloseAll();
    if (host_.Report(&entry_, FileDone, Signed(overall_), entry_.Size()) == kReportReject) {
        DeleteLocalCopy();
        return TransferOutcome::Refused;
    }
    return TransferOutcome::Completed;
}

// Redirects are followed one hop at a time, each on handles of its own, so that every hop
// is weighed (scheme, limit, credentials) before anything is sent to it.
bool EntryTransfer::OpenRequest() {
    RedirectChain chain(entry_);
    for (;;) {
        if (!SendRequest(chain.Target())) {
            return false;
        }
        RedirectStep step =
            chain.Next(QueryStatusCode(request_.get()), QueryLocation(request_.get()));
        if (step != RedirectStep::Follow) {
            return step == RedirectStep::Final;
        }
        control_->CloseInternet(root_, connection_, request_);
        if (control_->CancelRequested()) {
            return false;
        }
    }
}

// Sending waits for the status line, however long the server keeps quiet.
bool EntryTransfer::SendRequest(const RemoteFile& target) {
    root_.reset(OpenInternetSession());
    control_->TrackInternet(root_.get(), nullptr, nullptr);
    if (!root_ || !target.Reachable()) {
        return false;
    }
    connection_.reset(ConnectToServer(root_.get(), target));
    if (!connection_) {
        return false;
    }
    control_->TrackInternet(root_.get(), connection_.get(), nullptr);
    request_.reset(OpenGetRequest(connection_.get(), target));
    if (!request_) {
        return false;
    }
    control_->TrackInternet(root_.get(), connection_.get(), request_.get());
    if (!control_->EnterNetworkCall(overall_, 0)) {
        return false;
    }
    BOOL sent = SendWithProxyLogin(request_.get());
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
    char text[80] = {};
    DWORD length = sizeof(text);
    if (!::HttpQueryInfoA(request_.get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr) ||
        length >= sizeof(text)) {
        return false;
    }
    if (std::atoi(text) != 200) {
        return false;
    }
    // Remembered so that a body the connection cut short is not taken for a whole file.
    char lengthText[32] = {};
    length = sizeof(lengthText);
    if (::HttpQueryInfoA(request_.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &length, nullptr)) {
        char* end = nullptr;
        unsigned long long value = std::strtoull(lengthText, &end, 10);
        lengthDeclared_ = end != lengthText && *end == '\0';
        declaredLength_ = value;
    }
    // A body announced longer than the entry may be is refused before a byte is written.
    return !(lengthDeclared_ && declaredLength_ > entry_.MaxBytes());
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

// A body may not grow past the entry's bound, nor (whatever the server says) take the drive
// below the margin the extraction keeps: an endless response would otherwise fill the disk.
bool EntryTransfer::WithinLimits(DWORD size) {
    if (fileCount_ > entry_.MaxBytes()) {
        return false;
    }
    return space_.Allow(size);
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
    return !lengthDeclared_ || fileCount_ >= declaredLength_;
}

void EntryTransfer::CloseAll() {
    control_->CloseFile(file_);
    control_->CloseInternet(root_, connection_, request_);
}

void EntryTransfer::DeleteLocalCopy() {
    if (!entry_.LocalPath().empty()) {
        ::DeleteFileA(entry_.LocalPath().c_str());
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
    DeleteLocalCopy();
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
