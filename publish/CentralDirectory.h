#pragma once
// The central directory of a zip archive, found from the archive's end. The client never reads it
// (its walk goes forward through the local headers), so the publisher's tool holds what the walk
// unpacked against it. The archive is untrusted: every offset and length is held within the file.
// No Windows headers here: the format code builds natively as well.

#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteStream.h"

namespace netrefit {

// One central directory header, with the ZIP64 values in place of those that refer to them.
struct CentralMember {
    std::string name;  // the bytes as stored
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;
};

// Every header of the directory, in the directory's order. False (members left empty) when there
// is no end record, or the directory it points to is not within the file before the end record,
// or does not hold exactly the headers it counts, or a header refers to bytes outside the data
// before the directory.
bool ReadCentralDirectory(ByteSource& archive,
                          uint64_t archiveSize,
                          std::vector<CentralMember>* members);

}  // namespace netrefit
