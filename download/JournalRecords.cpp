#include "download/JournalRecords.h"

#include <cstring>

namespace netrefit {

bool JournalHasRecord(ByteSource& journal, const std::string& name) {
    char record[kJournalMaxNameBytes];
    size_t length = 0;
    char chunk[4096];
    size_t got = 0;
    while ((got = journal.Read(chunk, sizeof(chunk))) > 0) {
        for (size_t i = 0; i < got; ++i) {
            if (chunk[i] == '\0') {
                if (length == name.size() && std::memcmp(record, name.data(), length) == 0) {
                    return true;
                }
                length = 0;
            } else if (length == sizeof(record)) {
                return false;  // damaged: a record longer than any name; stop trusting the rest
            } else {
                record[length++] = chunk[i];
            }
        }
    }
    return false;  // a last record without its NUL is incomplete and never matches
}

}  // namespace netrefit
