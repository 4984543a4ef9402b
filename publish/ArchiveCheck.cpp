#include "publish/ArchiveCheck.h"

#include <windows.h>

#include <zlib.h>

#include <cstdio>
#include <map>
#include <utility>

#include "common/Sync.h"
#include "common/UniqueHandle.h"
#include "publish/PublishFiles.h"
#include "unzip/ZipExtractor.h"
#include "unzip/ZipOutputPath.h"
#include "unzip/ZipReader.h"

namespace netrefit {
namespace {

// What the worker reported, gathered on its thread.
struct WalkReports {
    CriticalSection lock;
    KernelHandle ended{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::string member;  // the member being unpacked when the worker stopped
    int32_t final = 0;
    bool askedPassword = false;
};

int32_t OnReport(void* owner, std::string text, ExtractStatus status, int32_t, int32_t) {
    auto* reports = static_cast<WalkReports*>(owner);
    CriticalSectionLock lock(reports->lock);
    if (status == ExtractProgress) {
        reports->member = text;
    } else if (status == ExtractDone || status == ExtractFailed || status == ExtractCancelled) {
        reports->final = status;
        ::SetEvent(reports->ended.get());
    }
    return 0;
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
            if (!reader.Seek(reader.Tell() + static_cast<int64_t>(header.compressedSize))) {
                break;
            }
            continue;
        }
        if (header.method != kZipMethodStored && header.method != kZipMethodDeflated) {
            char text[64];
            std::snprintf(text, sizeof(text), "compression method %u is not supported",
                          static_cast<unsigned>(header.method));
            return "member \"" + member + "\": " + text;
        }
        if (!IsSafeMemberName(header.name)) {
            return "member \"" + member + "\": unsafe name";
        }
        if ((header.flags & kZipFlagEncrypted) != 0) {
            return "member \"" + member + "\": " +
                   (passwordGiven ? "the password does not open it"
                                  : "encrypted; give its password with --password");
        }
        break;
    }
    return "member \"" + member + "\": damaged data";
}

uint32_t FileCrc(const std::string& path, uint64_t* size) {
    uLong crc = crc32(0, Z_NULL, 0);
    *size = 0;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    static unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        crc = crc32(crc, chunk, static_cast<uInt>(got));
        *size += got;
    }
    std::fclose(file);
    return static_cast<uint32_t>(crc);
}

// A local header at offset that the client's reader does not take for one: a member of another
// compression method, which its scan passes over as if it were data. "" when there is none.
std::string PassedOverMember(FILE* raw, int64_t offset) {
    unsigned char fixed[30];
    if (std::fseek(raw, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fread(fixed, 1, sizeof(fixed), raw) != sizeof(fixed) || fixed[0] != 'P' ||
        fixed[1] != 'K' || fixed[2] != 3 || fixed[3] != 4) {
        return std::string();
    }
    unsigned method = fixed[8] | (fixed[9] << 8);
    size_t nameLength = fixed[26] | (fixed[27] << 8);
    if (method != 7 && method <= kZipMethodDeflated) {
        return std::string();
    }
    std::string name(nameLength, '\0');
    name.resize(std::fread(&name[0], 1, nameLength, raw));
    char text[96];
    std::snprintf(text, sizeof(text),
                  "compression method %u is not supported (the client "
                  "passes the member over)",
                  method);
    return "member \"" + name + "\": " + text;
}

// The client's walk ends a member at a deflate error as if it were done, checks no CRC, and
// passes over members of other methods; a module must not depend on that, so each member's
// place and each unpacked file is held against its header. The problem found, or "".
std::string UnsoundMember(const std::string& path, const std::string& folder) {
    ZipReader reader;
    Stream raw(std::fopen(path.c_str(), "rb"));
    if (!raw || !reader.AllocateWorkBuffer() || !reader.OpenArchive(path.c_str())) {
        return std::string();
    }
    // A later member of the same name overwrites an earlier one; headers whose sizes follow the
    // data hold no CRC to check.
    std::map<std::string, std::pair<uint32_t, uint64_t>> expected;
    std::string passedOver = PassedOverMember(raw.get(), 0);
    ZipEntryHeader header;
    while (passedOver.empty() && reader.FindNextLocalHeader(&header, reader.WorkBuffer())) {
        std::string output;
        bool described = (header.flags & kZipFlagDescriptor) == 0;
        if (!IsFolderEntry(header.name) && described &&
            BuildOutputPath(folder, header.name, &output)) {
            expected[header.name] = {header.crc32, header.uncompressedSize};
        } else {
            expected.erase(header.name);
        }
        int64_t next = reader.Tell() + static_cast<int64_t>(header.compressedSize);
        reader.Seek(next);
        if (described) {
            passedOver = PassedOverMember(raw.get(), next);
        }
    }
    reader.CloseArchive();
    if (!passedOver.empty()) {
        return passedOver;
    }
    for (const auto& member : expected) {
        std::string output;
        BuildOutputPath(folder, member.first.c_str(), &output);
        uint64_t size = 0;
        uint32_t crc = FileCrc(output, &size);
        if (crc != member.second.first || size != member.second.second) {
            return "member \"" + member.first + "\": damaged data";
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
        walk.problem = "no scratch folder to unpack it into";
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
    if (reports.final == ExtractDone) {
        walk.problem = UnsoundMember(path, folder.Path());
        if (!walk.problem.empty()) {
            return walk;
        }
        walk.walked = true;
        walk.holdsSetup = IsFile(folder.Path() + "Setup.exe");
        return walk;
    }
    walk.problem = Explain(path, reports.member, !password.empty());
    return walk;
}

}  // namespace netrefit
