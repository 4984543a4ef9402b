#include "publish/ArchiveCheck.h"

#include <windows.h>

#include <cstdio>

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
        extractor.SetPasswordPrompt([&reports, &password] {
            CriticalSectionLock lock(reports.lock);
            reports.askedPassword = true;
            return password;
        });
        extractor.Start({path}, {path});
        ::WaitForSingleObject(reports.ended.get(), INFINITE);
    }
    if (reports.final == ExtractDone) {
        walk.walked = true;
        walk.holdsSetup = IsFile(folder.Path() + "Setup.exe");
        return walk;
    }
    walk.problem = Explain(path, reports.member, !password.empty());
    return walk;
}

}  // namespace netrefit
