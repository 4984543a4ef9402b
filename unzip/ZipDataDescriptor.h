#pragma once
// The data descriptor that follows a member whose local header leaves its CRC and sizes open
// (flag bit 3): an optional signature 50 4B 07 08, the CRC-32, then the compressed and the
// uncompressed size, 4 bytes each, or 8 each where the member carries a ZIP64 extra field.

#include <cstddef>
#include <cstdint>

namespace netrefit {

// The most bytes a descriptor takes (signature, CRC and two 8-byte sizes), and the signature of
// the record after it, which the match also looks at.
constexpr size_t kLargestDataDescriptor = 24;
constexpr size_t kDescriptorLookahead = kLargestDataDescriptor + 4;

// What the data so far must be for a descriptor to end it.
struct DescriptorExpectation {
    uint32_t crc32 = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    bool zip64 = false;
};

// The length of the descriptor at bytes (with or without its signature) when it states exactly
// the expected values and the next record of the archive follows it (a local or central header,
// an end record), or the archive ends right after it; 0 otherwise. The record after it tells a
// descriptor from data that only looks like one, such as the twelve zero bytes that state an
// empty member. available counts the bytes at bytes; atEnd says the archive ends there.
size_t MatchDataDescriptor(const unsigned char* bytes,
                           size_t available,
                           bool atEnd,
                           const DescriptorExpectation& expected);

}  // namespace netrefit
