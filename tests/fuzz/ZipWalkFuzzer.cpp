// The extraction worker's walk through one archive on fuzzed bytes: the validity scan, then every
// member through its name checks, decryption with a fixed password and its copy or inflation,
// as ZipArchiveWalk.cpp does it. Output is counted, not kept.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzStreams.h"
#include "unzip/ZipOutputPath.h"
#include "unzip/ZipReader.h"

using namespace netrefit;

namespace {

// The password of the encrypted seeds (made by scripts/make-fuzz-seeds).
constexpr char kPassword[] = "secret";
// The destination's length decides which names fit the path limit; this is a typical one.
constexpr size_t kFolderLength = sizeof("C:\\WINDOWS\\TEMP\\Netrefit\\") - 1;
// The write gate's room for one archive, as on a nearly full drive: a bomb stops here.
constexpr uint64_t kRoom = 8ull << 20;

ZipReader& Reader() {
    static ZipReader* reader = [] {
        auto* made = new ZipReader;
        if (!made->AllocateWorkBuffer()) {
            __builtin_trap();
        }
        return made;
    }();
    return *reader;
}

void Walk(ZipReader& reader, uint64_t archiveSize, uint64_t* room) {
    ZipEntryHeader header;
    while (reader.FindNextLocalHeader(&header, reader.WorkBuffer())) {
        if (reader.PassedOverMember()) {
            return;
        }
        int64_t dataStart = reader.Tell();
        bool streamed = IsStreamedMember(header);
        if (dataStart < 0 || static_cast<uint64_t>(dataStart) > archiveSize) {
            __builtin_trap();  // the reader stands inside the archive
        }
        uint64_t rest = archiveSize - static_cast<uint64_t>(dataStart);
        if (!streamed && header.compressedSize > rest) {
            return;
        }
        int64_t next = dataStart + static_cast<int64_t>(std::min(header.compressedSize, rest));
        if (!IsSafeMemberName(header.name) ||
            kFolderLength + std::strlen(header.name) > kMaxPathText) {
            return;
        }
        if (IsFolderEntry(header.name)) {
            if (!reader.Seek(next)) {
                return;
            }
            continue;
        }
        if (header.method != kZipMethodStored && header.method != kZipMethodDeflated) {
            return;
        }
        uint64_t written = 0;
        reader.SetOutput(std::make_unique<fuzz::CountingSink>(&written));
        bool encrypted = (header.flags & kZipFlagEncrypted) != 0;
        uint64_t declared = header.uncompressedSize;
        if (!reader.StartDecryption(encrypted ? kPassword : nullptr, &header)) {
            return;
        }
        int64_t afterEncryption = reader.Tell();
        uint64_t roomBefore = *room;
        ZipTransfer transfer = reader.CopyMemberData(header, streamed);
        if (!reader.CloseOutput() || transfer.writeFailed) {
            return;
        }
        // The bounds the walk relies on: never more than the gate allowed, never more than a
        // deflated member without descriptor declares, never more input than the archive holds,
        // stored data written exactly as read.
        if (written != transfer.written || written > roomBefore ||
            (header.method == kZipMethodDeflated && (header.flags & kZipFlagDescriptor) == 0 &&
             written > declared) ||
            afterEncryption + static_cast<int64_t>(transfer.consumed) > reader.Tell() ||
            (header.method == kZipMethodStored && written != transfer.consumed)) {
            __builtin_trap();
        }
        if (streamed) {
            next = afterEncryption + static_cast<int64_t>(transfer.consumed);
        }
        if (!reader.Seek(next)) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZipReader& reader = Reader();
    uint64_t room = kRoom;
    reader.SetWriteGate([&room](size_t count) {
        if (count > room) {
            return false;
        }
        room -= count;
        return true;
    });
    reader.SetArchive(std::make_unique<fuzz::MemorySource>(data, size));
    if (reader.IsValidArchive(size) && reader.Seek(0)) {
        Walk(reader, size, &room);
    }
    reader.CloseOutput();
    reader.CloseArchive();
    reader.SetWriteGate(nullptr);
    return 0;
}
