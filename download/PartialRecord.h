#pragma once
// The note kept beside a partial download ("name.zip.part") so that a later run may go on with
// it: where its bytes came from, the validator the server gave them, and the module they belong
// to. Free of window code.

#include <cstdint>
#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

struct PartialRecord {
    std::string url;
    std::string validator;  // the ETag, else the Last-Modified, of the answer the bytes came from
    uint64_t declaredBytes = 0;
    std::string md5;
    std::string sha256;

    // Whether the record was made for this module as the server file now describes it.
    bool Describes(const DownloadEntry& entry) const;
};

// The partial file of an entry and its record; empty when the entry has no local path.
std::string PartialPath(const DownloadEntry& entry);
std::string PartialRecordPath(const DownloadEntry& entry);

// False when the record cannot be written whole.
bool SavePartialRecord(const std::string& path, const PartialRecord& record);
// False for a missing, oversized or malformed record.
bool LoadPartialRecord(const std::string& path, PartialRecord* record);

// Removes the partial file and its record.
void DeletePartial(const DownloadEntry& entry);

}  // namespace netrefit
