#include "hashgate/VerifyFileDigest.h"

#include <cstring>

#include "hashgate/Hashgate.h"

namespace netrefit {

bool VerifyFileDigest(const char* path, const char* expectedMd5) {
    char digestText[33] = {};
    CheckMD5(path, digestText, sizeof(digestText));  // failure leaves the text empty
    // Byte for byte (lstrcmpA would compare by locale). An empty expected digest would
    // otherwise match the empty text that every failure leaves.
    return expectedMd5 != nullptr && expectedMd5[0] != '\0' &&
           std::strcmp(digestText, expectedMd5) == 0;
}

}  // namespace netrefit
