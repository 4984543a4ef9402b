#pragma once
// Thirteen owned slots, one per component, walked slot by slot by the download decision.

#include <memory>

#include "inventory/ComponentVersion.h"

namespace netrefit {

enum CatalogSlot {
    kSlotMelorra = 0,
    kSlotMelorraDiscWriter,
    kSlotKeldraPlayer,
    kSlotKeldraSecureModule,
    kSlotMelorraCommonLibrary,
    kSlotMelorraAddonCddb,
    kSlotMelorraAddonNocddb,
    kSlotMelorraAddonCdBurn,
    kSlotMelorraAddonTesselCdBurn,
    kSlotDirectX,
    kSlotMdac,
    kSlotWmfSdk,
    kSlotUpdateAgent,
    kSlotCount
};

class ComponentCatalog {
  public:
    virtual ~ComponentCatalog() = default;
    ComponentCatalog(const ComponentCatalog&) = delete;
    ComponentCatalog& operator=(const ComponentCatalog&) = delete;

    // Each getter returns the slot's record or nullptr; the catalogue keeps ownership.
    virtual ComponentVersion* Melorra();
    virtual ComponentVersion* MelorraDiscWriter();
    virtual ComponentVersion* KeldraPlayer();
    virtual ComponentVersion* KeldraSecureModule();
    virtual ComponentVersion* MelorraCommonLibrary();
    virtual ComponentVersion* MelorraAddonCddb();
    virtual ComponentVersion* MelorraAddonNocddb();
    virtual ComponentVersion* MelorraAddonCdBurn();
    virtual ComponentVersion* MelorraAddonTesselCdBurn();
    virtual ComponentVersion* DirectX();
    virtual ComponentVersion* MDAC();
    virtual ComponentVersion* WMFSDK();
    // The installed side looks for this program's file in folder; the server side ignores it.
    virtual ComponentVersion* UpdateAgent(const char* folder);

    // The getter of a slot by index, for code that walks the catalogue.
    ComponentVersion* Get(CatalogSlot slot, const char* folder = nullptr);

  protected:
    ComponentCatalog() = default;

    // Takes ownership; replaces (and frees) the record already there. nullptr changes nothing.
    void Store(CatalogSlot slot, ComponentVersion* record);
    ComponentVersion* Stored(CatalogSlot slot) const { return slots_[slot].get(); }

  private:
    std::unique_ptr<ComponentVersion> slots_[kSlotCount];
};

}  // namespace netrefit
