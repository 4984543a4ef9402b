#define HASHGATE_BUILDING
#include "hashgate/Hashgate.h"

#include <windows.h>

#include "common/UniqueHandle.h"
#include "hashgate/Md5.h"

namespace {

const uint32_t kDigestTextSize = 33;
const DWORD kReadChunk = 1024;

bool BufferUsable(char* digestText, uint32_t digestTextSize) {
    return digestText != nullptr && digestTextSize >= kDigestTextSize &&
           !::IsBadWritePtr(digestText, digestTextSize);
}

bool ArgumentsValid(const char* path, char* digestText, uint32_t digestTextSize) {
    if (path == nullptr || ::IsBadStringPtrA(path, static_cast<UINT_PTR>(-1))) {
        return false;
    }
    return BufferUsable(digestText, digestTextSize);
}

// Feeds the whole file to the digest; false when a read fails.
bool DigestFile(HANDLE file, netrefit::Md5Context* context) {
    unsigned char chunk[kReadChunk];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, kReadChunk, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        netrefit::Md5Update(context, chunk, got);
    }
}

}  // namespace

extern "C" int32_t __cdecl CheckMD5(const char* path, char* digestText, uint32_t digestTextSize) {
    if (!ArgumentsValid(path, digestText, digestTextSize)) {
        return HASHGATE_BAD_ARGUMENTS;
    }
    netrefit::Md5Context context{};
    netrefit::Md5Init(&context);

    // No sharing: a file that someone is still writing (or even reading) is refused.
    netrefit::FileHandle file(::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return HASHGATE_OPEN_FAILED;
    }
    bool readOk = DigestFile(file.get(), &context);
    file.reset();  // closed before the result is told: the caller may delete the file at once

    unsigned char digest[16];
    netrefit::Md5Final(digest, &context);
    if (!readOk) {
        return HASHGATE_READ_FAILED;
    }
    if (!BufferUsable(digestText, digestTextSize)) {
        return HASHGATE_WRITE_FAILED;
    }
    char text[kDigestTextSize];
    netrefit::Md5DigestToText(digest, text);
    for (uint32_t i = 0; i < kDigestTextSize; ++i) {
        digestText[i] = text[i];
    }
    return HASHGATE_OK;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
