#include "publish/DryRun.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "download/MirrorList.h"
#include "download/ServerFileEntry.h"
#include "download/ServerFileTrust.h"
#include "download/UrlParts.h"
#include "inventory/DownloadDecision.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "inventory/UpgradePlan.h"
#include "publish/Fetch.h"
#include "publish/ModuleChecks.h"
#include "publish/PublishFiles.h"
#include "publish/StateCatalog.h"
#include "resources/ResourceIds.h"

namespace netrefit {
namespace {

// This PC's detection, with the client's own file standing for this tool: Netrefit.exe beside
// it, else this build's version.
class RegistryCatalog : public InstalledCatalog {
  public:
    explicit RegistryCatalog(const std::string& folder) : folder_(folder) {}
    ComponentVersion* UpdateAgent(const char*) override {
        if (!self_) {
            char text[64] = "";
            std::string client = folder_ + "Netrefit.exe";
            self_.reset(new ComponentVersion(kKindUpdateAgent));
            bool read = GetFileVersionText(client.c_str(), text, sizeof(text)) && text[0] != '\0';
            self_->ParseVersion(read ? text : ThisBuildVersion());
        }
        return self_.get();
    }

  private:
    std::string folder_;
    std::unique_ptr<ComponentVersion> self_;
};

std::string ToolFolder() {
    char path[MAX_PATH + 1] = "";
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// Any "scheme://" text is fetched as the client would fetch it (and refused where it would be);
// anything else names a local file.
bool IsUrl(const std::string& text) {
    UrlParts parts;
    return SplitUrl(text, &parts) != UrlSplit::NotAUrl;
}

bool EndsWithIni(const std::string& text) {
    return text.size() > 4 && ::lstrcmpiA(text.c_str() + text.size() - 4, ".ini") == 0;
}

int Refused(unsigned messageId) {
    std::printf("refused %u\n", messageId);
    return 1;
}

}  // namespace

bool ReadClientSettings(const std::string& settings, SetupInfo* setup) {
    setup->SetPath(FullPath(settings));
    if (!setup->ReadSetup()) {
        std::fprintf(stderr,
                     "%s: the client refuses these settings (a key missing or malformed, or a "
                     "PublicKey it might not read: twice, outside [Setup], or a second [Setup])\n",
                     settings.c_str());
        return false;
    }
    size_t keys = setup->PublicKeys().size();
    if (keys == 0) {
        std::fprintf(stderr, "%s: an unsigned client (no PublicKey)\n", settings.c_str());
    } else {
        std::fprintf(stderr, "%s: a signed client (%u key%s)\n", settings.c_str(),
                     static_cast<unsigned>(keys), keys == 1 ? "" : "s");
    }
    return true;
}

namespace {

// The client's checks of its settings, in its order: 0, or the message it refuses with. The
// settings' keys stand in for keys the caller did not give.
unsigned SettingsRefusal(const std::string& settings,
                         SystemEnvironment& environment,
                         std::string* language,
                         PublicKeyList* keys,
                         std::vector<std::string>* mirrors) {
    SetupInfo setup;
    if (!ReadClientSettings(settings, &setup)) {
        return IDS_INIT_FAILED_001;
    }
    if (!environment.ApplicationLanguage(setup.SupportApplicationLang().c_str(), *language)) {
        return IDS_INIT_FAILED_005;
    }
    if (keys->empty()) {
        *keys = setup.PublicKeys();
    }
    *mirrors = setup.Mirrors();
    return EnvironmentRefusal(setup, environment);
}

// Whether the client takes the server file: signed by one of keys, not expired.
bool SignatureTaken(const std::string& serverFile,
                    const std::string& signatureFile,
                    const PublicKeyList& keys) {
    if (!ServerFileIsTrusted(serverFile, signatureFile, keys, TodayUtc())) {
        std::fprintf(stderr, "%s is not signed by the keys or has expired\n", serverFile.c_str());
        return false;
    }
    return true;
}

// Which URL served a file, on standard error: the plan's lines stay as they were.
void Served(const std::string& fileName, const std::string& url) {
    std::fprintf(stderr, "served\t%s\t%s\n", fileName.c_str(), url.c_str());
}

// A folder's URL names the language's server file in it; a file's URL names itself.
std::string ServerFileUrlUnder(const std::string& base, const std::string& language) {
    if (EndsWithIni(base)) {
        return base;
    }
    return base + (!base.empty() && base.back() == '/' ? "" : "/") +
           SetupInfo::ServerFileName(language);
}

// The server file as the client reads it, its signature checked when there are keys: 0, or the
// message the client refuses with. A URL is fetched into scratch, and the mirrors after it when
// it fails, each place giving both files or neither. As in the client, a signature file that
// cannot be fetched is refused as one that does not verify.
unsigned ServerFileRefusal(const std::string& server,
                           const std::vector<std::string>& mirrors,
                           const std::string& language,
                           const PublicKeyList& keys,
                           const ScratchFolder& scratch,
                           std::string* serverFile) {
    *serverFile = FullPath(server);
    if (!IsUrl(server)) {
        bool taken =
            keys.empty() || SignatureTaken(*serverFile, SignatureFileName(*serverFile), keys);
        return taken ? 0 : IDS_UNVERIFIED_UPDATE;
    }
    std::vector<std::string> urls{ServerFileUrlUnder(server, language)};
    for (const std::string& mirror : mirrors) {
        urls.push_back(ServerFileUrlUnder(mirror, language));
    }
    bool signatureMissing = false;
    for (const std::string& url : urls) {
        DownloadEntry serverEntry = MakeServerFileEntry(url);
        FetchResult fetched = FetchEntry(serverEntry, scratch.Path(), FetchProgress());
        if (!fetched.fetched) {
            std::fprintf(stderr, "%s: %s\n", url.c_str(), fetched.problem.c_str());
            continue;
        }
        if (keys.empty()) {
            Served(serverEntry.FileName(), url);
            *serverFile = fetched.localPath;
            return 0;
        }
        DownloadEntry signatureEntry = MakeSignatureFileEntry(url);
        FetchResult signature = FetchEntry(signatureEntry, scratch.Path(), FetchProgress());
        if (!signature.fetched) {
            std::fprintf(stderr, "%s: %s\n", signatureEntry.Url().c_str(),
                         signature.problem.c_str());
            signatureMissing = true;
            continue;
        }
        Served(serverEntry.FileName(), url);
        Served(signatureEntry.FileName(), signatureEntry.Url());
        *serverFile = fetched.localPath;
        return SignatureTaken(*serverFile, signature.localPath, keys) ? 0 : IDS_UNVERIFIED_UPDATE;
    }
    return signatureMissing ? IDS_UNVERIFIED_UPDATE : IDS_SERVER_UNREACHABLE;
}

// The path and Mirrors= of the section whose path is url; just url when none has it.
std::vector<std::string> UrlsOfModule(const std::string& serverFile, const std::string& url) {
    std::vector<std::string> urls{url};
    for (size_t i = 0; i < ServerSectionCount(); ++i) {
        const char* section = ServerSection(i).name;
        std::vector<std::string> mirrors;
        if (!ServerSection(i).versionOnly && ProfileText(serverFile, section, "path") == url &&
            ReadModuleMirrors(serverFile, section, &mirrors)) {
            urls.insert(urls.end(), mirrors.begin(), mirrors.end());
            break;
        }
    }
    return urls;
}

// For each module the first of its URLs that answers the client's request with 200: the one it
// would be fetched from, unless its bytes turn out stale (verify checks those).
void ShowServingUrls(const std::string& serverFile, const UpgradePlan& plan) {
    for (const DownloadEntry& entry : plan.list) {
        bool served = false;
        for (const std::string& url : UrlsOfModule(serverFile, entry.Url())) {
            DownloadEntry copy(entry);
            if (copy.SetUrl(url) && ProbeStatus(copy) == 200) {
                Served(entry.FileName(), url);
                served = true;
                break;
            }
        }
        if (!served) {
            std::fprintf(stderr, "not served\t%s\n", entry.FileName().c_str());
        }
    }
}

int PrintPlan(const UpgradePlan& plan) {
    if (plan.outcome == PlanOutcome::Refused) {
        return Refused(plan.messageId);
    }
    if (plan.asksOldPlayer) {
        std::fprintf(stderr, "the client first asks message %u (old player); OK goes on\n",
                     static_cast<unsigned>(IDS_OLD_PLAYER));
    }
    std::printf("%s\n", plan.outcome == PlanOutcome::Upgrade ? "upgrade" : "reinstall");
    for (const DownloadEntry& entry : plan.list) {
        std::printf("%s\t%ld\t%s\n", entry.Name().c_str(), static_cast<long>(entry.Size()),
                    entry.Url().c_str());
    }
    return 0;
}

}  // namespace

int RunDryRun(const DryRunOptions& options) {
    std::unique_ptr<InstalledCatalog> installed;
    EnvironmentFacts facts;
    std::string programFolder = ToolFolder();
    if (options.fromRegistry) {
        installed.reset(new RegistryCatalog(programFolder));
        facts = ProbeEnvironmentFacts();
    } else {
        std::unique_ptr<StateCatalog> state(new StateCatalog());
        std::string problem;
        if (!state->Load(options.installed, &problem)) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
        facts = state->Facts();
        installed = std::move(state);
    }
    SystemEnvironment environment(facts);

    std::string language = LanguageName(facts.language);
    PublicKeyList keys = options.keys;
    std::vector<std::string> mirrors;
    if (!options.settings.empty()) {
        if (unsigned refusal =
                SettingsRefusal(options.settings, environment, &language, &keys, &mirrors)) {
            return Refused(refusal);
        }
    }
    ScratchFolder scratch;
    std::string serverFile;
    if (unsigned refusal =
            ServerFileRefusal(options.server, mirrors, language, keys, scratch, &serverFile)) {
        return Refused(refusal);
    }
    ServerCatalog server;
    if (server.Load(serverFile.c_str()) != kServerLoadOk) {
        std::fprintf(stderr, "%s cannot be loaded\n", options.server.c_str());
        return Refused(IDS_INIT_FAILED_004);
    }
    if (!keys.empty() && !server.EveryModuleHasSha256()) {
        std::fprintf(stderr, "a module of %s has no SHA256\n", options.server.c_str());
        return Refused(IDS_UNVERIFIED_UPDATE);
    }
    ApplyReferenceVersions(*installed, server);
    UpgradePlan plan =
        PlanUpgrade(*installed, server, environment, programFolder, ClientDownloadFolder());
    int result = PrintPlan(plan);
    if (result == 0 && IsUrl(options.server)) {
        std::fflush(stdout);
        ShowServingUrls(serverFile, plan);
    }
    return result;
}

}  // namespace netrefit
