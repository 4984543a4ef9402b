// Stands in for the DirectX setup library: reports DirectX 9.0c (4.9.0.904).
#include <windows.h>

extern "C" INT WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision) {
    if (version == nullptr || revision == nullptr) {
        return 0;
    }
    *version = 0x00040009;
    *revision = 0x00000388;
    return 1;
}
