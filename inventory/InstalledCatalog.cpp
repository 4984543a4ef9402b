#include "inventory/InstalledCatalog.h"

#include <new>

#include "common/TextChecks.h"
#include "inventory/MachineProbes.h"
#include "inventory/SystemEnvironment.h"

namespace netrefit {

namespace {

void ReplaceReference(std::unique_ptr<ComponentVersion>& reference,
                      int32_t kind,
                      const char* version) {
    if (!HasText(version)) {
        return;
    }
    ComponentVersion* record = new (std::nothrow) ComponentVersion(kind);
    if (record != nullptr) {
        record->ParseVersion(version);
        reference.reset(record);
    }
}

int IsNewer(ComponentVersion* installed, const std::unique_ptr<ComponentVersion>& reference) {
    return installed != nullptr && reference && installed->IsNewerThan(*reference) ? 1 : 0;
}

}  // namespace

InstalledCatalog::~InstalledCatalog() = default;

ComponentVersion* InstalledCatalog::Detected(CatalogSlot slot, Detector detector) {
    ComponentVersion* record = Stored(slot);
    if (record == nullptr) {
        record = (this->*detector)();
        Store(slot, record);
    }
    return record;
}

ComponentVersion* InstalledCatalog::Melorra() {
    return Detected(kSlotMelorra, &InstalledCatalog::DetectMain);
}
ComponentVersion* InstalledCatalog::MelorraDiscWriter() {
    return Detected(kSlotMelorraDiscWriter, &InstalledCatalog::DetectDiscWriter);
}
ComponentVersion* InstalledCatalog::KeldraPlayer() {
    return Detected(kSlotKeldraPlayer, &InstalledCatalog::DetectPlayer);
}
ComponentVersion* InstalledCatalog::KeldraSecureModule() {
    return Detected(kSlotKeldraSecureModule, &InstalledCatalog::DetectSecureModule);
}
ComponentVersion* InstalledCatalog::MelorraCommonLibrary() {
    return Detected(kSlotMelorraCommonLibrary, &InstalledCatalog::DetectCommonLibrary);
}
ComponentVersion* InstalledCatalog::MelorraAddonCddb() {
    return Detected(kSlotMelorraAddonCddb, &InstalledCatalog::DetectAddonCddb);
}
ComponentVersion* InstalledCatalog::MelorraAddonNocddb() {
    return Detected(kSlotMelorraAddonNocddb, &InstalledCatalog::DetectAddonNocddb);
}
ComponentVersion* InstalledCatalog::MelorraAddonCdBurn() {
    return Detected(kSlotMelorraAddonCdBurn, &InstalledCatalog::DetectAddonCdBurn);
}
// Never stored in its own slot, so the one record has one owner.
ComponentVersion* InstalledCatalog::MelorraAddonTesselCdBurn() {
    return MelorraAddonCdBurn();
}
ComponentVersion* InstalledCatalog::DirectX() {
    return Detected(kSlotDirectX, &InstalledCatalog::DetectDirectX);
}
ComponentVersion* InstalledCatalog::MDAC() {
    return Detected(kSlotMdac, &InstalledCatalog::DetectMdac);
}
ComponentVersion* InstalledCatalog::WMFSDK() {
    return Detected(kSlotWmfSdk, &InstalledCatalog::DetectWmfSdk);
}

ComponentVersion* InstalledCatalog::UpdateAgent(const char* folder) {
    ComponentVersion* record = Stored(kSlotUpdateAgent);
    if (record == nullptr) {
        record = DetectSelf(folder);
        Store(kSlotUpdateAgent, record);
    }
    return record;
}

ComponentVersion* InstalledCatalog::Plus() {
    if (!plus_) {
        plus_.reset(DetectPlus());
    }
    return plus_.get();
}

ComponentVersion* InstalledCatalog::LinkdiscWriter() {
    if (!linkdiscWriter_) {
        linkdiscWriter_.reset(DetectLinkdiscWriter());
    }
    return linkdiscWriter_.get();
}

void InstalledCatalog::SetReference1(const char* version) {
    ReplaceReference(reference1_, kKindMelorra, version);
}
void InstalledCatalog::SetReference2(const char* version) {
    ReplaceReference(reference2_, kKindMelorraPlus, version);
}
void InstalledCatalog::SetReference3(const char* version) {
    ReplaceReference(reference3_, kKindMelorraDiscWriter, version);
}
void InstalledCatalog::SetReference5(const char* version) {
    ReplaceReference(reference5_, kKindKeldraPlayer, version);
}

void InstalledCatalog::SetReference(int32_t kind, const char* version) {
    switch (kind) {
        case kKindMelorra:
            SetReference1(version);
            break;
        case kKindMelorraPlus:
            SetReference2(version);
            break;
        case kKindMelorraDiscWriter:
            SetReference3(version);
            break;
        case kKindKeldraPlayer:
            SetReference5(version);
            break;
        default:
            break;
    }
}

int InstalledCatalog::GetFileVersionText(const char* path, char* buffer, size_t size) {
    return netrefit::GetFileVersionText(path, buffer, size);
}

int InstalledCatalog::GetSpecialFolder(int folderId, char* buffer, size_t size) {
    return netrefit::GetSpecialFolder(folderId, buffer, size);
}

int InstalledCatalog::IsMainInstalled() {
    return Melorra() != nullptr ? 1 : 0;
}
int InstalledCatalog::IsPlusInstalled() {
    return Plus() != nullptr ? 1 : 0;
}
int InstalledCatalog::IsDiscWriterInstalled() {
    return MelorraDiscWriter() != nullptr ? 1 : 0;
}
int InstalledCatalog::IsPlayerInstalled() {
    return KeldraPlayer() != nullptr ? 1 : 0;
}

int InstalledCatalog::IsPlayerCoverArt() {
    return IsPlayerInstalled() && playerCoverArtFlag_ ? 1 : 0;
}

int InstalledCatalog::IsTargetPresent() {
    // All four are asked (each may detect its product), then any newer installation counts.
    int main = IsMainNewerThanReference();
    int plus = IsPlusNewerThanReference();
    int writer = IsDiscWriterNewerThanReference();
    int player = IsPlayerNewerThanReference();
    if (main || plus || writer || player) {
        return 1;
    }
    return !reference1_ && !reference2_ && !reference3_ && !reference5_ ? 1 : 0;
}

int InstalledCatalog::IsMainNewerThanReference() {
    return IsNewer(Melorra(), reference1_);
}
int InstalledCatalog::IsPlusNewerThanReference() {
    return IsNewer(Plus(), reference2_);
}
int InstalledCatalog::IsDiscWriterNewerThanReference() {
    return IsNewer(MelorraDiscWriter(), reference3_);
}
int InstalledCatalog::IsPlayerNewerThanReference() {
    if (!IsPlayerInstalled() || IsPlayerCoverArt()) {
        return 0;
    }
    return IsNewer(KeldraPlayer(), reference5_);
}

int InstalledCatalog::EnableCddb() const {
    return enableCddb_;
}

int InstalledCatalog::FindRunningApplication(const char* ownName, std::string& names) {
    return netrefit::FindRunningApplication(ownName, names);
}

}  // namespace netrefit
