#include "publish/ArchiveCheck.h"

#include <windows.h>

#include <zlib.h>

#include <cstdio>
#include <map>
#include <set>

#include "common/FileStream.h"
#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "publish/CentralDirectory.h"
#include "publish/PublishFiles.h"
#include "unzip/ZipExtractor.h"
#include "unzip/ZipOutputPath.h"
#include "unzip/ZipReader.h"

namespace netrefit {
namespace {

// Findings of one archive beyond these are counted, not listed: a module the client unpacks
// wrongly throughout would otherwise bury everything else.
constexpr size_t kListedFindings = 10;

// What the worker reported, gathered on its thread.
struct WalkReports {
    CriticalSection lock;
    KernelHandle ended{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::vector<std::string> members;  // the stored name of each member begun, in order
    int32_t final = 0;
    bool askedPassword = false;
};

int32_t OnReport(void* owner, std::string text, ExtractStatus status, int32_t, int32_t) {
    auto* reports = static_cast<WalkReports*>(owner);
    CriticalSectionLock lock(reports->lock);
    if (status == ExtractProgress) {
        reports->members.push_back(text);
    } else if (status == ExtractDone || status == ExtractFailed || status == ExtractCancelled) {
        reports->final = status;
        ::SetEvent(reports->ended.get());
    }
    return 0;
}

// A name as the archive stores it may hold control characters; they would garble the output.
std::string MemberText(const std::string& name, const std::string& text) {
    std::string shown = name;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '?';
        }
    }
    return "member \"" + shown + "\": " + text;
}

std::string MethodText(uint16_t method) {
    char text[64];
    std::snprintf(text, sizeof(text), "compression method %u is not supported",
                  static_cast<unsigned>(method));
    return text;
}

// Why the member failed, read from its local header with the client's reader.
std::string Explain(const std::string& path, const std::string& member, bool passwordGiven) {
    ZipReader reader;
    uint64_t size = 0;
    if (!reader.AllocateWorkBuffer()) {
        return "no memory to read it";
    }
    if (!FileSizeOf(path, &size) || !reader.IsValidArchive(path.c_str(), size)) {
        return "not a zip archive the client can read";
    }
    if (member.empty() || !reader.OpenArchive(path.c_str())) {
        return "damaged at its start";
    }
    ZipEntryHeader header;
    while (reader.FindNextLocalHeader(&header, reader.WorkBuffer())) {
        if (member != header.name) {
            int64_t at = reader.Tell();
            if (at < 0 || header.compressedSize > static_cast<uint64_t>(INT64_MAX - at) ||
                !reader.Seek(at + static_cast<int64_t>(header.compressedSize))) {
                break;
            }
            continue;
        }
        if (header.method != kZipMethodStored && header.method != kZipMethodDeflated) {
            return MemberText(member, MethodText(header.method));
        }
        if (!IsSafeMemberName(header.name)) {
            return MemberText(member, "unsafe name");
        }
        if ((header.flags & kZipFlagEncrypted) != 0) {
            return MemberText(member, passwordGiven
                                          ? "the password does not open it"
                                          : "encrypted; give its password with --password");
        }
        break;
    }
    return MemberText(member, "damaged data");
}

bool FileCrc(const std::string& path, uint32_t* crc, uint64_t* size) {
    Stream file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    uLong sum = crc32(0, Z_NULL, 0);
    *size = 0;
    static unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
        sum = crc32(sum, chunk, static_cast<uInt>(got));
        *size += got;
    }
    *crc = static_cast<uint32_t>(sum);
    return std::ferror(file.get()) == 0;
}

// Where the client writes a member; false for a name it refuses or cannot hold (a NUL inside).
bool OutputPathOf(const std::string& folder, const CentralMember& member, std::string* path) {
    return member.name.find('\0') == std::string::npos &&
           BuildOutputPath(folder, member.name.c_str(), path);
}

// Paths as the file system compares them, so that "A.TXT" and "a.txt" are one file.
std::string FoldedCase(std::string path) {
    ::CharUpperBuffA(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

// Holds what the client's walk reported and left in folder against the central directory. The
// client reads only local headers; any member it would skip, cut or write differently from what
// the directory lists (and so what every other unzip tool unpacks) is a finding.
class DirectoryComparison {
  public:
    DirectoryComparison(const std::vector<CentralMember>& directory,
                        const std::vector<std::string>& walked,
                        const std::string& folder)
        : directory_(directory),
          walkOrder_(walked),
          walked_(walked.begin(), walked.end()),
          folder_(folder) {}

    std::vector<std::string> Run();

  private:
    void CheckMember(size_t index);
    void CheckContent(const CentralMember& member, const std::string& path);
    void CheckWalkedOnly();
    void Finding(const std::string& name, const std::string& text);

    const std::vector<CentralMember>& directory_;
    const std::vector<std::string>& walkOrder_;
    std::set<std::string> walked_;
    std::string folder_;
    std::map<std::string, size_t> lastWriter_;  // by folded path: the member whose data stays
    std::vector<std::string> findings_;
    size_t unlisted_ = 0;
};

std::vector<std::string> DirectoryComparison::Run() {
    // A later member written to the same file overwrites an earlier one.
    for (size_t i = 0; i < directory_.size(); ++i) {
        std::string path;
        if (!IsFolderEntry(directory_[i].name.c_str()) &&
            OutputPathOf(folder_, directory_[i], &path)) {
            lastWriter_[FoldedCase(path)] = i;
        }
    }
    for (size_t i = 0; i < directory_.size(); ++i) {
        CheckMember(i);
    }
    CheckWalkedOnly();
    if (unlisted_ > 0) {
        findings_.push_back("and " + std::to_string(unlisted_) + " more member" +
                            (unlisted_ == 1 ? " differs" : "s differ") +
                            " from the central directory");
    }
    return findings_;
}

void DirectoryComparison::CheckMember(size_t index) {
    const CentralMember& member = directory_[index];
    bool walked = walked_.count(member.name) != 0;
    if (member.method != kZipMethodStored && member.method != kZipMethodDeflated) {
        Finding(member.name,
                MethodText(member.method) + (walked ? "" : " (the client passes the member over)"));
        return;
    }
    std::string path;
    bool placed = OutputPathOf(folder_, member, &path);
    if (IsFolderEntry(member.name.c_str())) {
        if (!placed || !IsFolder(path)) {
            Finding(member.name, "the client would not make its folder");
        }
        return;
    }
    if (!walked || !placed) {
        Finding(member.name, "the client would skip it");
    } else if (lastWriter_[FoldedCase(path)] == index) {
        CheckContent(member, path);
    }
}

void DirectoryComparison::CheckContent(const CentralMember& member, const std::string& path) {
    uint32_t crc = 0;
    uint64_t size = 0;
    if (!FileCrc(path, &crc, &size)) {
        Finding(member.name, "the client would not write it");
        return;
    }
    if (crc == member.crc32 && size == member.uncompressedSize) {
        return;
    }
    char crcs[2][16];
    std::snprintf(crcs[0], sizeof(crcs[0]), "%08X", static_cast<unsigned>(crc));
    std::snprintf(crcs[1], sizeof(crcs[1]), "%08X", static_cast<unsigned>(member.crc32));
    Finding(member.name, "the client would write " + std::to_string(size) + " bytes (CRC-32 " +
                             crcs[0] + "); the central directory says " +
                             std::to_string(member.uncompressedSize) + " bytes (CRC-32 " + crcs[1] +
                             ")");
}

// Members found only by the client's scan of local headers: other tools do not unpack them.
void DirectoryComparison::CheckWalkedOnly() {
    std::set<std::string> listed;
    for (const CentralMember& member : directory_) {
        listed.insert(member.name);
    }
    for (const std::string& name : walkOrder_) {
        if (listed.insert(name).second) {
            Finding(name, "the client unpacks it, but the central directory does not list it");
        }
    }
}

void DirectoryComparison::Finding(const std::string& name, const std::string& text) {
    if (findings_.size() < kListedFindings) {
        findings_.push_back(MemberText(name, text));
    } else {
        ++unlisted_;
    }
}

std::vector<std::string> CompareWithDirectory(const std::string& path,
                                              const std::vector<std::string>& walked,
                                              const std::string& folder) {
    StdioSource archive;
    uint64_t size = 0;
    std::vector<CentralMember> directory;
    if (!FileSizeOf(path, &size) || !archive.Open(path.c_str()) ||
        !ReadCentralDirectory(archive, size, &directory)) {
        return {"no readable central directory"};
    }
    return DirectoryComparison(directory, walked, folder).Run();
}

// The first member the directory lists with a method the client refuses: the client fails the
// archive on it, though its walk ended at the member before. "" when there is none.
std::string UnsupportedMember(const std::string& path) {
    StdioSource archive;
    uint64_t size = 0;
    std::vector<CentralMember> directory;
    if (!FileSizeOf(path, &size) || !archive.Open(path.c_str()) ||
        !ReadCentralDirectory(archive, size, &directory)) {
        return std::string();
    }
    for (const CentralMember& member : directory) {
        if (member.method != kZipMethodStored && member.method != kZipMethodDeflated) {
            return MemberText(member.name, MethodText(member.method));
        }
    }
    return std::string();
}

}  // namespace

ArchiveWalk WalkArchive(const std::string& path, const std::string& password) {
    ArchiveWalk walk;
    ScratchFolder folder;
    WalkReports reports;
    if (!folder.Ready() || !reports.ended) {
        walk.problems.push_back("no scratch folder to unpack it into");
        return walk;
    }
    {
        ZipExtractor extractor;
        extractor.SetOwner(&reports);
        extractor.SetFolder(folder.Path());
        extractor.SetCallback(&OnReport);
        extractor.SetPasswordPrompt([&reports, &password](PromptSlot&) {
            CriticalSectionLock lock(reports.lock);
            reports.askedPassword = true;
            return password;
        });
        extractor.Start({path}, {path});
        ::WaitForSingleObject(reports.ended.get(), INFINITE);
    }
    if (reports.final != ExtractDone) {
        std::string member = reports.members.empty() ? std::string() : reports.members.back();
        std::string unsupported = UnsupportedMember(path);
        walk.problems.push_back(!unsupported.empty() ? unsupported
                                                     : Explain(path, member, !password.empty()));
        return walk;
    }
    walk.problems = CompareWithDirectory(path, reports.members, folder.Path());
    walk.walked = walk.problems.empty();
    walk.holdsSetup = walk.walked && IsFile(folder.Path() + "Setup.exe");
    return walk;
}

}  // namespace netrefit
