#include "download/ModuleDigest.h"

#include <vector>

#include "common/FileStream.h"

#include "hashgate/Md5.h"
#include "hashgate/VerifyFileDigest.h"
#include "signature/Sha256.h"
#include "signature/UpdateSignature.h"

namespace netrefit {
namespace {

constexpr DWORD kReadSize = 65536;

// Reads the whole file from its start into each consumer, in large reads.
template <typename Consume>
bool ReadThrough(HANDLE file, Consume consume) {
    if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return false;
    }
    std::vector<uint8_t> buffer(kReadSize);
    DWORD got = 0;
    do {
        if (!::ReadFile(file, buffer.data(), kReadSize, &got, nullptr)) {
            return false;
        }
        consume(buffer.data(), got);
    } while (got > 0);
    return true;
}

}  // namespace

bool FileSha256Text(const char* path, std::string* text) {
    text->clear();
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    Sha256Context context = {};
    Sha256Init(&context);
    if (!file || !ReadThrough(file.get(), [&](const uint8_t* data, DWORD size) {
            Sha256Update(&context, data, size);
        })) {
        return false;
    }
    uint8_t digest[kSha256DigestSize];
    Sha256Final(digest, &context);
    *text = Sha256Text(digest);
    return true;
}

FileHandle OpenModuleFile(const std::string& path) {
    if (IsLinkPath(path)) {
        return FileHandle();
    }
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    // Looked at again through the handle: a link swapped in before the open is not taken.
    BY_HANDLE_FILE_INFORMATION information;
    if (file && (!::GetFileInformationByHandle(file.get(), &information) ||
                 (information.dwFileAttributes &
                  (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))) {
        file.reset();
    }
    return file;
}

bool DigestOpenFile(HANDLE file, std::string* md5, std::string* sha256) {
    Md5Context md5Context{};
    Md5Init(&md5Context);
    Sha256Context shaContext = {};
    Sha256Init(&shaContext);
    bool read = ReadThrough(file, [&](const uint8_t* data, DWORD size) {
        Md5Update(&md5Context, data, size);
        if (sha256 != nullptr) {
            Sha256Update(&shaContext, data, size);
        }
    });
    uint8_t md5Digest[16];
    Md5Final(md5Digest, &md5Context);
    uint8_t shaDigest[kSha256DigestSize];
    Sha256Final(shaDigest, &shaContext);
    if (!read) {
        return false;
    }
    char text[33];
    Md5DigestToText(md5Digest, text);
    *md5 = text;
    if (sha256 != nullptr) {
        *sha256 = Sha256Text(shaDigest);
    }
    return true;
}

bool VerifyModuleHandle(HANDLE file, const DownloadEntry& entry) {
    bool wantSha256 = !entry.Sha256().empty();
    std::string md5;
    std::string sha256;
    // Compared byte for byte, as CheckMD5's text is: an uppercase digest never matches.
    return !entry.Md5().empty() && DigestOpenFile(file, &md5, wantSha256 ? &sha256 : nullptr) &&
           md5 == entry.Md5() && (!wantSha256 || sha256 == entry.Sha256());
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
