#pragma once
// The server information file "Version_<language>.ini": what the server offers, as ServerComponent
// records in the catalogue's slots, plus switches and reference versions from [Settings].

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "inventory/ComponentCatalog.h"
#include "inventory/ComponentVersion.h"

namespace netrefit {

// One component section of the file, in the order Load reads them.
struct ServerSectionInfo {
    const char* name;  // section name, as the file spells it
    int32_t kind;      // ComponentKind of its record
    int place;         // a CatalogSlot, or kLauncherPlace for [LauncherMl]
    bool versionOnly;  // [UpdateAgent]: only its Version is read
};
constexpr int kLauncherPlace = -1;
size_t ServerSectionCount();
const ServerSectionInfo& ServerSection(size_t index);

enum ServerLoadResult {
    kServerLoadOk = 0,
    kServerLoadBadPath = 1,     // missing, unreadable, or 262 characters or longer
    kServerLoadCannotOpen = 2,  // absent, or held open by someone else
};

class ServerCatalog : public ComponentCatalog {
  public:
    // Longest file path Load accepts.
    static constexpr size_t kMaxPathChars = 261;
    // Value limits of the file's keys, in characters.
    static constexpr size_t kMaxFlagChars = 7;
    static constexpr size_t kMaxVersionChars = 23;
    static constexpr size_t kMaxRemotePathChars = 260;
    static constexpr size_t kMaxSizeChars = 23;
    static constexpr size_t kMaxMd5Chars = 32;
    // One more than a digest's 64 digits, so that a longer value never reads as a digest.
    static constexpr size_t kMaxSha256Chars = 65;
    static constexpr size_t kMaxHotFixChars = 256;
    // Four URLs as long as a path, each comma of them escaped, and the commas between them.
    static constexpr size_t kMaxMirrorsChars = 4 * (3 * kMaxRemotePathChars) + 3;
    static constexpr int kMaxHotFixes = 99;

    ServerCatalog() = default;
    ~ServerCatalog() override = default;

    // 1 when Version, path, Size and MD5 were read (path, Size and MD5 not empty, path not
    // longer than kMaxRemotePathChars) and stored into record with the section's hot fixes, its
    // SHA256 and its Mirrors, which may be empty;
    // 0, record untouched, when the section is incomplete, its Mirrors are malformed (more than
    // four, or longer than kMaxMirrorsChars) or an argument is missing.
    virtual int ReadComponentSection(const char* filePath,
                                     const char* section,
                                     ServerComponent* record);
    // 1 when the section's Version is not empty and was stored into record, else 0.
    virtual int ReadVersionSection(const char* filePath,
                                   const char* section,
                                   ComponentVersion* record);
    // A ServerLoadResult. An absent or incomplete section never fails the load; its slot
    // keeps what it held before.
    virtual int Load(const char* filePath);
    // The same for a file the caller holds open against every writer (HoldFile): the check that
    // nobody else has it open is the caller's, and would fail on its own handle.
    int LoadHeld(const char* filePath);

    // The [LauncherMl] record (Setup Starter), kept apart from the thirteen slots; may be null.
    virtual ServerComponent* Launcher() const { return launcher_.get(); }
    // [Settings] FreeCDDB and Connect: 1 only when the value is exactly "1".
    virtual int FreeCddb() const { return freeCddb_; }
    virtual int Connect() const { return connect_; }
    // [Settings] ML, MLDW, MLP, KDPL: reference versions of installed products, "" when absent.
    virtual std::string ReferenceMl() const { return referenceMl_; }
    virtual std::string ReferenceMldw() const { return referenceMldw_; }
    virtual std::string ReferenceMlp() const { return referenceMlp_; }
    virtual std::string ReferenceKdpl() const { return referenceKdpl_; }

    // Whether every module section read has a well-formed SHA256, as a signed file gives them.
    bool EveryModuleHasSha256() const { return !moduleWithoutSha256_; }

    // The file of the last Load that got past the path check.
    const std::string& FilePath() const { return filePath_; }

  private:
    void ReadSettings();
    void ReadComponents();

    std::string filePath_;
    std::unique_ptr<ServerComponent> launcher_;
    bool moduleWithoutSha256_ = false;
    int freeCddb_ = 0;
    int connect_ = 0;
    std::string referenceMl_;
    std::string referenceMldw_;
    std::string referenceMlp_;
    std::string referenceKdpl_;
};

}  // namespace netrefit
