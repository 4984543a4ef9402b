#pragma once
// The requests for the server information file "Version_<language>.ini" and its signature.

#include <string>

#include "download/RemoteFile.h"

namespace netrefit {

// The entry that fetches the server information file from url: the server's fixed
// credentials, a nominal size for the wait dialog's bar, the name it shows, a body of at most
// kMaxServerFileBytes.
DownloadEntry MakeServerFileEntry(const std::string& url);
// The same for the signature file beside the server file at serverFileUrl.
DownloadEntry MakeSignatureFileEntry(const std::string& serverFileUrl);

}  // namespace netrefit
