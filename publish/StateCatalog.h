#pragma once
// An installed catalogue read from a state file instead of this computer's registry, so that
// the client's own decision can be asked about another PC.

#include <memory>
#include <string>
#include <vector>

#include "inventory/InstalledCatalog.h"
#include "inventory/SystemEnvironment.h"

namespace netrefit {

// [Installed]  keys named as the server file's sections (and MelorraPlus, LinkdiscDiscWriter),
//              values versions; a missing key is a component not installed. HotFixes="id
//              series,..." lists the secure module's hot fixes.
// [Machine]    OS (OsCode, default 64), Language (default English), Admin (default 1),
//              DoubleByteUserName (default 0), EnableCDDB (default 0), CoverArt (the player's
//              cover-art "Key"; missing when absent).
// [Program]    Version of the running client (default: this build's).
class StateCatalog : public InstalledCatalog {
  public:
    StateCatalog() = default;
    // False with problem set when the file cannot be read or holds a value the client would
    // not read as meant.
    bool Load(const std::string& path, std::string* problem);
    const EnvironmentFacts& Facts() const { return facts_; }

    ComponentVersion* Melorra() override { return Stored(kSlotMelorra); }
    ComponentVersion* MelorraDiscWriter() override { return Stored(kSlotMelorraDiscWriter); }
    ComponentVersion* KeldraPlayer() override { return Stored(kSlotKeldraPlayer); }
    ComponentVersion* KeldraSecureModule() override { return Stored(kSlotKeldraSecureModule); }
    ComponentVersion* MelorraCommonLibrary() override { return Stored(kSlotMelorraCommonLibrary); }
    ComponentVersion* MelorraAddonCddb() override { return Stored(kSlotMelorraAddonCddb); }
    ComponentVersion* MelorraAddonNocddb() override { return Stored(kSlotMelorraAddonNocddb); }
    ComponentVersion* MelorraAddonCdBurn() override { return Stored(kSlotMelorraAddonCdBurn); }
    ComponentVersion* DirectX() override { return Stored(kSlotDirectX); }
    ComponentVersion* MDAC() override { return Stored(kSlotMdac); }
    ComponentVersion* WMFSDK() override { return Stored(kSlotWmfSdk); }
    ComponentVersion* UpdateAgent(const char*) override { return Stored(kSlotUpdateAgent); }
    ComponentVersion* Plus() override { return plus_.get(); }
    ComponentVersion* LinkdiscWriter() override { return linkdiscWriter_.get(); }
    int IsMainRegistered() override { return Melorra() != nullptr; }
    int IsPlusRegistered() override { return Plus() != nullptr; }
    int IsPlayerRegistered() override { return KeldraPlayer() != nullptr; }
    int IsPlayerCoverArt() override { return IsPlayerInstalled() && coverArt_ ? 1 : 0; }
    int EnableCddb() const override { return enableCddb_; }

  protected:
    bool HotFixDisplayName(const std::string& series, std::string* displayName) override;

  private:
    bool ReadVersion(const std::string& path,
                     const char* section,
                     const char* key,
                     int32_t kind,
                     std::unique_ptr<ComponentVersion>* record,
                     std::string* problem);

    EnvironmentFacts facts_;
    int coverArt_ = 0;
    int enableCddb_ = 0;
    std::vector<std::pair<std::string, std::string>> hotFixes_;  // (series, id)
    std::unique_ptr<ComponentVersion> plus_;
    std::unique_ptr<ComponentVersion> linkdiscWriter_;
};

// This build's version, the default of [Program] Version.
const char* ThisBuildVersion();

}  // namespace netrefit
