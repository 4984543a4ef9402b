#include "unzip/ZipDataDescriptor.h"

namespace netrefit {

namespace {

constexpr size_t kSignatureSize = 4;

uint64_t LeN(const unsigned char* p, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = bytes; i > 0; --i) {
        value = (value << 8) | p[i - 1];
    }
    return value;
}

// CRC and sizes from p on, without a signature.
size_t MatchFields(const unsigned char* p, size_t available, const DescriptorExpectation& e) {
    size_t sizeBytes = e.zip64 ? 8 : 4;
    size_t length = 4 + 2 * sizeBytes;
    if (available < length || LeN(p, 4) != e.crc32 || LeN(p + 4, sizeBytes) != e.compressedSize ||
        LeN(p + 4 + sizeBytes, sizeBytes) != e.uncompressedSize) {
        return 0;
    }
    return length;
}

// A local header (03 04), central header (01 02), end records (05 06, 06 06, 06 07), the
// directory's signature (05 05) or archive extra data (06 08).
bool IsRecordSignature(const unsigned char* p) {
    static const unsigned char kKinds[][2] = {{1, 2}, {3, 4}, {5, 6}, {6, 6},
                                              {6, 7}, {5, 5}, {6, 8}};
    if (p[0] != 0x50 || p[1] != 0x4B) {
        return false;
    }
    for (const auto& kind : kKinds) {
        if (p[2] == kind[0] && p[3] == kind[1]) {
            return true;
        }
    }
    return false;
}

bool FollowedByRecord(const unsigned char* bytes, size_t length, size_t available, bool atEnd) {
    if (length == 0) {
        return false;
    }
    if (available - length >= 4) {
        return IsRecordSignature(bytes + length);
    }
    return atEnd && available == length;
}

}  // namespace

size_t MatchDataDescriptor(const unsigned char* bytes,
                           size_t available,
                           bool atEnd,
                           const DescriptorExpectation& expected) {
    // A 4-byte size field cannot state more than 4 GiB - 1.
    if (!expected.zip64 && expected.compressedSize > 0xFFFFFFFFu) {
        return 0;
    }
    if (available >= kSignatureSize && bytes[0] == 0x50 && bytes[1] == 0x4B && bytes[2] == 0x07 &&
        bytes[3] == 0x08) {
        size_t length = kSignatureSize +
                        MatchFields(bytes + kSignatureSize, available - kSignatureSize, expected);
        if (length > kSignatureSize && FollowedByRecord(bytes, length, available, atEnd)) {
            return length;
        }
    }
    size_t length = MatchFields(bytes, available, expected);
    return FollowedByRecord(bytes, length, available, atEnd) ? length : 0;
}

}  // namespace netrefit
