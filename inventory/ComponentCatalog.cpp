#include "inventory/ComponentCatalog.h"

namespace netrefit {

ComponentVersion* ComponentCatalog::Melorra() {
    return Stored(kSlotMelorra);
}
ComponentVersion* ComponentCatalog::MelorraDiscWriter() {
    return Stored(kSlotMelorraDiscWriter);
}
ComponentVersion* ComponentCatalog::KeldraPlayer() {
    return Stored(kSlotKeldraPlayer);
}
ComponentVersion* ComponentCatalog::KeldraSecureModule() {
    return Stored(kSlotKeldraSecureModule);
}
ComponentVersion* ComponentCatalog::MelorraCommonLibrary() {
    return Stored(kSlotMelorraCommonLibrary);
}
ComponentVersion* ComponentCatalog::MelorraAddonCddb() {
    return Stored(kSlotMelorraAddonCddb);
}
ComponentVersion* ComponentCatalog::MelorraAddonNocddb() {
    return Stored(kSlotMelorraAddonNocddb);
}
ComponentVersion* ComponentCatalog::MelorraAddonCdBurn() {
    return Stored(kSlotMelorraAddonCdBurn);
}
ComponentVersion* ComponentCatalog::MelorraAddonTesselCdBurn() {
    return Stored(kSlotMelorraAddonTesselCdBurn);
}
ComponentVersion* ComponentCatalog::DirectX() {
    return Stored(kSlotDirectX);
}
ComponentVersion* ComponentCatalog::MDAC() {
    return Stored(kSlotMdac);
}
ComponentVersion* ComponentCatalog::WMFSDK() {
    return Stored(kSlotWmfSdk);
}
ComponentVersion* ComponentCatalog::UpdateAgent(const char*) {
    return Stored(kSlotUpdateAgent);
}

ComponentVersion* ComponentCatalog::Get(CatalogSlot slot, const char* folder) {
    switch (slot) {
        case kSlotMelorra:
            return Melorra();
        case kSlotMelorraDiscWriter:
            return MelorraDiscWriter();
        case kSlotKeldraPlayer:
            return KeldraPlayer();
        case kSlotKeldraSecureModule:
            return KeldraSecureModule();
        case kSlotMelorraCommonLibrary:
            return MelorraCommonLibrary();
        case kSlotMelorraAddonCddb:
            return MelorraAddonCddb();
        case kSlotMelorraAddonNocddb:
            return MelorraAddonNocddb();
        case kSlotMelorraAddonCdBurn:
            return MelorraAddonCdBurn();
        case kSlotMelorraAddonTesselCdBurn:
            return MelorraAddonTesselCdBurn();
        case kSlotDirectX:
            return DirectX();
        case kSlotMdac:
            return MDAC();
        case kSlotWmfSdk:
            return WMFSDK();
        case kSlotUpdateAgent:
            return UpdateAgent(folder);
        default:
            return nullptr;
    }
}

void ComponentCatalog::Store(CatalogSlot slot, ComponentVersion* record) {
    if (record != nullptr && slot >= 0 && slot < kSlotCount) {
        slots_[slot].reset(record);
    }
}

}  // namespace netrefit
