#include "common/SupportLog.h"

#include <cstdio>

#include "common/Sync.h"
#include "common/UniqueHandle.h"

namespace netrefit {
namespace {

struct LogState {
    CriticalSection lock;
    std::string path;
    FileHandle file;
};

LogState& State() {
    static LogState state;
    return state;
}

// Shared for reading and writing: the file can be watched, and a second copy of the program
// (which refuses to run) may still log its refusal.
FileHandle OpenForAppending(const std::string& path) {
    return FileHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void RotateIfFull(LogState& state, size_t adding) {
    DWORD size = ::GetFileSize(state.file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size + adding <= kSupportLogMaxBytes) {
        return;
    }
    state.file.reset();
    std::string old = state.path + ".1";
    ::DeleteFileA(old.c_str());
    // Where a reader holds the file it cannot be renamed: the log then goes on growing.
    ::MoveFileA(state.path.c_str(), old.c_str());
    state.file = OpenForAppending(state.path);
}

std::string UtcStamp() {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03uZ ", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return stamp;
}

// End of the authority that starts at from: the next "/", "?", "#", blank or quote.
size_t AuthorityEnd(const std::string& text, size_t from) {
    size_t end = text.find_first_of("/?#\\ \t\"'<>", from);
    return end == std::string::npos ? text.size() : end;
}

}  // namespace

std::string SanitizeLogText(const std::string& text) {
    std::string result;
    size_t at = 0;
    for (size_t scheme = text.find("://"); scheme != std::string::npos;
         scheme = text.find("://", at)) {
        size_t host = scheme + 3;
        size_t end = AuthorityEnd(text, host);
        size_t userinfo = text.rfind('@', end == 0 ? 0 : end - 1);
        result += text.substr(at, host - at);
        at = (userinfo != std::string::npos && userinfo >= host) ? userinfo + 1 : host;
    }
    result += text.substr(at);
    for (char& c : result) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return result;
}

void OpenSupportLog(const std::string& path) {
    LogState& state = State();
    CriticalSectionLock guard(state.lock);
    // Made whole now: the run changes its current folder, and the file may have to be opened
    // again (after a rotation) where it was first.
    char full[MAX_PATH] = "";
    DWORD length = ::GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    state.path = (length != 0 && length < sizeof(full)) ? std::string(full, length) : path;
    state.file = OpenForAppending(path);
}

bool SupportLogEnabled() {
    LogState& state = State();
    CriticalSectionLock guard(state.lock);
    return !state.path.empty();
}

void LogLine(const std::string& text) {
    LogState& state = State();
    CriticalSectionLock guard(state.lock);
    if (state.path.empty()) {
        return;
    }
    std::string line = UtcStamp() + SanitizeLogText(text) + "\r\n";
    if (!state.file) {
        // It could not be opened before (a full disk, a locked file): try again, quietly.
        state.file = OpenForAppending(state.path);
    }
    if (!state.file) {
        return;
    }
    RotateIfFull(state, line.size());
    DWORD written = 0;
    if (state.file) {
        // Another copy of the program may have written meanwhile.
        ::SetFilePointer(state.file.get(), 0, nullptr, FILE_END);
        ::WriteFile(state.file.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                    nullptr);
    }
}

void CloseSupportLog() {
    LogState& state = State();
    CriticalSectionLock guard(state.lock);
    state.file.reset();
    state.path.clear();
}

}  // namespace netrefit
