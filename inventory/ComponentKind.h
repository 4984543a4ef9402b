#pragma once

#include <cstdint>

namespace netrefit {

// Identities of the suite's components and of the platform pieces it needs.
enum ComponentKind : int32_t {
    kKindMelorra = 1,
    kKindMelorraPlus = 2,
    kKindMelorraDiscWriter = 3,
    kKindLinkdiscDiscWriter = 4,
    kKindKeldraPlayer = 5,
    kKindKeldraSecureModule = 6,
    kKindMelorraCommonLibrary = 7,
    kKindMelorraExtension = 8,  // shared by all four extensions
    kKindCddbExtension = 9,     // named, but no catalogue creates it
    kKindDirectX = 10,
    kKindMdac = 11,
    kKindWindowsMediaFormat = 12,
    kKindSetupStarter = 13,
    kKindUpdateAgent = 14,
};

// Display name of a kind, or "" for a kind outside 1-14.
const char* ComponentKindName(int32_t kind);

}  // namespace netrefit
