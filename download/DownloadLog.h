#pragma once
// The download journal: names of the downloads whose digest was verified, so that a later run
// can reuse them. Each record is the name's bytes and one NUL; no header, no line breaks.

#include <string>

#include "download/JournalRecords.h"
#include "download/RemoteFile.h"

namespace netrefit {

class DownloadLog {
  public:
    // Longest name a record can hold; the reader never matches a longer record.
    static constexpr size_t kMaxNameBytes = kJournalMaxNameBytes;
    // Longest journal path used; a longer one makes every operation fail.
    static constexpr size_t kMaxPathChars = 259;  // MAX_PATH less its NUL

    DownloadLog() = default;
    virtual ~DownloadLog() = default;

    void SetPath(const std::string& path) { path_ = path; }
    const std::string& Path() const { return path_; }

    // Each operation opens the file and closes it again before returning.
    // Creates the journal, emptying an existing one.
    bool Create() const;
    // Whether the journal exists and can be opened for reading and writing.
    bool Exists() const;
    // Adds a record with the entry's name to a journal made by Create. An empty name, a name of
    // more than kMaxNameBytes bytes or one holding a NUL is refused and nothing is written.
    bool Append(const DownloadEntry& entry) const;
    // Whether a complete record equals the entry's name. Scanning stops at a record of
    // kMaxNameBytes + 1 bytes without NUL; a last record without NUL is never matched.
    bool Contains(const DownloadEntry& entry) const;

  private:
    bool UsablePath() const;

    std::string path_;
};

}  // namespace netrefit
