#include "publish/VerifySite.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "download/ServerFileEntry.h"
#include "hashgate/VerifyFileDigest.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "publish/ArchiveCheck.h"
#include "publish/Fetch.h"
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
    void CheckModule(const ServerSectionInfo& section, const ServerComponent* record);
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
    PrintRow(name, entry.Url(), std::to_string(size), {});
    return true;
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
        return;
    }
    FetchResult fetched = FetchEntry(
        entry, scratch_.Path(), ProgressLine(section.name, static_cast<uint32_t>(entry.Size())));
    if (!fetched.fetched) {
        PrintRow(section.name, entry.Url(), sizeText, {fetched.problem});
        return;
    }
    uint64_t size = 0;
    FileSizeOf(fetched.localPath, &size);
    if (sizeText != std::to_string(size)) {
        findings.push_back("Size " + sizeText + " but " + std::to_string(size) + " bytes served");
    }
    if (!IsLowercaseDigest(record->Md5Text())) {
        findings.push_back("MD5 \"" + record->Md5Text() +
                           "\" is not 32 lowercase hexadecimal digits");
    } else if (!VerifyFileDigest(fetched.localPath.c_str(), record->Md5Text().c_str())) {
        findings.push_back("MD5 differs: the file served has " + FileDigest(fetched.localPath));
    }
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
}

}  // namespace

int RunVerify(const VerifyOptions& options) {
    return SiteVerifier(options).Run();
}

}  // namespace netrefit
