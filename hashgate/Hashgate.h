#pragma once
// Hashgate.dll: the MD5 digest of a file as text.

#include <stdint.h>

#ifdef HASHGATE_BUILDING
#define HASHGATE_API
#else
#define HASHGATE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Results of CheckMD5.
enum {
    HASHGATE_OK = 0,
    HASHGATE_BAD_ARGUMENTS = -1,
    HASHGATE_OPEN_FAILED = -2,
    HASHGATE_READ_FAILED = -3,
    HASHGATE_WRITE_FAILED = -4
};

// Writes the MD5 digest of the file at path into digestText as 32 lowercase hexadecimal
// digits and a NUL; digestTextSize must be at least 33. The file is opened without sharing.
HASHGATE_API int32_t __cdecl CheckMD5(const char* path, char* digestText, uint32_t digestTextSize);

#ifdef __cplusplus
}
#endif
