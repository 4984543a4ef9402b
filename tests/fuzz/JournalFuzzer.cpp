// The download journal's reader on fuzzed bytes. The first byte gives the length of the name
// looked for, the next bytes the name, the rest is the journal.

#include <cstdint>
#include <string>

#include "FuzzStreams.h"
#include "download/JournalRecords.h"

using namespace netrefit;

namespace {

// What a match means: the name and its NUL stand at the start of the journal or after a NUL.
bool HoldsRecord(const std::string& journal, const std::string& name) {
    std::string record = name + '\0';
    for (size_t at = journal.find(record); at != std::string::npos;
         at = journal.find(record, at + 1)) {
        if (at == 0 || journal[at - 1] == '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    size_t nameLength = std::min<size_t>(data[0], size - 1);
    std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    const uint8_t* journal = data + 1 + nameLength;
    size_t journalSize = size - 1 - nameLength;
    fuzz::MemorySource source(journal, journalSize);
    bool found = JournalHasRecord(source, name);
    // An empty name matches an empty record; the journal's callers never look one up.
    if (found &&
        (name.size() > kJournalMaxNameBytes ||
         !HoldsRecord(std::string(reinterpret_cast<const char*>(journal), journalSize), name))) {
        __builtin_trap();
    }
    return 0;
}
