// A stored member whose local header leaves its sizes to a data descriptor: its data ends where
// a descriptor follows that states exactly the CRC-32 and the count of the bytes before it. The
// scan cannot trust a length, so it takes the data byte by byte, each byte decrypted (when the
// member is encrypted) only once it is known to be data.

#include <cstring>

#include "unzip/ZipDataDescriptor.h"
#include "unzip/ZipReader.h"

namespace netrefit {

namespace {

constexpr uint64_t kEncryptionHeaderBytes = 12;

}  // namespace

ZipTransfer ZipReader::CopyStoredUntilDescriptor(bool zip64) {
    ZipTransfer transfer;
    unsigned char* buffer = workBuffer_.get();
    if (buffer == nullptr || !archive_) {
        transfer.damaged = true;
        return transfer;
    }
    DescriptorExpectation expected;
    expected.zip64 = zip64;
    // The descriptor's compressed size counts the encryption header, already taken off.
    uint64_t headerBytes = decrypting_ ? kEncryptionHeaderBytes : 0;
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t count = 0;
    size_t held = 0;  // raw bytes in the buffer, not yet taken as data
    bool atEnd = false;
    for (;;) {
        size_t wanted = kWorkBufferSize - held;
        size_t got = archive_->Read(buffer + held, wanted);
        atEnd = got < wanted;
        held += got;
        // A descriptor that may reach past the bytes held (with the record after it) waits for
        // the next read.
        size_t limit = atEnd ? held : held - kDescriptorLookahead;
        size_t found = 0;
        size_t i = 0;
        for (; i < limit; ++i) {
            uint32_t sum = ~crc;
            if (buffer[i] == 0x50 || buffer[i] == (sum & 0xFFu)) {
                expected.crc32 = sum;
                expected.uncompressedSize = count;
                expected.compressedSize = count + headerBytes;
                found = MatchDataDescriptor(buffer + i, held - i, atEnd, expected);
                if (found != 0) {
                    break;
                }
            }
            if (decrypting_) {
                buffer[i] = keys_.Decrypt(buffer[i]);
            }
            crc = Crc32Update(crc, buffer[i]);
            ++count;
        }
        transfer.consumed += i;
        if (!WriteOutput(buffer, i, &transfer) || found != 0) {
            return transfer;
        }
        if (atEnd) {
            transfer.damaged = true;  // no descriptor states what came before it
            return transfer;
        }
        held -= i;
        std::memmove(buffer, buffer + i, held);
        if (StopRequested()) {
            transfer.stopped = true;
            return transfer;
        }
    }
}

}  // namespace netrefit
