#include "unzip/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "unzip/ZipMemberName.h"

namespace netrefit {

namespace {

constexpr size_t kLocalHeaderRest = 26;  // fixed part of a local header after its signature
constexpr size_t kEncryptionHeaderSize = 12;

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsCandidateHeader(const unsigned char* p) {
    return p[0] == 0x50 && p[1] == 0x4B && p[2] == 0x03 && p[3] == 0x04 && Le16(p + 8) <= 12 &&
           Le16(p + 26) != 0;
}

uint64_t Le64(const unsigned char* p) {
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// Takes the sizes that the header leaves to a ZIP64 block (id 1) from it: 8 bytes each, the
// uncompressed size first, present only for the fields that hold the placeholder. False when
// such a field has no block or the block is too short for it.
bool ReadZip64Sizes(const unsigned char* extra, size_t length, ZipEntryHeader* header) {
    constexpr uint16_t kZip64Id = 1;
    const unsigned char* block = nullptr;
    size_t blockLength = 0;
    for (size_t at = 0; at + 4 <= length; at += 4 + Le16(extra + at + 2)) {
        if (Le16(extra + at) == kZip64Id) {
            block = extra + at + 4;
            blockLength = std::min<size_t>(Le16(extra + at + 2), length - at - 4);
            break;
        }
    }
    header->zip64 = block != nullptr;
    uint64_t* const fields[] = {&header->uncompressedSize, &header->compressedSize};
    for (uint64_t* field : fields) {
        if (*field != kZip64Placeholder) {
            continue;
        }
        if (blockLength < 8) {
            return false;
        }
        *field = Le64(block);
        block += 8;
        blockLength -= 8;
    }
    return true;
}

}  // namespace

bool ZipReader::AllocateWorkBuffer() {
    if (!workBuffer_) {
        workBuffer_.reset(new (std::nothrow) unsigned char[kWorkBufferSize]);
    }
    return workBuffer_ != nullptr;
}

int64_t ZipReader::Tell() const {
    return archive_ ? archive_->Tell() : -1;
}

bool ZipReader::Seek(int64_t position) {
    return archive_ && position >= 0 && archive_->Seek(position);
}

bool ZipReader::CloseOutput() {
    std::unique_ptr<ByteSink> output = std::move(output_);
    return output == nullptr || output->Close();
}

bool ZipReader::IsValidArchive(uint64_t archiveSize) {
    unsigned char* buffer = workBuffer_.get();
    if (buffer == nullptr || !Seek(0)) {
        return false;
    }
    size_t got = archive_->Read(buffer, kWorkBufferSize);
    // The bytes really read bound the scan too: the file may be shorter than its stated size.
    uint64_t limit = std::min<uint64_t>({archiveSize, kWorkBufferSize, got});
    uint64_t offset = 0;
    while (offset + 30 < limit && !IsCandidateHeader(buffer + offset)) {
        ++offset;
    }
    if (offset + 30 >= limit || !Seek(static_cast<int64_t>(offset + 4))) {
        return false;
    }
    ZipEntryHeader header;
    return ReadLocalHeader(&header, nullptr);
}

bool ZipReader::FindNextLocalHeader(ZipEntryHeader* header, unsigned char* scratch) {
    static const int kSignature[4] = {0x50, 0x4B, 0x03, 0x04};
    if (!archive_) {
        return false;
    }
    int matched = 0;
    // Byte by byte, as the header must be read from just after the signature; a file source
    // buffers, and between members the signature is normally the first four bytes.
    unsigned char byte = 0;
    while (archive_->Read(&byte, 1) == 1) {
        int c = byte;
        if (c == kSignature[0]) {
            matched = 1;
            continue;
        }
        if (matched == 0 || c != kSignature[matched]) {
            matched = 0;
            continue;
        }
        if (++matched < 4) {
            continue;
        }
        int64_t afterSignature = Tell();
        HeaderRead read = ReadHeaderFields(header, scratch);
        if (read == HeaderRead::Whole) {
            return true;
        }
        passedOverMember_ = passedOverMember_ || read == HeaderRead::Unreadable;
        if (!Seek(afterSignature)) {
            return false;
        }
        matched = 0;
    }
    return false;
}

bool ZipReader::ReadLocalHeader(ZipEntryHeader* header, unsigned char* scratch) {
    return ReadHeaderFields(header, scratch) == HeaderRead::Whole;
}

ZipReader::HeaderRead ZipReader::ReadHeaderFields(ZipEntryHeader* header, unsigned char* scratch) {
    std::unique_ptr<unsigned char[]> own;
    if (scratch == nullptr) {
        own.reset(new (std::nothrow) unsigned char[kOwnScratchSize]);
        if (!own) {
            return HeaderRead::Broken;
        }
        scratch = own.get();
    }
    unsigned char fixed[kLocalHeaderRest];
    if (!ReadExact(fixed, sizeof(fixed))) {
        return HeaderRead::Broken;
    }
    header->versionNeeded = Le16(fixed);
    header->flags = Le16(fixed + 2);
    header->method = Le16(fixed + 4);
    header->modTime = Le16(fixed + 6);
    header->modDate = Le16(fixed + 8);
    header->crc32 = Le32(fixed + 10);
    header->compressedSize = Le32(fixed + 14);
    header->uncompressedSize = Le32(fixed + 18);
    header->nameLength = Le16(fixed + 22);
    header->extraLength = Le16(fixed + 24);
    // Both lengths are at most 65535, so they fit the scratch buffer whatever they say.
    if (!ReadExact(scratch, header->nameLength)) {
        return HeaderRead::Broken;
    }
    size_t copied = std::min<size_t>(header->nameLength, kZipNameCapacity - 1);
    std::memcpy(header->name, scratch, copied);
    header->name[copied] = '\0';
    if (std::strlen(header->name) != copied || !ReadExact(scratch, header->extraLength)) {
        return HeaderRead::Broken;
    }
    if (!ReadZip64Sizes(scratch, header->extraLength, header)) {
        return HeaderRead::Unreadable;
    }
    // A folder has nothing to decode, whatever method its entry names.
    bool knownMethod = header->method <= 8 && header->method != 7;
    bool emptyFolder = IsFolderEntry(header->name) && header->compressedSize == 0;
    return knownMethod || emptyFolder ? HeaderRead::Whole : HeaderRead::Unreadable;
}

bool ZipReader::StartDecryption(const char* password, ZipEntryHeader* header) {
    if (password == nullptr) {
        decrypting_ = false;
        return true;
    }
    decrypting_ = true;
    keys_.Init(password);
    int64_t start = Tell();
    unsigned char encryptionHeader[kEncryptionHeaderSize];
    bool ok = ReadExact(encryptionHeader, sizeof(encryptionHeader));
    if (ok) {
        keys_.Decrypt(encryptionHeader, sizeof(encryptionHeader));
        uint16_t check = Le16(encryptionHeader + 10);
        uint16_t expected = (header->flags & kZipFlagDescriptor)
                                ? header->modTime
                                : static_cast<uint16_t>(header->crc32 >> 16);
        ok = check == expected;
    }
    if (!ok) {
        Seek(start);
        return false;
    }
    header->compressedSize = header->compressedSize > kEncryptionHeaderSize
                                 ? header->compressedSize - kEncryptionHeaderSize
                                 : 0;
    return true;
}

ZipTransfer ZipReader::CopyMemberData(const ZipEntryHeader& header, bool streamed) {
    if (header.method == kZipMethodStored) {
        return streamed ? CopyStoredUntilDescriptor(header.zip64)
                        : CopyStoredData(header.compressedSize);
    }
    uint64_t input = streamed ? kUntilStreamEnd : header.compressedSize;
    uint64_t limit =
        (header.flags & kZipFlagDescriptor) ? kUntilStreamEnd : header.uncompressedSize;
    return InflateData(input, limit);
}

ZipTransfer ZipReader::CopyStoredData(uint64_t compressedSize) {
    ZipTransfer transfer;
    unsigned char* buffer = workBuffer_.get();
    uint64_t remaining = compressedSize;
    while (buffer != nullptr && remaining > 0) {
        if (StopRequested()) {
            transfer.stopped = true;
            break;
        }
        size_t got =
            ReadInput(buffer, static_cast<size_t>(std::min<uint64_t>(remaining, kWorkBufferSize)));
        if (got == 0) {
            transfer.damaged = true;  // the archive ends inside the member
            break;
        }
        transfer.consumed += got;
        remaining -= got;
        if (!WriteOutput(buffer, got, &transfer)) {
            break;
        }
    }
    return transfer;
}

size_t ZipReader::ReadInput(unsigned char* into, size_t count) {
    if (!archive_) {
        return 0;
    }
    size_t got = archive_->Read(into, count);
    if (decrypting_) {
        keys_.Decrypt(into, got);
    }
    return got;
}

bool ZipReader::ReadExact(unsigned char* into, size_t count) {
    return count == 0 || (archive_ && archive_->Read(into, count) == count);
}

bool ZipReader::WriteOutput(const unsigned char* bytes, size_t count, ZipTransfer* transfer) {
    if (count == 0) {
        return true;
    }
    if (!output_ || (writeGate_ && !writeGate_(count)) || !output_->Write(bytes, count)) {
        transfer->writeFailed = true;
        return false;
    }
    transfer->written += count;
    return true;
}

}  // namespace netrefit
