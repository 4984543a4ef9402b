#pragma once
// Which version of each component is on this computer, detected on first request from the
// registry (HKEY_LOCAL_MACHINE only), "Version.txt" files, version resources and the DirectX
// setup library. A detection that fails is tried again on the next request.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "inventory/ComponentCatalog.h"

namespace netrefit {

class InstalledCatalog : public ComponentCatalog {
  public:
    InstalledCatalog();
    ~InstalledCatalog() override;

    ComponentVersion* Melorra() override;
    ComponentVersion* MelorraDiscWriter() override;
    ComponentVersion* KeldraPlayer() override;
    ComponentVersion* KeldraSecureModule() override;
    ComponentVersion* MelorraCommonLibrary() override;
    ComponentVersion* MelorraAddonCddb() override;
    ComponentVersion* MelorraAddonNocddb() override;
    ComponentVersion* MelorraAddonCdBurn() override;
    // The Tessel variant shares the CD-burning extension's registration: same record as slot 8.
    ComponentVersion* MelorraAddonTesselCdBurn() override;
    ComponentVersion* DirectX() override;
    ComponentVersion* MDAC() override;
    ComponentVersion* WMFSDK() override;
    // This program's own file in folder (with or without a trailing backslash); with no folder,
    // the file name taken relative to the current directory.
    ComponentVersion* UpdateAgent(const char* folder) override;

    virtual int IsMainRegistered();
    virtual int IsPlusRegistered();
    // Also records whether the player's cover-art "Key" exists and is not 1.
    virtual int IsPlayerRegistered();
    // A non-empty text replaces the reference version of that product; anything else is ignored.
    virtual void SetReference1(const char* version);
    virtual void SetReference2(const char* version);
    virtual void SetReference3(const char* version);
    virtual void SetReference5(const char* version);
    virtual int GetFileVersionText(const char* path, char* buffer, size_t size);
    virtual int GetSpecialFolder(int folderId, char* buffer, size_t size);
    virtual int IsMainInstalled();
    virtual int IsPlusInstalled();
    virtual int IsDiscWriterInstalled();
    virtual int IsPlayerInstalled();
    // text is "<id> <series>" as the server file lists it; an empty series means the id.
    virtual int IsHotFixInstalled(const char* text);
    virtual int IsPlayerCoverArt();
    // True when an installed product is newer than its reference, or when there are no
    // references at all.
    virtual int IsTargetPresent();
    virtual int IsMainNewerThanReference();
    virtual int IsPlusNewerThanReference();
    virtual int IsDiscWriterNewerThanReference();
    virtual int IsPlayerNewerThanReference();
    virtual int EnableCddb() const;
    // The running-application check of the system environment, for callers holding a catalogue.
    virtual int FindRunningApplication(const char* ownName, std::string& names);
    virtual ComponentVersion* Plus();
    virtual ComponentVersion* LinkdiscWriter();
    // Reference version by the kind it stands for (1, 2, 3 or 5); other kinds are ignored.
    virtual void SetReference(int32_t kind, const char* version);

  protected:
    // "DisplayName" of the uninstall entry of one hot-fix series; false when there is none.
    virtual bool HotFixDisplayName(const std::string& series, std::string* displayName);

  private:
    using Detector = ComponentVersion* (InstalledCatalog::*)();
    ComponentVersion* Detected(CatalogSlot slot, Detector detector);

    ComponentVersion* DetectMain();
    ComponentVersion* DetectPlus();
    ComponentVersion* DetectDiscWriter();
    ComponentVersion* DetectLinkdiscWriter();
    ComponentVersion* DetectPlayer();
    ComponentVersion* DetectSecureModule();
    ComponentVersion* DetectCommonLibrary();
    ComponentVersion* DetectAddonCddb();
    ComponentVersion* DetectAddonNocddb();
    ComponentVersion* DetectAddonCdBurn();
    ComponentVersion* DetectDirectX();
    ComponentVersion* DetectMdac();
    ComponentVersion* DetectWmfSdk();
    ComponentVersion* DetectSelf(const char* folder);

    int playerCoverArtFlag_ = 0;
    int enableCddb_ = 0;
    std::unique_ptr<ComponentVersion> reference1_;
    std::unique_ptr<ComponentVersion> reference2_;
    std::unique_ptr<ComponentVersion> reference3_;
    std::unique_ptr<ComponentVersion> reference5_;
    std::unique_ptr<ComponentVersion> plus_;
    std::unique_ptr<ComponentVersion> linkdiscWriter_;
};

}  // namespace netrefit
