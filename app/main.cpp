// Netrefit: web upgrade program for the Melorra suite.
#include <windows.h>

#include "hashgate/VerifyFileDigest.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The window and the upgrade sequence come with the dialog layer; until then the
    // program only proves that it starts with Hashgate bound.
    return netrefit::VerifyFileDigest("", "") ? 0 : 1;
}
