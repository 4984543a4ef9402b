// The extraction worker's walk through one archive and its members.

#include "unzip/ZipExtractor.h"

#include <algorithm>

#include "common/FileStream.h"
#include "unzip/ZipOutputPath.h"

namespace netrefit {

namespace {

// Shared for reading only, as the owner's checked files are: nobody changes it while it is read.
// A link is not followed.
FileHandle OpenArchiveFile(const std::string& path) {
    if (IsLinkPath(path)) {
        return FileHandle();
    }
    return FileHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// What a member says it writes: stored data as it stands, deflated data its uncompressed size.
// A member whose sizes follow it says nothing: only the writes themselves are weighed.
uint64_t DeclaredOutput(const ZipEntryHeader& header, bool streamed) {
    if (streamed) {
        return 0;
    }
    return header.method == kZipMethodStored ? header.compressedSize : header.uncompressedSize;
}

// Where the member's data ends by its header: data said to run past the end of the archive is
// damaged. A streamed member's end is found as it is read, whatever its header says.
bool FindDataEnd(int64_t dataStart,
                 uint64_t archiveSize,
                 const ZipEntryHeader& header,
                 bool streamed,
                 int64_t* next) {
    if (dataStart < 0 || static_cast<uint64_t>(dataStart) > archiveSize) {
        return false;
    }
    uint64_t rest = archiveSize - static_cast<uint64_t>(dataStart);
    if (!streamed && header.compressedSize > rest) {
        return false;
    }
    *next = dataStart + static_cast<int64_t>(std::min(header.compressedSize, rest));
    return true;
}

}  // namespace

ZipExtractor::Outcome ZipExtractor::ExtractArchive(size_t index) {
    const std::string& path = archivePaths_[index];
    if (PauseGate()) {
        cancelText_ = path;
        return Outcome::Cancelled;
    }
    // Too long a path is refused rather than cut into another one.
    if (path.size() > kMaxPathText || folder_.size() > kMaxPathText) {
        return Outcome::Failed;
    }
    // The one handle the archive is read through, from its check to its last member.
    FileHandle own;
    HANDLE file = nullptr;
    if (files_.acquire) {
        file = files_.acquire(index);
    } else {
        own = OpenArchiveFile(path);
        file = own.get();
    }
    Outcome outcome = file != nullptr ? ExtractOpenArchive(file) : Outcome::Failed;
    reader_.CloseOutput();
    reader_.CloseArchive();
    if (files_.release) {
        files_.release(index);
    }
    return outcome;
}

ZipExtractor::Outcome ZipExtractor::ExtractOpenArchive(HANDLE file) {
    uint64_t size = 0;
    if (!OpenFileSize(file, &size) || !reader_.OpenArchive(file) || !reader_.IsValidArchive(size) ||
        !reader_.Seek(0)) {
        return Outcome::Failed;
    }
    archivePassword_.clear();
    archiveBytes_ = 0;
    archiveSize_ = size;
    if (!EnsureParentFolder(folder_) || IsLinkPath(folder_)) {
        return Outcome::Failed;
    }
    ZipEntryHeader header;
    while (reader_.FindNextLocalHeader(&header, reader_.WorkBuffer())) {
        // A member of a method we cannot unpack fails its archive rather than go missing.
        Outcome outcome = reader_.PassedOverMember() ? Outcome::Failed : ExtractMember(header);
        if (outcome != Outcome::Done) {
            return outcome;
        }
    }
    if (reader_.PassedOverMember()) {
        return Outcome::Failed;
    }
    archiveBytes_ = 0;
    Report(ArchiveDone, std::string(), OverallPerMille(), 1000);
    return Outcome::Done;
}

ZipExtractor::Outcome ZipExtractor::ExtractMember(ZipEntryHeader& header) {
    if (PauseGate()) {
        cancelText_ = header.name;
        return Outcome::Cancelled;
    }
    Report(ExtractProgress, header.name, OverallPerMille(), ArchivePerMille());
    int64_t dataStart = reader_.Tell();
    bool streamed = IsStreamedMember(header);
    int64_t next = 0;
    if (!FindDataEnd(dataStart, archiveSize_, header, streamed, &next)) {
        return Outcome::Failed;
    }
    // Checked before anything of the member is created, so nothing of a refused member is written.
    // A folder has nothing to decode, whatever method its entry names.
    bool folder = IsFolderEntry(header.name);
    if (!folder && header.method != kZipMethodStored && header.method != kZipMethodDeflated) {
        return Outcome::Failed;
    }
    std::string outputPath;
    if (!BuildOutputPath(folder_, header.name, &outputPath) ||
        !EnsureFolderBelow(folder_, outputPath) || (!folder && IsLinkPath(outputPath))) {
        return Outcome::Failed;
    }
    if (folder) {
        // Its folder now exists; any data it carries is passed over.
        return reader_.Seek(next) ? Outcome::Done : Outcome::Failed;
    }
    // A file that cannot be made would leave the installer a missing or stale one; a member too
    // large for the drive is refused before anything of it is written.
    if (!space_.BeginMember(DeclaredOutput(header, streamed)) ||
        !reader_.OpenOutput(outputPath.c_str())) {
        return Outcome::Failed;
    }
    if (!UnlockMember(header)) {
        // Nothing of the member was written: its empty file is no copy of it.
        reader_.CloseOutput();
        ::DeleteFileA(outputPath.c_str());
        if (CancelRequested()) {
            cancelText_ = header.name;
            return Outcome::Cancelled;
        }
        return Outcome::Failed;
    }
    int64_t afterEncryption = reader_.Tell();
    ZipTransfer transfer = reader_.CopyMemberData(header, streamed);
    bool closed = reader_.CloseOutput();
    if (transfer.stopped) {
        cancelText_ = header.name;
        return Outcome::Cancelled;
    }
    if (transfer.damaged) {
        ::DeleteFileA(outputPath.c_str());  // a short copy of the member is no copy of it
        return Outcome::Failed;
    }
    if (transfer.writeFailed || !closed) {
        return Outcome::Failed;
    }
    SetTimesFromDosStamp(outputPath, header.modDate, header.modTime);
    uint64_t counted = streamed ? transfer.consumed : header.compressedSize;
    if (streamed) {
        next = afterEncryption + static_cast<int64_t>(transfer.consumed);
    }
    overallBytes_ += counted;
    archiveBytes_ += counted;
    return reader_.Seek(next) ? Outcome::Done : Outcome::Failed;
}

// Decryption for an encrypted member: the archive's password first, then up to three prompts.
bool ZipExtractor::UnlockMember(ZipEntryHeader& header) {
    if ((header.flags & kZipFlagEncrypted) == 0) {
        return reader_.StartDecryption(nullptr, &header);
    }
    if (!archivePassword_.empty() && reader_.StartDecryption(archivePassword_.c_str(), &header)) {
        return true;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string typed = AskPassword();
        if (CancelRequested()) {
            return false;
        }
        archivePassword_ = typed.substr(0, kPasswordCapacity);
        if (reader_.StartDecryption(archivePassword_.c_str(), &header)) {
            return true;
        }
    }
    return false;
}

}  // namespace netrefit
