#include "publish/SigningKey.h"

#include <windows.h>
// After windows.h, which WIN32_LEAN_AND_MEAN keeps from including it.
#include <wincrypt.h>

#include "common/SecurityDescriptor.h"
#include "common/UniqueHandle.h"
#include "download/ServerFileTrust.h"
#include "publish/PublishFiles.h"
#include "signature/SecureWipe.h"
#include "signature/SignatureText.h"
#include "signature/UpdateSignature.h"

namespace netrefit {
namespace {

constexpr size_t kKeyDigits = 2 * kEd25519SeedSize;
// The digits and a CR LF: anything longer is not a key file.
constexpr uint64_t kMaxKeyFileBytes = kKeyDigits + 2;

struct CryptProviderTraits {
    static HCRYPTPROV Invalid() { return 0; }
    static void Close(HCRYPTPROV provider) { ::CryptReleaseContext(provider, 0); }
};
using CryptProvider = UniqueHandle<HCRYPTPROV, CryptProviderTraits>;

// The line's digits alone: one CR LF or LF at the end is the line's end.
size_t DigitCount(const std::string& line) {
    size_t length = line.size();
    if (length > 0 && line[length - 1] == '\n') {
        --length;
        if (length > 0 && line[length - 1] == '\r') {
            --length;
        }
    }
    return length;
}

}  // namespace

SigningKey::~SigningKey() {
    SecureWipe(seed_, sizeof(seed_));
}

bool SigningKey::Generate(std::string* problem) {
    // CRYPT_VERIFYCONTEXT: random bytes only, no key container to create or find.
    CryptProvider provider;
    if (!::CryptAcquireContextA(provider.put(), nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT)) {
        *problem = "the system's random source cannot be opened";
        return false;
    }
    if (!::CryptGenRandom(provider.get(), sizeof(seed_), seed_)) {
        SecureWipe(seed_, sizeof(seed_));
        *problem = "the system's random source gives no bytes";
        return false;
    }
    return true;
}

bool SigningKey::Load(const std::string& path, std::string* problem) {
    std::string line;
    if (!ReadWholeFile(path, kMaxKeyFileBytes, &line)) {
        // A readable file that is too long is no key line; only the message needs the size.
        uint64_t size = 0;
        bool tooLong = FileSizeOf(path, &size) && size > kMaxKeyFileBytes;
        *problem = "key file " + path +
                   (tooLong ? " is not one line of 64 hexadecimal digits" : " cannot be read");
        return false;
    }
    bool read = DigitCount(line) == kKeyDigits &&
                ParseHexBytes(line.data(), kKeyDigits, seed_, sizeof(seed_));
    SecureWipe(&line[0], line.size());
    if (!read) {
        *problem = "key file " + path + " is not one line of 64 hexadecimal digits";
    }
    return read;
}

bool SigningKey::Save(const std::string& path, std::string* problem) const {
    // Readable by its owner alone on NT, whatever the folder passes on to its files (Windows
    // 98 and NT 4.0 lack the functions: there the folder's defaults stay).
    SddlDescriptor ownerOnly("D:P(A;;FA;;;" + CurrentUserSidText() + ")");
    SECURITY_ATTRIBUTES security = {sizeof(security), ownerOnly.get(), FALSE};
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0,
                                  ownerOnly.get() != nullptr ? &security : nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        bool exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        *problem = exists ? path + " already exists: a key file is never overwritten"
                          : "cannot create " + path;
        return false;
    }
    char text[kKeyDigits + 3];
    FormatHexBytes(seed_, sizeof(seed_), text);
    text[kKeyDigits] = '\r';
    text[kKeyDigits + 1] = '\n';
    DWORD written = 0;
    bool saved = ::WriteFile(file.get(), text, kKeyDigits + 2, &written, nullptr) &&
                 written == kKeyDigits + 2;
    SecureWipe(text, sizeof(text));
    file.reset();
    if (!saved) {
        ::DeleteFileA(path.c_str());  // ours: CREATE_NEW made it
        *problem = "cannot write " + path;
    }
    return saved;
}

std::string SigningKey::PublicKeyText() const {
    uint8_t publicKey[kEd25519PublicKeySize];
    Ed25519PublicKey(publicKey, seed_);
    char text[2 * kEd25519PublicKeySize + 1];
    FormatHexBytes(publicKey, sizeof(publicKey), text);
    return text;
}

std::string SigningKey::SignatureLineOf(const std::string& bytes) const {
    return SignatureLine(seed_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace netrefit
