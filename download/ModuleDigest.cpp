#include "download/ModuleDigest.h"

#include <windows.h>

#include <vector>

#include "common/UniqueHandle.h"
#include "hashgate/VerifyFileDigest.h"
#include "signature/Sha256.h"
#include "signature/UpdateSignature.h"

namespace netrefit {
namespace {

constexpr DWORD kReadSize = 65536;

}  // namespace

bool FileSha256Text(const char* path, std::string* text) {
    text->clear();
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return false;
    }
    std::vector<uint8_t> buffer(kReadSize);
    Sha256Context context = {};
    Sha256Init(&context);
    DWORD got = 0;
    do {
        if (!::ReadFile(file.get(), buffer.data(), kReadSize, &got, nullptr)) {
            return false;
        }
        Sha256Update(&context, buffer.data(), got);
    } while (got > 0);
    uint8_t digest[kSha256DigestSize];
    Sha256Final(digest, &context);
    *text = Sha256Text(digest);
    return true;
}

bool VerifyModuleFile(const DownloadEntry& entry) {
    const char* path = entry.LocalPath().c_str();
    if (!VerifyFileDigest(path, entry.Md5().c_str())) {
        return false;
    }
    if (entry.Sha256().empty()) {
        return true;
    }
    std::string actual;
    return FileSha256Text(path, &actual) && actual == entry.Sha256();
}

}  // namespace netrefit
