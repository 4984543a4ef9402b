#include "publish/MakeSite.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "download/MirrorList.h"
#include "download/ModuleDigest.h"
#include "download/ServerFileTrust.h"
#include "download/SigningRecord.h"
#include "inventory/ComponentVersion.h"
#include "inventory/ServerCatalog.h"
#include "inventory/SetupInfo.h"
#include "inventory/SystemEnvironment.h"
#include "publish/ArchiveCheck.h"
#include "publish/ModuleChecks.h"
#include "publish/PublishFiles.h"
#include "publish/SigningKey.h"

namespace netrefit {
namespace {

const char* const kSettingsKeys[] = {"FreeCDDB", "ML", "MLDW", "MLP", "KDPL", "Connect"};
const char* const kReferenceKeys[] = {"ML", "MLDW", "MLP", "KDPL"};

struct Module {
    const ServerSectionInfo* section = nullptr;
    std::string version;  // as the client will read it, four parts
    std::string file;
    std::string source;
    std::string url;
    std::vector<std::string> mirrors;  // the same file under each mirror base
    uint64_t size = 0;
    std::string md5;
    std::string sha256;                 // of signed server files only
    std::vector<std::string> hotFixes;  // "HotFixNN=value" and "HotFixSeriesNN=value" lines
};

class SiteMaker {
  public:
    explicit SiteMaker(const MakeOptions& options)
        : options_(options), description_(FullPath(options.description)) {}

    int Run();

  private:
    void Problem(const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        ++problems_;
    }
    void ReadKey();
    void ReadLanguages();
    void ReadSettings();
    void CheckSections();
    void ReadModule(const ServerSectionInfo& section);
    void ReadHotFixes(const char* section, Module* module);
    void ReadMirrors(const std::string& where, Module* module);
    void CheckInstaller();
    std::string ServerText() const;
    bool Write();
    bool ClientReadsBack(const std::string& path);
    bool ClientTrusts(const std::string& path, const std::string& signature) const;
    bool WriteServerFiles(const std::string& out,
                          const std::string& text,
                          const std::string& signature) const;

    const MakeOptions& options_;
    std::string description_;
    std::string base_;
    std::vector<std::string> mirrorBases_;
    std::vector<std::string> languages_;
    std::string settings_;
    std::string agentVersion_;
    SigningKey key_;
    bool signing_ = false;
    std::string signedAt_;  // [Signature] Signed= of the files made
    std::vector<Module> modules_;
    std::vector<std::string> setupHolders_;  // files that hold the installer
    bool walkFailed_ = false;
    int problems_ = 0;
};

std::string FormatSigningTime(const SYSTEMTIME& time) {
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
}

// Now (UTC), or one second past the last time made with this key when that is not earlier:
// clients refuse a file signed before one they took, so each site must be strictly later.
std::string NextSigningTime(const std::string& lastPath) {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    now.wMilliseconds = 0;
    std::string last;
    ReadWholeFile(lastPath, 64, &last);
    while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) {
        last.pop_back();
    }
    if (!IsSigningTime(last) || FormatSigningTime(now) > last) {
        return FormatSigningTime(now);
    }
    SYSTEMTIME then = {};
    FILETIME stamp;
    std::sscanf(last.c_str(), "%4hu-%2hu-%2huT%2hu:%2hu:%2huZ", &then.wYear, &then.wMonth,
                &then.wDay, &then.wHour, &then.wMinute, &then.wSecond);
    ::SystemTimeToFileTime(&then, &stamp);
    ULARGE_INTEGER ticks;
    ticks.LowPart = stamp.dwLowDateTime;
    ticks.HighPart = stamp.dwHighDateTime;
    ticks.QuadPart += 10000000;  // one second in 100 ns
    stamp.dwLowDateTime = ticks.LowPart;
    stamp.dwHighDateTime = ticks.HighPart;
    ::FileTimeToSystemTime(&stamp, &then);
    return FormatSigningTime(then);
}

std::string WithSlash(std::string base) {
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    return base;
}

std::string FourParts(const std::string& text) {
    ComponentVersion version(kKindMelorra);
    version.ParseVersion(text.c_str());
    char formatted[32] = "";
    version.FormatVersion(formatted, sizeof(formatted));
    return formatted;
}

int SiteMaker::Run() {
    if (!IsFile(description_)) {
        Problem("description " + options_.description + " cannot be read");
        return 1;
    }
    base_ = WithSlash(options_.url);
    for (const std::string& mirror : options_.mirrors) {
        mirrorBases_.push_back(WithSlash(mirror));
    }
    ReadKey();
    ReadLanguages();
    ReadSettings();
    CheckSections();
    for (size_t i = 0; i < ServerSectionCount(); ++i) {
        if (!ServerSection(i).versionOnly) {
            ReadModule(ServerSection(i));
        }
    }
    CheckInstaller();
    if (problems_ > 0) {
        std::fprintf(stderr, "%d problem%s found; nothing was written\n", problems_,
                     problems_ == 1 ? "" : "s");
        return 1;
    }
    return Write() ? 0 : 1;
}

void SiteMaker::ReadKey() {
    signing_ = !options_.keyFile.empty();
    std::string problem;
    if (signing_ && !key_.Load(options_.keyFile, &problem)) {
        Problem(problem);
    }
    if (signing_) {
        signedAt_ = NextSigningTime(SigningTimeFileOf(options_.keyFile));
    }
}

void SiteMaker::ReadLanguages() {
    std::string names = ProfileText(description_, "Languages", "Names");
    if (!ProfileHasKey(description_, "Languages", "Names")) {
        names = "English";
    }
    for (const std::string& name : SplitList(names)) {
        uint16_t language = LanguageFromName(name.c_str());
        if (language == 0) {
            Problem("[Languages] Names: \"" + name + "\" is not a language the client knows");
            continue;
        }
        languages_.push_back(LanguageName(language));
    }
    if (languages_.empty() && problems_ == 0) {
        Problem("[Languages] Names lists no language");
    }
}

void SiteMaker::ReadSettings() {
    for (const char* key : kSettingsKeys) {
        if (ProfileHasKey(description_, "Settings", key)) {
            settings_ +=
                std::string(key) + "=" + ProfileText(description_, "Settings", key) + "\r\n";
        }
    }
    for (const char* key : kReferenceKeys) {
        std::string value = ProfileText(description_, "Settings", key);
        if (!value.empty() && !IsClientVersion(value)) {
            Problem(std::string("[Settings] ") + key + ": \"" + value +
                    "\" is not a version the client can read");
        }
    }
    agentVersion_ = ProfileText(description_, "UpdateAgent", "Version");
    if (agentVersion_.empty()) {
        Problem("[UpdateAgent] has no Version");
    } else if (!IsClientVersion(agentVersion_)) {
        Problem("[UpdateAgent] Version: \"" + agentVersion_ +
                "\" is not a version the client can read");
    }
}

// A misspelt section would silently offer nothing.
void SiteMaker::CheckSections() {
    for (const std::string& name : ProfileSections(description_)) {
        bool known = ::lstrcmpiA(name.c_str(), "Settings") == 0 ||
                     ::lstrcmpiA(name.c_str(), "Languages") == 0;
        for (size_t i = 0; i < ServerSectionCount() && !known; ++i) {
            known = ::lstrcmpiA(name.c_str(), ServerSection(i).name) == 0;
        }
        if (!known) {
            Problem("[" + name + "] is not a section the client reads");
        }
    }
}

void SiteMaker::ReadModule(const ServerSectionInfo& section) {
    const char* name = section.name;
    if (ProfileKeys(description_, name).empty()) {
        if (section.place == kLauncherPlace) {
            Problem("[LauncherMl] is missing: the client would have no Setup Starter to fetch");
        }
        return;
    }
    std::string where = std::string("[") + name + "] ";
    Module module;
    module.section = &section;
    std::string version = ProfileText(description_, name, "Version");
    if (version.empty()) {
        Problem(where + "has no Version");
    } else if (!IsClientVersion(version)) {
        Problem(where + "Version: \"" + version + "\" is not a version the client can read");
    }
    module.version = FourParts(version);
    module.file = ProfileText(description_, name, "File");
    if (module.file.empty()) {
        Problem(where + "has no File");
        return;
    }
    if (module.file.find_first_of("\\/") != std::string::npos) {
        Problem(where + "File: \"" + module.file + "\" must name a file in the modules folder");
        return;
    }
    module.source = WithBackslash(options_.modules) + module.file;
    if (!FileSizeOf(module.source, &module.size)) {
        Problem(where + "File: " + module.source + " cannot be read");
        return;
    }
    if (module.size > INT32_MAX) {
        Problem(where + module.file + " is larger than the client can count (2 GiB - 1 bytes)");
    }
    module.url = base_ + module.file;
    module.md5 = FileDigest(module.source);
    if (signing_ && !FileSha256Text(module.source.c_str(), &module.sha256)) {
        Problem(where + "File: " + module.source + " cannot be read");
    }
    ServerComponent record(section.kind);
    record.SetRemotePath(module.url.c_str());
    record.SetSizeText(std::to_string(module.size).c_str());
    record.SetMd5Text(module.md5.c_str());
    DownloadEntry entry;
    std::string refusal = EntryRefusal(record, &entry);
    if (!refusal.empty()) {
        Problem(where + refusal);
    } else if (entry.FileName() != module.file) {
        Problem(where + "the client would save " + module.file + " as " + entry.FileName());
    }
    ReadHotFixes(name, &module);
    ReadMirrors(where, &module);
    ArchiveWalk walk = WalkArchive(module.source, options_.password);
    if (!walk.walked) {
        walkFailed_ = true;
        for (const std::string& problem : walk.problems) {
            Problem(where + module.file + ": " + problem);
        }
    } else if (walk.holdsSetup) {
        bool counted = false;
        for (const std::string& holder : setupHolders_) {
            counted = counted || ::lstrcmpiA(holder.c_str(), module.file.c_str()) == 0;
        }
        if (!counted) {
            setupHolders_.push_back(module.file);
        }
    }
    modules_.push_back(module);
}

void SiteMaker::ReadHotFixes(const char* section, Module* module) {
    // The client stops at the first number without a HotFix value; later ones would be lost.
    bool gap = false;
    for (int number = 1; number <= ServerCatalog::kMaxHotFixes; ++number) {
        char key[32], seriesKey[32];
        std::snprintf(key, sizeof(key), "HotFix%02d", number);
        std::snprintf(seriesKey, sizeof(seriesKey), "HotFixSeries%02d", number);
        std::string id = ProfileText(description_, section, key);
        std::string series = ProfileText(description_, section, seriesKey);
        if (id.empty()) {
            gap = true;
            continue;
        }
        if (gap) {
            Problem(std::string("[") + section + "] " + key +
                    " follows a missing number: the client stops reading before it");
            return;
        }
        if (id.size() > ServerCatalog::kMaxHotFixChars ||
            series.size() > ServerCatalog::kMaxHotFixChars) {
            Problem(std::string("[") + section + "] " + key + " is longer than the client reads");
        }
        module->hotFixes.push_back(std::string(key) + "=" + id);
        if (!series.empty()) {
            module->hotFixes.push_back(std::string(seriesKey) + "=" + series);
        }
    }
}

// Each copy must be one the client requests and saves under the module's own name.
void SiteMaker::ReadMirrors(const std::string& where, Module* module) {
    for (const std::string& base : mirrorBases_) {
        std::string url = base + module->file;
        ServerComponent record(module->section->kind);
        record.SetRemotePath(url.c_str());
        record.SetSizeText(std::to_string(module->size).c_str());
        record.SetMd5Text(module->md5.c_str());
        DownloadEntry entry;
        std::string refusal = EntryRefusal(record, &entry);
        if (!refusal.empty()) {
            Problem(where + "mirror " + refusal);
        } else if (entry.FileName() != module->file) {
            Problem(where + "the client would save the copy at " + url + " as " + entry.FileName());
        }
        module->mirrors.push_back(url);
    }
}

void SiteMaker::CheckInstaller() {
    const Module* launcher = nullptr;
    for (const Module& module : modules_) {
        if (module.section->place == kLauncherPlace) {
            launcher = &module;
        }
    }
    if (setupHolders_.empty()) {
        if (walkFailed_) {
            return;  // the archive that failed may be the one that holds it
        }
        Problem("no archive holds \"Setup.exe\": the client would have no installer to start");
        return;
    }
    if (setupHolders_.size() > 1) {
        std::string names;
        for (const std::string& holder : setupHolders_) {
            names += (names.empty() ? "" : ", ") + holder;
        }
        Problem("\"Setup.exe\" is in more than one archive (" + names +
                "): the last one unpacked would win");
        return;
    }
    // Setup Starter is the one module every upgrade fetches.
    if (launcher != nullptr && ::lstrcmpiA(launcher->file.c_str(), setupHolders_[0].c_str()) != 0) {
        Problem("\"Setup.exe\" is in " + setupHolders_[0] + ", not in the [LauncherMl] archive " +
                launcher->file + " that every upgrade fetches");
    }
}

std::string SiteMaker::ServerText() const {
    std::string text = "[Settings]\r\n" + settings_ + "\r\n";
    for (const Module& module : modules_) {
        text += std::string("[") + module.section->name + "]\r\nVersion=" + module.version +
                "\r\npath=" + module.url + "\r\nSize=" + std::to_string(module.size) +
                "\r\nMD5=" + module.md5 + "\r\n";
        if (signing_) {
            text += "SHA256=" + module.sha256 + "\r\n";
        }
        if (!module.mirrors.empty()) {
            text += "Mirrors=" + JoinMirrorList(module.mirrors) + "\r\n";
        }
        for (const std::string& line : module.hotFixes) {
            text += line + "\r\n";
        }
        text += "\r\n";
    }
    text += "[UpdateAgent]\r\nVersion=" + FourParts(agentVersion_) + "\r\n";
    if (signing_) {
        text += "\r\n[Signature]\r\nExpires=" + FormatCalendarDate(options_.expires) +
                "\r\nSigned=" + signedAt_ + "\r\n";
    }
    return text;
}

bool WriteText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// The client's reader must find every section complete, as it was meant.
bool SiteMaker::ClientReadsBack(const std::string& path) {
    ServerCatalog catalog;
    if (catalog.Load(path.c_str()) != kServerLoadOk) {
        return false;
    }
    std::vector<std::string> mirrors;
    for (const Module& module : modules_) {
        const ComponentVersion* record =
            module.section->place == kLauncherPlace
                ? catalog.Launcher()
                : catalog.Get(static_cast<CatalogSlot>(module.section->place));
        const ServerComponent* server = dynamic_cast<const ServerComponent*>(record);
        if (server == nullptr || server->RemotePath() != module.url ||
            server->Md5Text() != module.md5 || server->Sha256Text() != module.sha256 ||
            !ReadModuleMirrors(path, module.section->name, &mirrors) || mirrors != module.mirrors) {
            return false;
        }
    }
    return catalog.UpdateAgent(nullptr) != nullptr && (!signing_ || catalog.EveryModuleHasSha256());
}

// The client's own check of the signature file as written, with the key's public half.
bool SiteMaker::ClientTrusts(const std::string& path, const std::string& signature) const {
    PublicKeyList keys;
    std::string signaturePath = SignatureFileName(path);
    return ParsePublicKeyList(key_.PublicKeyText(), &keys) && WriteText(signaturePath, signature) &&
           ServerFileIsTrusted(path, signaturePath, keys, TodayUtc());
}

bool SiteMaker::Write() {
    std::string out = WithBackslash(FullPath(options_.out));
    if (!EnsureFolder(out)) {
        std::fprintf(stderr, "cannot create %s\n", out.c_str());
        return false;
    }
    std::string text = ServerText();
    std::string signature = signing_ ? key_.SignatureLineOf(text) + "\r\n" : std::string();
    ScratchFolder scratch;
    std::string check = scratch.Path() + "Version_check.ini";
    if (!scratch.Ready() || !WriteText(check, text) || !ClientReadsBack(check)) {
        std::fprintf(stderr, "the client does not read the server file back as written\n");
        return false;
    }
    if (signing_ && !ClientTrusts(check, signature)) {
        std::fprintf(stderr, "the client does not take the signature as written\n");
        return false;
    }
    for (const Module& module : modules_) {
        std::string target = out + module.file;
        if (FullPath(module.source) != FullPath(target) &&
            !::CopyFileA(module.source.c_str(), target.c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy %s to %s\n", module.source.c_str(), target.c_str());
            return false;
        }
    }
    return WriteServerFiles(out, text, signature);
}

bool SiteMaker::WriteServerFiles(const std::string& out,
                                 const std::string& text,
                                 const std::string& signature) const {
    for (const std::string& language : languages_) {
        std::string name = SetupInfo::ServerFileName(language);
        std::string failed = WriteText(out + name, text) ? "" : name;
        if (signing_ && failed.empty() && !WriteText(out + SignatureFileName(name), signature)) {
            failed = SignatureFileName(name);
        }
        if (!failed.empty()) {
            std::fprintf(stderr, "cannot write %s%s\n", out.c_str(), failed.c_str());
            return false;
        }
        std::printf("%s: %u modules under %s\n", name.c_str(),
                    static_cast<unsigned>(modules_.size()), base_.c_str());
        for (const std::string& mirror : mirrorBases_) {
            std::printf("%s: mirrored under %s\n", name.c_str(), mirror.c_str());
        }
    }
    if (signing_) {
        std::printf("signed for PublicKey=%s until %s\n", key_.PublicKeyText().c_str(),
                    FormatCalendarDate(options_.expires).c_str());
        if (!WriteText(SigningTimeFileOf(options_.keyFile), signedAt_ + "\r\n")) {
            std::fprintf(stderr, "cannot write %s: the next site may not be signed later\n",
                         SigningTimeFileOf(options_.keyFile).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

std::string SigningTimeFileOf(const std::string& keyFile) {
    return keyFile + ".signed";
}

bool ParseExpiresOption(const std::string& text, CalendarDate* expires, std::string* problem) {
    CalendarDate today = TodayUtc();
    if (text.empty()) {
        *expires = AddDays(today, kDefaultSignedDays);
        return true;
    }
    CalendarDate latest = AddDays(today, kMaxSignedDays);
    if (!ParseCalendarDate(text, expires) || CompareDates(*expires, today) < 0 ||
        CompareDates(*expires, latest) > 0) {
        *problem = "--expires needs a date (YYYY-MM-DD) from today (" + FormatCalendarDate(today) +
                   ", UTC) to " + FormatCalendarDate(latest);
        return false;
    }
    return true;
}

int RunMake(const MakeOptions& options) {
    return SiteMaker(options).Run();
}

}  // namespace netrefit
