#include "publish/KeyCommands.h"

#include <cstdio>

#include "download/ServerFileTrust.h"
#include "publish/PublishFiles.h"
#include "publish/SigningKey.h"
#include "signature/SignatureText.h"

namespace netrefit {

bool ParseKeyOption(const std::string& text, PublicKeyList* keys, std::string* problem) {
    if (!ParsePublicKeyList(text, keys) || keys->empty()) {
        *problem =
            "--public-key needs one or more Ed25519 public keys of 64 hexadecimal digits, "
            "separated by commas";
        return false;
    }
    return true;
}

int RunKeygen(const std::string& path) {
    SigningKey key;
    std::string problem;
    if (!key.Generate(&problem) || !key.Save(path, &problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    std::printf("PublicKey=%s\n", key.PublicKeyText().c_str());
    return 0;
}

bool ParseSignatureOption(const std::string& text, std::string* problem) {
    uint8_t signature[kEd25519SignatureSize];
    if (!ParseSignatureText(text.data(), text.size(), signature)) {
        *problem = "--signature needs an Ed25519 signature of 128 hexadecimal digits";
        return false;
    }
    return true;
}

int RunCheckSignature(const CheckSignatureOptions& options) {
    std::string bytes;
    if (!ReadWholeFile(options.file, kMaxServerFileBytes, &bytes)) {
        // Only the message needs the size: the read already refuses a file that is too long.
        uint64_t size = 0;
        bool tooLong = FileSizeOf(options.file, &size) && size > kMaxServerFileBytes;
        std::fprintf(stderr, "%s cannot be read%s\n", options.file.c_str(),
                     tooLong ? ": longer than a server file may be (1 MiB)" : "");
        return 1;
    }
    bool valid =
        AnySignatureVerifies(options.signature, reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size(), options.keys);
    std::printf("%s\n", valid ? "valid" : "not valid");
    return valid ? 0 : 1;
}

}  // namespace netrefit
