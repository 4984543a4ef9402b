#pragma once
// Forward-only zip reader: walks an archive through its local headers, one member after another,
// without ever reading the central directory. Every read and write goes through one 1 MiB work
// buffer. No window code here: the extraction worker decides order, passwords and reports.
// The archive is a byte source and each member's output a byte sink, so that everything but the
// opening of files by path (ZipReaderFiles.cpp) also builds natively for the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/ByteStream.h"
#include "unzip/ZipCrypto.h"
#include "unzip/ZipEntryHeader.h"

namespace netrefit {

// Outcome of one member's data copy.
struct ZipTransfer {
    uint64_t consumed = 0;     // archive bytes used for the member's data
    uint64_t written = 0;      // bytes written to the output
    bool stopped = false;      // the stop check asked to end between chunks
    bool writeFailed = false;  // the output or the write gate refused bytes (disk full)
    bool damaged = false;      // the data ended early or does not inflate: the output is short
};

// A member whose CRC and sizes follow its data in a descriptor: deflated data ends where its
// deflate stream ends, stored data where a descriptor states the bytes before it. The header's
// sizes are not taken for them even when they are not 0: a zip writer that streams an encrypted
// member puts the plain size there, 12 bytes short of the data.
inline bool IsStreamedMember(const ZipEntryHeader& header) {
    return (header.method == kZipMethodDeflated || header.method == kZipMethodStored) &&
           (header.flags & kZipFlagDescriptor) != 0;
}

class ZipReader {
  public:
    static constexpr size_t kWorkBufferSize = 1048576;
    static constexpr size_t kHalfSize = kWorkBufferSize / 2;
    static constexpr size_t kOwnScratchSize = 65536;  // enough for any name or extra field
    static constexpr uint64_t kUntilStreamEnd = ~uint64_t{0};

    ZipReader() = default;
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    bool AllocateWorkBuffer();
    void ReleaseWorkBuffer() { workBuffer_.reset(); }
    unsigned char* WorkBuffer() const { return workBuffer_.get(); }

    // The reader owns the archive and the output it is given.
    void SetArchive(std::unique_ptr<ByteSource> archive) {
        archive_ = std::move(archive);
        passedOverMember_ = false;
    }
    void SetOutput(std::unique_ptr<ByteSink> output) { output_ = std::move(output); }
    bool OpenArchive(const char* path);  // a file source
    // A file handle the caller opened and keeps open until CloseArchive; read from its start.
    bool OpenArchive(void* file);
    void CloseArchive() { archive_.reset(); }
    bool OpenOutput(const char* path);  // a file sink, created empty
    bool CloseOutput();                 // false when the last bytes could not be written
    int64_t Tell() const;
    bool Seek(int64_t position);
    // Asked between chunks of a member's data; true ends the copy early.
    void SetStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }
    // Asked before each write with its byte count; false refuses the write and ends the copy.
    void SetWriteGate(std::function<bool(size_t)> gate) { writeGate_ = std::move(gate); }

    // True when the file holds a plausible local header within its first 1 MiB.
    bool IsValidArchive(const char* path, uint64_t fileSize);
    // The same for the archive already set, read from its start; its position is then undefined.
    bool IsValidArchive(uint64_t archiveSize);
    // Scans for the next local header and reads it; the stream then stands at the member's data.
    // scratch must hold at least kOwnScratchSize bytes.
    bool FindNextLocalHeader(ZipEntryHeader* header, unsigned char* scratch);
    // Reads the header whose signature has just been consumed; scratch may be null.
    bool ReadLocalHeader(ZipEntryHeader* header, unsigned char* scratch);
    // Whether a scan passed over a header that is whole but that the reader cannot take: data of
    // a compression method it refuses (7, or above 8), or a size left to a ZIP64 field that is
    // missing or short. That is a member that would go missing, the first one included, not bytes
    // of a stub that only look like a header.
    bool PassedOverMember() const { return passedOverMember_; }
    // No password: decryption off. Otherwise checks the password against the encryption header.
    bool StartDecryption(const char* password, ZipEntryHeader* header);
    ZipTransfer CopyStoredData(uint64_t compressedSize);
    // Copies stored data up to the data descriptor that states its CRC-32 and length; damaged
    // when the archive ends first. The stream then stands somewhere after the data.
    ZipTransfer CopyStoredUntilDescriptor(bool zip64);
    // Inflates at most compressedSize bytes of input (kUntilStreamEnd: up to the end of the
    // deflate stream) and writes at most outputLimit bytes.
    ZipTransfer InflateData(uint64_t compressedSize, uint64_t outputLimit = kUntilStreamEnd);
    // A member's data after StartDecryption: stored data copied, deflated data inflated with the
    // header's sizes as its bounds. streamed comes from IsStreamedMember before decryption.
    ZipTransfer CopyMemberData(const ZipEntryHeader& header, bool streamed);

  private:
    enum class HeaderRead { Whole, Unreadable, Broken };
    HeaderRead ReadHeaderFields(ZipEntryHeader* header, unsigned char* scratch);
    size_t ReadInput(unsigned char* into, size_t count);
    bool ReadExact(unsigned char* into, size_t count);
    bool WriteOutput(const unsigned char* bytes, size_t count, ZipTransfer* transfer);
    bool StopRequested() const { return stopCheck_ && stopCheck_(); }

    std::unique_ptr<ByteSource> archive_;
    std::unique_ptr<ByteSink> output_;
    bool decrypting_ = false;
    ZipKeys keys_;
    std::unique_ptr<unsigned char[]> workBuffer_;
    std::function<bool()> stopCheck_;
    std::function<bool(size_t)> writeGate_;
    bool passedOverMember_ = false;
};

}  // namespace netrefit
