#pragma once
// The records of the download journal: each is a name's bytes and one NUL, with no header and no
// line breaks. Reading them needs no Windows headers, so it also builds natively.

#include <cstddef>
#include <string>

#include "common/ByteStream.h"

namespace netrefit {

// Longest name a record can hold; the reader never matches a longer record.
constexpr size_t kJournalMaxNameBytes = 255;

// Walks the records from the source's position; true at the first complete record equal to name.
// Scanning stops at a record of kJournalMaxNameBytes + 1 bytes without NUL; a last record
// without NUL is never matched.
bool JournalHasRecord(ByteSource& journal, const std::string& name);

}  // namespace netrefit
