#pragma once
// One local file header of a zip archive, as read from the archive.

#include <cstdint>

namespace netrefit {

constexpr uint16_t kZipFlagEncrypted = 1;
constexpr uint16_t kZipFlagDescriptor = 8;  // CRC and sizes follow the data
constexpr uint16_t kZipMethodStored = 0;
constexpr uint16_t kZipMethodDeflated = 8;
constexpr int kZipNameCapacity = 260;               // 259 bytes of name and a NUL
constexpr uint32_t kZip64Placeholder = 0xFFFFFFFF;  // the size is in the ZIP64 extra field

struct ZipEntryHeader {
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc32 = 0;
    // Real sizes: where a field holds 0xFFFFFFFF, the value from the ZIP64 extra field.
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    char name[kZipNameCapacity] = {};
    bool zip64 = false;  // the extra field holds a ZIP64 block
};

}  // namespace netrefit
