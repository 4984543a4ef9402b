#include "download/ServerFileEntry.h"

#include "download/ServerFileTrust.h"

namespace netrefit {
namespace {

const char kServerUser[] = "UpdateAgent";
const char kServerPassword[] = "Netrefit20";
const int32_t kServerFileSize = 4096;

}  // namespace

DownloadEntry MakeServerFileEntry(const std::string& url) {
    DownloadEntry entry;
    entry.SetUrl(url);
    entry.SetCredentials(kServerUser, kServerPassword);
    entry.SetSize(kServerFileSize);
    entry.SetName("Setting File");
    entry.SetMaxBytes(kMaxServerFileBytes);
    entry.SetPastCaches(true);
    return entry;
}

DownloadEntry MakeSignatureFileEntry(const std::string& serverFileUrl) {
    DownloadEntry entry = MakeServerFileEntry(SignatureFileName(serverFileUrl));
    entry.SetName("Signature File");
    return entry;
}

}  // namespace netrefit
