// A library whose only purpose is to carry a version resource.
#include <windows.h>

extern "C" __declspec(dllexport) int VersionedLibraryMarker() {
    return 1;
}
