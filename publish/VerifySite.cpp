#include "publish/VerifySite.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "download/ModuleDigest.h"
#include "download/ServerFileEntry.h"
#include "download/ServerFileTrust.h"
#include "hashgate/VerifyFileDigest.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "publish/ArchiveCheck.h"
#include "publish/Fetch.h"
#include "publish/MakeSite.h"
#include "publish/ModuleChecks.h"
#include "publish/PublishFiles.h"

namespace netrefit {
namespace {

// Files this large get a progress line while they download.
constexpr uint32_t kProgressFrom = 1048576;

void PrintRow(const std::string& section,
              const std::string& url,
              const std::string& size,
              const std::vector<std::string>& findings) {
    std::string result;
    for (const std::string& finding : findings) {
        result += (result.empty() ? "" : "; ") + finding;
    }
    std::printf("%s\t%s\t%s\t%s\n", section.c_str(), url.c_str(), size.c_str(),
                findings.empty() ? "ok" : result.c_str());
    std::fflush(stdout);
}

// What the client finds of a module's SHA256: with keys every module must have one; without,
// one that is there is checked all the same.
void AddSha256Findings(const ServerComponent& record,
                       const std::string& path,
                       bool required,
                       std::vector<std::string>* findings) {
    const std::string& expected = record.Sha256Text();
    std::string actual;
    if (expected.empty()) {
        if (required) {
            findings->push_back("no SHA256: the client refuses the whole server file");
        }
    } else if (!IsSha256Text(expected)) {
        findings->push_back("SHA256 \"" + expected + "\" is not 64 lowercase hexadecimal digits");
    } else if (!FileSha256Text(path.c_str(), &actual)) {
        findings->push_back("the file served cannot be read for its SHA-256");
    } else if (actual != expected) {
        findings->push_back("SHA-256 differs: the file served has " + actual);
    }
}

// Size, MD5 and SHA-256 of a fetched copy against the module's record.
void AddFileFindings(const ServerComponent& record,
                     const std::string& path,
                     bool sha256Required,
                     std::vector<std::string>* findings) {
    uint64_t size = 0;
    FileSizeOf(path, &size);
    const std::string& sizeText = record.SizeText();
    if (sizeText != std::to_string(size)) {
        findings->push_back("Size " + sizeText + " but " + std::to_string(size) + " bytes served");
    }
    if (!IsLowercaseDigest(record.Md5Text())) {
        findings->push_back("MD5 \"" + record.Md5Text() +
                            "\" is not 32 lowercase hexadecimal digits");
    } else if (!VerifyFileDigest(path.c_str(), record.Md5Text().c_str())) {
        findings->push_back("MD5 differs: the file served has " + FileDigest(path));
    }
    AddSha256Findings(record, path, sha256Required, findings);
}

FetchProgress ProgressLine(const std::string& section, uint32_t size) {
    if (size < kProgressFrom) {
        return FetchProgress();
    }
    auto shown = std::make_shared<uint32_t>(0);
    return [section, size, shown](uint32_t received) {
        uint32_t percent = static_cast<uint32_t>(uint64_t{received} * 100 / size);
        if (percent >= *shown + 5 || received >= size) {
            *shown = percent;
            std::fprintf(stderr, "\r%s: %u of %u KiB", section.c_str(), received / 1024,
                         size / 1024);
            if (received >= size) {
                std::fprintf(stderr, "\n");
            }
        }
    };
}

class SiteVerifier {
  public:
    explicit SiteVerifier(const VerifyOptions& options) : options_(options) {}
    int Run();

  private:
    bool FetchServerFile();
    void CheckSignature(const std::string& serverUrl, const std::string& serverName);
    std::string ExpiryFinding() const;
    // A row of the server file or its signature file; a finding is a problem of the site.
    void FileRow(const std::string& name,
                 const std::string& url,
                 const std::string& size,
                 const std::vector<std::string>& findings) {
        PrintRow(name, url, size, findings);
        problems_ += findings.empty() ? 0 : 1;
    }
    void CheckModule(const ServerSectionInfo& section, const ServerComponent* record);
    void CheckMirrors(const ServerSectionInfo& section, const ServerComponent& record);
    void Problem(const std::string& text) {
        std::printf("%s\n", text.c_str());
        ++problems_;
    }

    const VerifyOptions& options_;
    ScratchFolder scratch_;
    std::string serverFile_;
    ServerCatalog catalog_;
    int modules_ = 0;
    int passed_ = 0;
    int mirrorCopies_ = 0;
    int mirrorsPassed_ = 0;
    int problems_ = 0;
    std::vector<std::string> setupHolders_;
    bool walkFailed_ = false;
};

int SiteVerifier::Run() {
    if (!scratch_.Ready()) {
        std::fprintf(stderr, "no scratch folder for the downloads\n");
        return 1;
    }
    if (!FetchServerFile()) {
        return 1;
    }
    for (size_t i = 0; i < ServerSectionCount(); ++i) {
        const ServerSectionInfo& section = ServerSection(i);
        if (section.versionOnly) {
            continue;
        }
        const ComponentVersion* record =
            section.place == kLauncherPlace ? catalog_.Launcher()
                                            : catalog_.Get(static_cast<CatalogSlot>(section.place));
        CheckModule(section, dynamic_cast<const ServerComponent*>(record));
    }
    if (catalog_.Launcher() == nullptr) {
        Problem("[LauncherMl] is missing or incomplete: the client would have no Setup Starter");
    }
    if (setupHolders_.size() > 1) {
        Problem("\"Setup.exe\" is in more than one archive: the last one unpacked would win");
    } else if (setupHolders_.empty() && !walkFailed_) {
        Problem("no archive holds \"Setup.exe\": the client would have no installer to start");
    }
    if (mirrorCopies_ > 0) {
        std::printf("%d of %d mirror copies passed\n", mirrorsPassed_, mirrorCopies_);
        problems_ += mirrorCopies_ - mirrorsPassed_;
    }
    std::printf("%d of %d modules passed\n", passed_, modules_);
    return problems_ == 0 && passed_ == modules_ ? 0 : 1;
}

bool SiteVerifier::FetchServerFile() {
    std::string base = options_.url;
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    std::string name = SetupInfo::ServerFileName(options_.language);
    DownloadEntry entry = MakeServerFileEntry(base + name);
    FetchResult fetched = FetchEntry(entry, scratch_.Path(), FetchProgress());
    if (!fetched.fetched) {
        PrintRow(name, entry.Url(), "-", {fetched.problem});
        std::printf("0 of 0 modules passed\n");
        return false;
    }
    if (catalog_.Load(fetched.localPath.c_str()) != kServerLoadOk) {
        PrintRow(name, entry.Url(), "-", {"the client cannot load it"});
        std::printf("0 of 0 modules passed\n");
        return false;
    }
    serverFile_ = fetched.localPath;
    uint64_t size = 0;
    FileSizeOf(serverFile_, &size);
    bool signedFile = !options_.keys.empty();
    std::vector<std::string> findings;
    if (signedFile) {
        std::string finding = ExpiryFinding();
        if (!finding.empty()) {
            findings.push_back(finding);
        }
    }
    FileRow(name, entry.Url(), std::to_string(size), findings);
    if (signedFile) {
        CheckSignature(entry.Url(), name);
    }
    return true;
}

// "" when the client takes the date and it is not further ahead than make would write it.
std::string SiteVerifier::ExpiryFinding() const {
    std::string text = ProfileText(serverFile_, "Signature", "Expires", 32);
    CalendarDate today = TodayUtc();
    if (text.empty()) {
        return "no [Signature] Expires=: clients with a key refuse a signed file without one";
    }
    if (ServerFileExpired(serverFile_, today)) {
        return "expired: [Signature] Expires=" + text + " is no date or is before today (" +
               FormatCalendarDate(today) + ", UTC)";
    }
    CalendarDate expires;
    if (ParseCalendarDate(text, &expires) &&
        CompareDates(expires, AddDays(today, kMaxSignedDays)) > 0) {
        return "distant: [Signature] Expires=" + text + " is more than " +
               std::to_string(kMaxSignedDays) +
               " days ahead; an old copy could be replayed until then";
    }
    return std::string();
}

// The signature file beside the server file, fetched with the same request, and held against
// the exact bytes fetched of the server file.
void SiteVerifier::CheckSignature(const std::string& serverUrl, const std::string& serverName) {
    DownloadEntry entry = MakeSignatureFileEntry(serverUrl);
    FetchResult fetched = FetchEntry(entry, scratch_.Path(), FetchProgress());
    if (!fetched.fetched) {
        FileRow(entry.FileName(), entry.Url(), "-", {fetched.problem});
        return;
    }
    uint64_t size = 0;
    FileSizeOf(fetched.localPath, &size);
    std::string message, signature;
    std::vector<std::string> findings;
    if (!ReadWholeFile(serverFile_, kMaxServerFileBytes, &message) ||
        !ReadWholeFile(fetched.localPath, kMaxServerFileBytes, &signature)) {
        findings.push_back("cannot be read");
    } else if (!AnySignatureVerifies(signature, reinterpret_cast<const uint8_t*>(message.data()),
                                     message.size(), options_.keys)) {
        findings.push_back("no line of it is a signature of " + serverName + " by the given keys");
    }
    FileRow(entry.FileName(), entry.Url(), std::to_string(size), findings);
}

void SiteVerifier::CheckModule(const ServerSectionInfo& section, const ServerComponent* record) {
    if (record == nullptr) {
        // A section the client drops for a missing path, Size or MD5 offers nothing, silently.
        if (!ProfileKeys(serverFile_, section.name).empty()) {
            ++modules_;
            PrintRow(section.name, ProfileText(serverFile_, section.name, "path"), "-",
                     {"incomplete: the client ignores it (path, Size and MD5 are required)"});
        }
        return;
    }
    ++modules_;
    std::vector<std::string> findings;
    const std::string& sizeText = record->SizeText();
    DownloadEntry entry;
    std::string refusal = EntryRefusal(*record, &entry);
    if (!refusal.empty()) {
        PrintRow(section.name, record->RemotePath(), sizeText, {refusal});
        CheckMirrors(section, *record);
        return;
    }
    FetchResult fetched = FetchEntry(
        entry, scratch_.Path(), ProgressLine(section.name, static_cast<uint32_t>(entry.Size())));
    if (!fetched.fetched) {
        PrintRow(section.name, entry.Url(), sizeText, {fetched.problem});
        CheckMirrors(section, *record);
        return;
    }
    AddFileFindings(*record, fetched.localPath, !options_.keys.empty(), &findings);
    ArchiveWalk walk = WalkArchive(fetched.localPath, options_.password);
    if (!walk.walked) {
        walkFailed_ = true;
        findings.insert(findings.end(), walk.problems.begin(), walk.problems.end());
    } else if (walk.holdsSetup) {
        bool counted = false;
        for (const std::string& holder : setupHolders_) {
            counted = counted || ::lstrcmpiA(holder.c_str(), entry.FileName().c_str()) == 0;
        }
        if (!counted) {
            setupHolders_.push_back(entry.FileName());
        }
    }
    ::DeleteFileA(fetched.localPath.c_str());
    if (findings.empty()) {
        ++passed_;
    }
    PrintRow(section.name, entry.Url(), sizeText, findings);
    CheckMirrors(section, *record);
}

// A row for each mirror's copy: the client takes it in the path's place, so it must be the same
// file, byte for byte.
void SiteVerifier::CheckMirrors(const ServerSectionInfo& section, const ServerComponent& record) {
    std::vector<std::string> urls;
    if (!ReadModuleMirrors(serverFile_, section.name, &urls)) {
        Problem(std::string("[") + section.name +
                "] Mirrors= lists more than 4 URLs: the client refuses the module");
        return;
    }
    for (const std::string& url : urls) {
        ++mirrorCopies_;
        ServerComponent copy(record);
        copy.SetRemotePath(url.c_str());
        DownloadEntry entry;
        std::string refusal = EntryRefusal(copy, &entry);
        std::vector<std::string> findings;
        if (!refusal.empty()) {
            findings.push_back(refusal);
        } else {
            FetchResult fetched =
                FetchEntry(entry, scratch_.Path(),
                           ProgressLine(section.name, static_cast<uint32_t>(entry.Size())));
            if (!fetched.fetched) {
                findings.push_back(fetched.problem);
            } else {
                AddFileFindings(copy, fetched.localPath, !options_.keys.empty(), &findings);
                ::DeleteFileA(fetched.localPath.c_str());
            }
        }
        mirrorsPassed_ += findings.empty() ? 1 : 0;
        PrintRow(section.name, url, record.SizeText(), findings);
    }
}

}  // namespace

int RunVerify(const VerifyOptions& options) {
    return SiteVerifier(options).Run();
}

}  // namespace netrefit
