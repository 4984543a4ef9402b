#include "publish/CentralDirectory.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace netrefit {
namespace {

constexpr unsigned char kEndSignature[4] = {0x50, 0x4B, 0x05, 0x06};
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kHeaderSignature = 0x02014B50;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kHeaderSize = 46;
constexpr size_t kLongestComment = 65535;
constexpr uint16_t kZip64ExtraId = 1;
constexpr uint16_t kSee64Of16 = 0xFFFF;
constexpr uint32_t kSee64Of32 = 0xFFFFFFFF;
// Far more than any module holds; a directory of tiny headers claiming more would otherwise
// take more memory than a 32-bit process has.
constexpr size_t kMostMembers = 1 << 20;

// Where the end record says the directory lies.
struct DirectoryPlace {
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
    uint64_t limit = 0;  // where the records after the directory begin
};

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(Le16(p)) | (static_cast<uint32_t>(Le16(p + 2)) << 16);
}

uint64_t Le64(const unsigned char* p) {
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// True when length bytes from start end at limit or before; hostile values cannot overflow it.
bool Within(uint64_t start, uint64_t length, uint64_t limit) {
    return start <= limit && length <= limit - start;
}

bool ReadAt(ByteSource& archive, uint64_t position, unsigned char* into, size_t count) {
    return position <= static_cast<uint64_t>(INT64_MAX) &&
           archive.Seek(static_cast<int64_t>(position)) && archive.Read(into, count) == count;
}

// A single-disk end record whose comment fits the bytes after it.
bool IsPlausibleEnd(const unsigned char* record, size_t bytesAfter) {
    uint16_t disk = Le16(record + 4);
    uint16_t directoryDisk = Le16(record + 6);
    return (disk == 0 || disk == kSee64Of16) &&
           (directoryDisk == 0 || directoryDisk == kSee64Of16) &&
           Le16(record + 8) == Le16(record + 10) && Le16(record + 20) <= bytesAfter;
}

// The last plausible end record: searched backwards over the tail the longest comment allows.
bool FindEndRecord(ByteSource& archive, uint64_t archiveSize, uint64_t* at, unsigned char* record) {
    size_t tail = static_cast<size_t>(std::min<uint64_t>(archiveSize, kEndSize + kLongestComment));
    if (tail < kEndSize) {
        return false;
    }
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[tail]);
    uint64_t start = archiveSize - tail;
    if (!bytes || !ReadAt(archive, start, bytes.get(), tail)) {
        return false;
    }
    for (size_t i = tail - kEndSize + 1; i-- > 0;) {
        const unsigned char* candidate = bytes.get() + i;
        if (std::memcmp(candidate, kEndSignature, sizeof(kEndSignature)) == 0 &&
            IsPlausibleEnd(candidate, tail - i - kEndSize)) {
            *at = start + i;
            std::memcpy(record, candidate, kEndSize);
            return true;
        }
    }
    return false;
}

bool NeedsZip64(const unsigned char* record) {
    return Le16(record + 4) == kSee64Of16 || Le16(record + 6) == kSee64Of16 ||
           Le16(record + 10) == kSee64Of16 || Le32(record + 12) == kSee64Of32 ||
           Le32(record + 16) == kSee64Of32;
}

// The ZIP64 end record named by the locator just before the end record; its values replace those
// of the end record that refer to it.
bool ReadZip64End(ByteSource& archive,
                  uint64_t endAt,
                  const unsigned char* record,
                  DirectoryPlace* place) {
    unsigned char locator[kLocatorSize];
    if (endAt < kLocatorSize || !ReadAt(archive, endAt - kLocatorSize, locator, kLocatorSize) ||
        Le32(locator) != kZip64LocatorSignature) {
        return false;
    }
    uint64_t at = Le64(locator + 8);
    unsigned char end[kZip64EndSize];
    if (!Within(at, kZip64EndSize, endAt - kLocatorSize) ||
        !ReadAt(archive, at, end, kZip64EndSize) || Le32(end) != kZip64EndSignature ||
        Le32(end + 16) != 0 || Le32(end + 20) != 0 || Le64(end + 24) != Le64(end + 32)) {
        return false;
    }
    if (Le16(record + 10) == kSee64Of16) {
        place->entries = Le64(end + 32);
    }
    if (Le32(record + 12) == kSee64Of32) {
        place->size = Le64(end + 40);
    }
    if (Le32(record + 16) == kSee64Of32) {
        place->offset = Le64(end + 48);
    }
    place->limit = at;
    return true;
}

bool LocateDirectory(ByteSource& archive, uint64_t archiveSize, DirectoryPlace* place) {
    unsigned char record[kEndSize];
    uint64_t endAt = 0;
    if (!FindEndRecord(archive, archiveSize, &endAt, record)) {
        return false;
    }
    place->entries = Le16(record + 10);
    place->size = Le32(record + 12);
    place->offset = Le32(record + 16);
    place->limit = endAt;
    if (NeedsZip64(record) && !ReadZip64End(archive, endAt, record, place)) {
        return false;
    }
    return Within(place->offset, place->size, place->limit);
}

// The fields that say 0xFFFFFFFF take the 64-bit values of the ZIP64 extra field, which holds
// them in the order of the fields. False when a value needed is not there.
bool ApplyZip64Extra(const unsigned char* extra, size_t length, CentralMember* member) {
    uint64_t* const fields[] = {&member->uncompressedSize, &member->compressedSize,
                                &member->localOffset};
    bool needed = std::any_of(std::begin(fields), std::end(fields),
                              [](const uint64_t* field) { return *field == kSee64Of32; });
    for (size_t at = 0; needed && at + 4 <= length;) {
        uint16_t id = Le16(extra + at);
        size_t size = Le16(extra + at + 2);
        const unsigned char* data = extra + at + 4;
        at += 4 + size;
        if (at > length) {
            return false;
        }
        if (id != kZip64ExtraId) {
            continue;
        }
        size_t used = 0;
        for (uint64_t* field : fields) {
            if (*field == kSee64Of32) {
                if (used + 8 > size) {
                    return false;
                }
                *field = Le64(data + used);
                used += 8;
            }
        }
        return true;
    }
    return !needed;
}

// The header at *position, which then moves past it; the whole header lies before limit.
bool ReadHeader(ByteSource& archive, uint64_t* position, uint64_t limit, CentralMember* member) {
    unsigned char fixed[kHeaderSize];
    if (!Within(*position, kHeaderSize, limit) || !ReadAt(archive, *position, fixed, kHeaderSize) ||
        Le32(fixed) != kHeaderSignature) {
        return false;
    }
    size_t nameLength = Le16(fixed + 28);
    size_t extraLength = Le16(fixed + 30);
    uint64_t variable = nameLength + extraLength + Le16(fixed + 32);
    if (!Within(*position + kHeaderSize, variable, limit)) {
        return false;
    }
    std::string bytes(nameLength + extraLength, '\0');
    if (!bytes.empty() && archive.Read(&bytes[0], bytes.size()) != bytes.size()) {
        return false;
    }
    member->name = bytes.substr(0, nameLength);
    member->flags = Le16(fixed + 8);
    member->method = Le16(fixed + 10);
    member->crc32 = Le32(fixed + 16);
    member->compressedSize = Le32(fixed + 20);
    member->uncompressedSize = Le32(fixed + 24);
    member->localOffset = Le32(fixed + 42);
    *position += kHeaderSize + variable;
    auto extra = reinterpret_cast<const unsigned char*>(bytes.data()) + nameLength;
    return ApplyZip64Extra(extra, extraLength, member);
}

}  // namespace

bool ReadCentralDirectory(ByteSource& archive,
                          uint64_t archiveSize,
                          std::vector<CentralMember>* members) {
    members->clear();
    DirectoryPlace place;
    if (!LocateDirectory(archive, archiveSize, &place) || place.entries > kMostMembers) {
        return false;
    }
    uint64_t limit = place.offset + place.size;
    uint64_t position = place.offset;
    std::vector<CentralMember> read;
    for (uint64_t i = 0; i < place.entries; ++i) {
        CentralMember member;
        // A member's data lies between its local header and the directory.
        if (!ReadHeader(archive, &position, limit, &member) ||
            !Within(member.localOffset, member.compressedSize, place.offset)) {
            return false;
        }
        read.push_back(std::move(member));
    }
    if (position != limit) {
        return false;
    }
    members->swap(read);
    return true;
}

}  // namespace netrefit
