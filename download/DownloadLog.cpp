#include "download/DownloadLog.h"

#include <windows.h>

#include "common/FileStream.h"
#include "common/UniqueHandle.h"
#include "download/JournalRecords.h"

namespace netrefit {
namespace {

bool UsableName(const std::string& name) {
    return !name.empty() && name.size() <= DownloadLog::kMaxNameBytes &&
           name.find('\0') == std::string::npos;
}

FileHandle OpenJournal(const std::string& path, DWORD access, DWORD disposition) {
    return FileHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool DownloadLog::UsablePath() const {
    return !path_.empty() && path_.size() <= kMaxPathChars && path_.find('\0') == std::string::npos;
}

bool DownloadLog::Create() const {
    if (!UsablePath()) {
        return false;
    }
    return OpenJournal(path_, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS).valid();
}

bool DownloadLog::Exists() const {
    if (!UsablePath()) {
        return false;
    }
    return OpenJournal(path_, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING).valid();
}

bool DownloadLog::Append(const DownloadEntry& entry) const {
    const std::string& name = entry.Name();
    if (!UsableName(name) || !UsablePath()) {
        return false;
    }
    FileHandle file = OpenJournal(path_, GENERIC_WRITE, OPEN_EXISTING);
    if (!file) {
        return false;
    }
    // SetFilePointer with a high word: SetFilePointerEx is missing before Windows 2000.
    LONG high = 0;
    if (::SetFilePointer(file.get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        return false;
    }
    // The name and its NUL in one write, so a record is never split by another writer.
    DWORD size = static_cast<DWORD>(name.size()) + 1;
    DWORD written = 0;
    return ::WriteFile(file.get(), name.c_str(), size, &written, nullptr) && written == size;
}

bool DownloadLog::Contains(const DownloadEntry& entry) const {
    const std::string& name = entry.Name();
    if (!UsableName(name) || !UsablePath()) {
        return false;
    }
    FileHandle file = OpenJournal(path_, GENERIC_READ, OPEN_EXISTING);
    if (!file) {
        return false;
    }
    HandleSource records(file.get());
    return JournalHasRecord(records, name);
}

}  // namespace netrefit
